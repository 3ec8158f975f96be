// korvex-restore-dir PRISTINE DIR: makes the plain files of DIR byte for byte those of PRISTINE
// again, writing only what differs, so that a benchmark can put a large directory back as it was
// before each round without rewriting it whole (and without leaving hundreds of megabytes for the
// next sync to write). Files DIR lacks are copied, files PRISTINE lacks are removed, and every
// other file gets the blocks that differ rewritten and its length set.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBlockSize = 64 * 1024;

struct Failure {
    std::string message;
};

class File {
public:
    File(const fs::path& path, int flags) : path_(path), fd_(::open(path.c_str(), flags, 0644)) {
        if (fd_ < 0) {
            Fail();
        }
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File() { ::close(fd_); }

    // Reads up to `size` bytes at `offset`; fewer only at the end of the file.
    std::size_t Read(char* data, std::size_t size, off_t offset) const {
        std::size_t done = 0;
        while (done < size) {
            ssize_t n = ::pread(fd_, data + done, size - done, offset + static_cast<off_t>(done));
            if (n < 0) {
                Fail();
            }
            if (n == 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        return done;
    }
    void Write(const char* data, std::size_t size, off_t offset) const {
        if (::pwrite(fd_, data, size, offset) != static_cast<ssize_t>(size)) {
            Fail();
        }
    }
    void Truncate(off_t size) const {
        if (::ftruncate(fd_, size) != 0) {
            Fail();
        }
    }

private:
    [[noreturn]] void Fail() const { throw Failure{path_.string() + ": " + std::strerror(errno)}; }

    fs::path path_;
    int fd_;
};

void RestoreFile(const fs::path& from, const fs::path& to) {
    File source(from, O_RDONLY);
    File target(to, O_RDWR | O_CREAT);
    std::vector<char> want(kBlockSize);
    std::vector<char> have(kBlockSize);
    off_t offset = 0;
    for (;;) {
        std::size_t n = source.Read(want.data(), kBlockSize, offset);
        if (n == 0) {
            break;
        }
        if (target.Read(have.data(), n, offset) != n || std::memcmp(want.data(), have.data(), n)) {
            target.Write(want.data(), n, offset);
        }
        offset += static_cast<off_t>(n);
    }
    target.Truncate(offset);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "Usage: korvex-restore-dir PRISTINE DIR\n"
                     "Makes the files of DIR those of PRISTINE again, writing what differs.\n";
        return 2;
    }
    fs::path pristine = argv[1];
    fs::path dir = argv[2];
    try {
        for (const auto& entry : fs::directory_iterator(pristine)) {
            if (entry.is_regular_file()) {
                RestoreFile(entry.path(), dir / entry.path().filename());
            }
        }
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.is_regular_file() && !fs::exists(pristine / entry.path().filename())) {
                fs::remove(entry.path());
            }
        }
    } catch (const Failure& e) {
        std::cerr << "korvex-restore-dir: " << e.message << "\n";
        return 1;
    } catch (const fs::filesystem_error& e) {
        std::cerr << "korvex-restore-dir: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
