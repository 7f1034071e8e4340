// Row types that several tables share: each row names the fault it guards
// against beside what it feeds in.
#pragma once

#include <string>

namespace test_support {

// A file's bytes.
struct BytesRow {
    const char* fault;
    std::string bytes;
};

// A name to try (std::string or QString).
template <typename Name>
struct NameRow {
    Name name;
    const char* fault;
    const char* said = "";  // what the reason given says, where a row checks it
};

}  // namespace test_support
