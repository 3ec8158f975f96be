// Loaded with LD_PRELOAD: makes readdir fail with EIO after KORVEX_READDIR_FAILS_AFTER entries of
// each directory listing, as a failing disk or network share does, so that a program can be seen
// to take the failure for what it is and not for the end of the listing.
#include <dirent.h>
#include <dlfcn.h>

#include <cerrno>
#include <cstdlib>

namespace {

int entriesGiven = 0;

}  // namespace

extern "C" DIR* opendir(const char* name) {
    static auto real = reinterpret_cast<DIR* (*)(const char*)>(dlsym(RTLD_NEXT, "opendir"));
    entriesGiven = 0;
    return real(name);
}

extern "C" struct dirent* readdir(DIR* dir) {
    static auto real = reinterpret_cast<struct dirent* (*)(DIR*)>(dlsym(RTLD_NEXT, "readdir"));
    const char* after = std::getenv("KORVEX_READDIR_FAILS_AFTER");
    if (after != nullptr && entriesGiven >= std::atoi(after)) {
        errno = EIO;
        return nullptr;
    }
    ++entriesGiven;
    return real(dir);
}
