// Runs a fuzz target once over each of its seed inputs, without libFuzzer, so that every build's
// test run finds a target whose checks no longer hold. Arguments are files or folders (every
// regular file of a folder, in name order). Each input is copied into a block of its exact size,
// so the sanitizers see a read past its end; a target that fails aborts on the named input.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputsOf(int argc, char **argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path path(argv[i]);
        if (!fs::is_directory(path)) {
            inputs.push_back(path);
            continue;
        }
        std::vector<fs::path> files;
        for (const auto &entry : fs::directory_iterator(path)) {
            if (entry.is_regular_file())
                files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        inputs.insert(inputs.end(), files.begin(), files.end());
    }
    return inputs;
}

} // namespace

int main(int argc, char **argv)
{
    const auto inputs = inputsOf(argc, argv);
    if (inputs.empty()) {
        std::fprintf(stderr, "no seed inputs: give seed files or folders\n");
        return 1;
    }
    for (const auto &input : inputs) {
        std::ifstream file(input, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (!file.good() && !file.eof()) {
            std::fprintf(stderr, "cannot read %s\n", input.c_str());
            return 1;
        }
        std::printf("%s (%zu bytes)\n", input.c_str(), bytes.size());
        std::fflush(stdout);
        // An empty input still gets a valid pointer, as libFuzzer gives it.
        const auto copy = std::make_unique<std::uint8_t[]>(std::max<std::size_t>(bytes.size(), 1));
        std::copy(bytes.begin(), bytes.end(), copy.get());
        LLVMFuzzerTestOneInput(copy.get(), bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return 0;
}
