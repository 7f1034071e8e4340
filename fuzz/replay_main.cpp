// Runs a fuzz target once on each input it is given, with no mutation: the
// seed corpus and every input that ever failed, in a fixed order. This is
// how the test command exercises the fuzz targets, with any compiler and
// under the sanitizers, and the same inputs give the same result each time.
//
// Usage: NAME_replay PATH...   (a file, or a folder whose files are run)
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputsOf(const fs::path& path) {
    std::vector<fs::path> inputs;
    std::error_code error;
    if (!fs::is_directory(path, error)) {
        inputs.push_back(path);
        return inputs;
    }
    for (const auto& entry : fs::directory_iterator(path)) {
        if (entry.is_regular_file())
            inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path argument = argv[i];
        std::error_code error;
        if (!fs::exists(argument, error))
            continue;  // a target without regressions yet has no folder
        for (const fs::path& input : inputsOf(argument)) {
            std::ifstream file(input, std::ios::binary);
            const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                          std::istreambuf_iterator<char>()};
            if (!file.good() && !file.eof()) {
                std::fprintf(stderr, "cannot read %s\n", input.string().c_str());
                return 1;
            }
            std::printf("%s\n", input.filename().string().c_str());
            std::fflush(stdout);  // the last name printed is the input that failed
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size());
            ++replayed;
        }
    }
    std::printf("replayed %zu inputs\n", replayed);
    return replayed == 0 ? 1 : 0;
}
