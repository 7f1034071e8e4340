// Times a Save of an install-info file with many extra files (one batch, one
// atomic replacement) and loading it back (seven ReadINI calls and the
// extra-file scan). Prints "name: value unit" lines; the figure is the
// median of several runs.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "editor/ini/ini.h"
#include "editor/ini/install_record.h"
#include "platform/files/files.h"

namespace {
namespace fs = std::filesystem;

constexpr int kRuns = 7;

double medianMilliseconds(const std::function<void()>& work) {
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        auto start = std::chrono::steady_clock::now();
        work();
        std::chrono::duration<double, std::milli> elapsed =
            std::chrono::steady_clock::now() - start;
        times.push_back(elapsed.count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

editor_ini::InstallRecord recordWith(std::size_t extraFiles) {
    editor_ini::InstallRecord record;
    record.values = {"Bench plugin", "Bench.Plugin", "Plugin installer", "No Warning",
                     "bench.dll",    "bench.ico",    "extra\\file_0.dat"};
    for (std::size_t i = 0; i < extraFiles; ++i) {
        record.extraFiles.push_back("extra\\file_" + std::to_string(i) + ".dat");
    }
    return record;
}

// Returns false (after saying why) when a run did not do what it measures.
bool benchOne(const fs::path& folder, std::size_t extraFiles) {
    const fs::path file = folder / ("install_info_" + std::to_string(extraFiles) + ".ini");
    const editor_ini::InstallRecord record = recordWith(extraFiles);
    bool ok = true;
    double save = medianMilliseconds([&] {
        platform::Status status =
            editor_ini::writeInstallRecord(file, record, editor_ini::WriteMode::FreshFile);
        if (!status) {
            std::fprintf(stderr, "%s\n", status.message().c_str());
            ok = false;
        }
    });
    std::size_t entries = 0;
    double load = medianMilliseconds([&] {
        for (const auto& field : install_info::kFieldOrder) {
            editor_ini::ReadINI(file.string(), std::string(field.section), std::string(field.key),
                                "", 100);
        }
        auto text = platform::files::readTextFile(file);
        auto scanned = text ? editor_ini::scanExtraFiles(*text) : std::nullopt;
        entries = scanned ? scanned->size() : 0;
    });
    if (entries != extraFiles) {
        std::fprintf(stderr, "scan found %zu of %zu extra files\n", entries, extraFiles);
        ok = false;
    }
    std::printf("profile_batch_%zu_extras: %.2f ms\n", extraFiles, save);
    std::printf("profile_load_%zu_extras: %.2f ms\n", extraFiles, load);
    return ok;
}

}  // namespace

int main() {
    std::string pattern = (fs::temp_directory_path() / "tamsel-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path folder = pattern;
    // 100,000 next to 10,000 shows whether the cost grows linearly.
    bool ok = benchOne(folder, 10'000) && benchOne(folder, 100'000);
    std::error_code ec;
    fs::remove_all(folder, ec);
    return ok ? 0 : 1;
}
