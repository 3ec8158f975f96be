// korvex-append-floor DIR: the floor of a daily update, the least that adding one day to every
// security of a directory can cost. It appends one 28-byte record to each price file of DIR
// (F<n>.DAT and F<n>.MWD), opening, writing and closing them one after another, and then calls
// sync() once. scripts/bench-database.sh times it beside `korvex-cli convert --update`.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kRecordSize = 28;

// F<n>.DAT or F<n>.MWD in any case, n a number.
bool IsPriceFile(const std::string& name) {
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    std::size_t dot = upper.find('.');
    if (upper.size() < 6 || upper[0] != 'F' || dot == std::string::npos || dot < 2) {
        return false;
    }
    std::string number = upper.substr(1, dot - 1);
    std::string extension = upper.substr(dot + 1);
    return std::all_of(number.begin(), number.end(),
                       [](unsigned char c) { return std::isdigit(c) != 0; }) &&
           (extension == "DAT" || extension == "MWD");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "Usage: korvex-append-floor DIR\n"
                     "Appends 28 bytes to every F<n>.DAT and F<n>.MWD of DIR, then syncs once.\n";
        return 2;
    }
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1], error)) {
        if (entry.is_regular_file() && IsPriceFile(entry.path().filename().string())) {
            files.push_back(entry.path());
        }
    }
    if (error) {
        std::cerr << "korvex-append-floor: " << argv[1] << ": " << error.message() << "\n";
        return 1;
    }
    std::array<char, kRecordSize> record{};
    for (const auto& path : files) {
        int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
        bool written = fd >= 0 && ::write(fd, record.data(), record.size()) ==
                                      static_cast<ssize_t>(record.size());
        int saved = errno;
        if (fd < 0 || ::close(fd) != 0 || !written) {
            std::cerr << "korvex-append-floor: " << path.string() << ": "
                      << std::strerror(fd < 0 || !written ? saved : errno) << "\n";
            return 1;
        }
    }
    ::sync();
    std::cout << "appended " << kRecordSize << " bytes to " << files.size() << " price files\n";
    return 0;
}
