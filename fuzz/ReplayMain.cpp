// The main of a fuzz target built without libFuzzer: runs every file named on the command line,
// and every file of every directory named there, through LLVMFuzzerTestOneInput once, in name
// order. So the seed corpora and the inputs that once found a problem run as ordinary tests.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

// The files that `path` names: itself, or the regular files directly inside it. False when it
// names neither.
bool CollectInputs(const fs::path& path, std::vector<fs::path>* inputs) {
    std::error_code ec;
    if (fs::is_regular_file(path, ec)) {
        inputs->push_back(path);
        return true;
    }
    if (!fs::is_directory(path, ec)) {
        return false;
    }
    std::vector<fs::path> files;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec)) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    inputs->insert(inputs->end(), files.begin(), files.end());
    return !ec;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "Usage: %s FILE|DIRECTORY...\n", argv[0]);
        return 2;
    }
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!CollectInputs(argv[i], &inputs)) {
            std::fprintf(stderr, "%s: no such file or directory: %s\n", argv[0], argv[i]);
            return 2;
        }
    }
    for (const fs::path& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (!file.good() && !file.eof()) {
            std::fprintf(stderr, "%s: cannot read %s\n", argv[0], input.c_str());
            return 2;
        }
        // Named first, so that the input behind a crash is the last one named.
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", input.c_str(), bytes.size());
        std::fflush(stderr);
        (void)LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                     bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return 0;
}
