// Replays saved fuzz inputs without libFuzzer, so that every build runs them as a test. Each
// argument is an input file or a folder of them; a broken invariant aborts the run.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path given(argv[i]);
        if (std::filesystem::is_directory(given)) {
            for (const auto& entry : std::filesystem::directory_iterator(given)) {
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
                    files.push_back(entry.path());
                }
            }
        } else {
            files.push_back(given);
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::printf("replaying %s\n", file.filename().string().c_str());
        replay(file);
    }
    std::printf("%zu inputs replayed\n", files.size());
    // No input at all means a wrong folder, not a pass.
    return files.empty() ? 1 : 0;
}
