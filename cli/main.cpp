#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

// `text` from UTF-16 to UTF-8. An unpaired surrogate, which no file name of any use holds, becomes
// U+FFFD.
std::string ToUtf8(const wchar_t* text) {
    const int wide = static_cast<int>(std::wcslen(text));
    if (wide == 0) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, wide, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, wide, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

// While it lives, the console shows what korvex-cli writes as UTF-8, and standard output and error
// pass the bytes through as written: a line ends in LF, as on Linux, so that a file written
// through `>` is the same as one written with `-o`. The console's own code page comes back at
// the end, as the console is shared with the shell that started the program.
class Utf8Console {
public:
    Utf8Console() : oldOutputPage_(GetConsoleOutputCP()) {
        SetConsoleOutputCP(CP_UTF8);
        _setmode(_fileno(stdout), _O_BINARY);
        _setmode(_fileno(stderr), _O_BINARY);
    }
    ~Utf8Console() {
        if (oldOutputPage_ != 0) {
            SetConsoleOutputCP(oldOutputPage_);
        }
    }
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    UINT oldOutputPage_;  // 0 when there is no console (output to a pipe or file only)
};

}  // namespace

// The arguments come as UTF-16, whatever the code page, so that every file name reaches Korvex,
// whose paths are UTF-8; built with -municode.
int wmain(int argc, wchar_t** argv) {
    Utf8Console console;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(ToUtf8(argv[i]));
    }
    const int status = cli::run(args, std::cout, std::cerr);
    std::cout.flush();
    std::cerr.flush();
    return status;
}

#else

#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char** argv) {
#if defined(__GLIBC__)
    // glibc raises the size from which blocks are mapped on their own each time one such block
    // is freed, so that a run over a large database (whose tables grow as they fill) ends up
    // placing its later large blocks in the heap, where they stay resident once freed. A fixed
    // size gives them back to the system as they are let go.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    return cli::run(args, std::cout, std::cerr);
}

#endif
