// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace test_support {

class TempDir {
public:
    // A new folder with an unpredictable name, made by this process alone
    // (create_directory fails where the name exists), as mkdtemp makes one.
    TempDir() {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = std::filesystem::temp_directory_path() /
                    ("tamsel-test-" + std::to_string(random()) + std::to_string(random()));
            if (std::filesystem::create_directory(path_)) return;
        }
        throw std::runtime_error("cannot make a temporary folder");
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ec;
        // A test may have made the folder read-only; make it removable again.
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// UTF-16LE bytes with their byte-order mark, as Notepad saves "Unicode";
// characters of the Basic Multilingual Plane only.
inline std::string utf16le(std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

inline void writeBytes(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

// The file "f.ini" in `dir`, written with `bytes` when a table row gives
// some and left missing when it gives none.
inline std::filesystem::path rowFile(const TempDir& dir, const std::optional<std::string>& bytes) {
    std::filesystem::path file = dir / "f.ini";
    if (bytes)
        writeBytes(file, *bytes);
    return file;
}

inline std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Names of the files in a folder, sorted; for "nothing else was left behind".
inline std::vector<std::string> listFolder(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Root ignores permission bits, so read-only tests are skipped when running as root
// unless they use another mechanism (a file-size limit, a failing verifier).
#ifdef _WIN32
inline bool runningAsRoot() { return false; }
#else
inline bool runningAsRoot() { return ::geteuid() == 0; }
#endif

}  // namespace test_support
