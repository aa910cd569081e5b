// Replays every file of a fuzz corpus folder through a libFuzzer entry point
// once. Used where the fuzzer runtime is not linked (ordinary and sanitizer
// builds), so the seeds run as a plain test.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path root(argv[i]);
        std::vector<std::filesystem::path> paths;
        if (std::filesystem::is_directory(root)) {
            for (const auto& e : std::filesystem::recursive_directory_iterator(root))
                if (e.is_regular_file())
                    paths.push_back(e.path());
        } else {
            paths.push_back(root);
        }
        for (const auto& p : paths) {
            std::ifstream in(p, std::ios::binary);
            std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++files;
        }
    }
    std::printf("replayed %d inputs\n", files);
    return files > 0 ? 0 : 1;
}
