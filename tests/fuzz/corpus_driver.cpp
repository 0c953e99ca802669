// Runs a libFuzzer entry point over every file of the corpus folders given on the command line,
// so that each fuzz target's corpus is replayed as an ordinary test in every build.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool runFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path root(argv[i]);
        if (std::filesystem::is_regular_file(root)) {
            if (!runFile(root)) return 1;
            ++files;
            continue;
        }
        if (!std::filesystem::is_directory(root)) {
            std::fprintf(stderr, "no corpus at %s\n", argv[i]);
            return 1;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file()) continue;
            if (!runFile(entry.path())) return 1;
            ++files;
        }
    }
    // Also feed the empty input, which every decoder must reject cleanly.
    LLVMFuzzerTestOneInput(nullptr, 0);
    std::printf("ran %d corpus files\n", files);
    return files > 0 ? 0 : 1;
}
