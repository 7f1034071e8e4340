// Golden files for exact output. On a mismatch the actual output is written
// beside the golden file (name.ini -> name.actual) so the difference can be
// read with any diff tool; TAMSEL_UPDATE_GOLDEN=1 rewrites the golden file.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace test_support {

inline ::testing::AssertionResult matchesGolden(const std::string& actual,
                                                const std::filesystem::path& golden) {
    std::filesystem::path actualPath = golden;
    actualPath.replace_extension(".actual");
    const char* update = std::getenv("TAMSEL_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1")
        writeBytes(golden, actual);
    std::error_code ec;
    if (!std::filesystem::exists(golden, ec)) {
        writeBytes(actualPath, actual);
        return ::testing::AssertionFailure()
               << "no golden file " << golden << "; actual output in " << actualPath;
    }
    if (readBytes(golden) == actual) {
        std::filesystem::remove(actualPath, ec);
        return ::testing::AssertionSuccess();
    }
    writeBytes(actualPath, actual);
    return ::testing::AssertionFailure()
           << "output differs from " << golden << "; actual output in " << actualPath;
}

}  // namespace test_support
