// Times the main window's load and save of an install_info.ini with 5,000
// extra files, on the offscreen platform. Prints "name: value unit" lines
// (the median of several runs), load and save with their target and OK or
// MISSED. Run bench/editor.sh, or
//   build/bench/bench/editor/editor_load_save_bench [entries] [runs]
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/editor/scripted_windows.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Load and save of the whole record each stay under this.
constexpr double kTargetMilliseconds = 100.0;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string installInfo(int entries) {
    std::string text =
        "[Texts]\r\nName=Bench plugin\r\nVBName=\r\nTitle=Bench\r\nWarning=\r\n[Files]\r\n"
        "Filename=bench.dll\r\nIcon=\r\n[Misc]\r\nRunAfterInstall=data\\file-last.bin\r\n"
        "[Extrafiles]\r\n";
    for (int i = 0; i < entries; ++i) text += "data\\file-" + std::to_string(i) + ".bin\r\n";
    // The run file is the last entry, so the walk goes through the whole list.
    return text + "data\\file-last.bin\r\n";
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    editor_qt::applyApplicationLook();
    const int entries = argc > 1 ? std::stoi(argv[1]) : 5000;
    const int runs = argc > 2 ? std::stoi(argv[2]) : 7;

    core_test::FakeDialogs dialogs;  // answers No to "update the installer now?"
    test_support::TempDir folder;
    const std::string text = installInfo(entries);
    test_support::writeBytes(folder / "install_info.ini", text);
    test_support::writeBytes(folder / "other.ini", text);

    std::vector<double> start, load, save;
    for (int run = 0; run < runs; ++run) {
        Clock::time_point t = Clock::now();
        editor_test::ScriptedMainWindow window(QString::fromStdString(folder.path().string()),
                                               dialogs);
        start.push_back(millisecondsSince(t));

        t = Clock::now();
        const bool loaded = window.core().loadFromPath((folder / "other.ini").string());
        load.push_back(millisecondsSince(t));

        QTest::keyClicks(window.findChild<QLineEdit*>("txtName"), "x");
        t = Clock::now();
        window.findChild<QPushButton*>("cmdSave")->click();
        save.push_back(millisecondsSince(t));
        if (!loaded || dialogs.messages.empty() || dialogs.messages.back().title != "Saved") {
            std::fprintf(stderr, "load or save failed\n");
            return 1;
        }
    }
    std::printf("editor_start_with_%d_extra_files: %.1f ms\n", entries, median(start));
    for (const auto& [name, times] : {std::pair{"load", &load}, std::pair{"save", &save}}) {
        const double value = median(*times);
        std::printf("editor_%s_%d_extra_files: %.1f ms (target < %.0f ms) %s\n", name, entries,
                    value, kTargetMilliseconds, value < kTargetMilliseconds ? "OK" : "MISSED");
    }
    return 0;
}
