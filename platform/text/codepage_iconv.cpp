// The code page conversion through the C library's iconv; the system's code
// page comes from the locale's name, as Windows would choose it.
#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdlib>

#include "platform/text/codepage.h"
#include "platform/text/codepage_backend.h"

namespace platform::text::backend {
namespace {

// One iconv conversion, closed when it goes out of scope.
class Converter {
  public:
    Converter(const std::string& to, const std::string& from)
        : cd_(::iconv_open(to.c_str(), from.c_str())) {}
    ~Converter() {
        if (valid())
            ::iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much of `in` as it can, appending to `out`; returns how
    // many bytes of `in` it took.
    std::size_t convert(std::string_view in, std::string& out) {
        if (!valid())
            return 0;
        std::array<char, 4096> buffer{};
        // iconv's prototype takes a non-const input pointer; it never writes through it.
        char* inPtr = const_cast<char*>(in.data());
        std::size_t inLeft = in.size();
        while (inLeft > 0) {
            char* outPtr = buffer.data();
            std::size_t outLeft = buffer.size();
            const std::size_t done = ::iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer.data(), buffer.size() - outLeft);
            if (done == static_cast<std::size_t>(-1) && errno != E2BIG)
                break;
        }
        // Flush any shift state (none of the Windows code pages has one).
        char* outPtr = nullptr;
        std::size_t outLeft = 0;
        ::iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);
        return in.size() - inLeft;
    }

  private:
    iconv_t cd_;
};

std::string iconvName(unsigned codePage) {
    return "CP" + std::to_string(codePage);
}

}  // namespace

bool converts(unsigned codePage) {
    return Converter("UTF-8", iconvName(codePage)).valid();
}

unsigned systemCodePage() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        if (const char* value = std::getenv(variable); value && *value)
            return codePageForLocale(value);
    }
    return codePageForLocale("");
}

std::size_t decodePrefix(std::string_view ansi, unsigned codePage, std::string& utf8) {
    return Converter("UTF-8", iconvName(codePage)).convert(ansi, utf8);
}

std::size_t encodePrefix(std::string_view utf8, unsigned codePage, std::string& ansi) {
    Converter converter(iconvName(codePage), "UTF-8");
    if (converter.valid())
        return converter.convert(utf8, ansi);
    // No conversion for this code page: ASCII still passes.
    std::size_t ascii = 0;
    while (ascii < utf8.size() && static_cast<unsigned char>(utf8[ascii]) < 0x80) ++ascii;
    ansi.append(utf8.substr(0, ascii));
    return ascii;
}

}  // namespace platform::text::backend
