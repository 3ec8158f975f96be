#include "fuzz/FuzzSupport.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/Cli.h"

namespace fuzz {
namespace {

namespace fs = std::filesystem;

// The per-process directory, removed when the process exits normally.
class ProcessDir {
public:
    ProcessDir() {
        std::error_code ec;
        fs::path temp = fs::temp_directory_path(ec);
        std::string pattern = ((ec ? fs::path("/tmp") : temp) / "korvex-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            Fail("cannot create a temporary directory from " + pattern);
        }
        // Canonical, so that the tree walks compare it with the canonical paths they make.
        m_path = fs::canonical(pattern, ec).string();
        if (ec) {
            Fail("cannot resolve " + pattern);
        }
    }
    ~ProcessDir() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    ProcessDir(const ProcessDir&) = delete;
    ProcessDir& operator=(const ProcessDir&) = delete;

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace

const std::string& ScratchDir::Base() {
    static ProcessDir base;
    return base.path();
}

ScratchDir::ScratchDir() {
    static unsigned long serial = 0;
    std::error_code ec;
    m_oldCwd = fs::current_path(ec).string();
    m_path = Base() + "/in-" + std::to_string(++serial);
    fs::remove_all(m_path, ec);
    if (!fs::create_directory(m_path, ec)) {
        Fail("cannot create " + m_path);
    }
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::current_path(m_oldCwd.empty() ? Base() : m_oldCwd, ignored);
    fs::remove_all(m_path, ignored);
}

std::uint8_t ByteReader::Byte() {
    if (m_data.empty()) {
        return 0;
    }
    auto byte = static_cast<std::uint8_t>(m_data.front());
    m_data.remove_prefix(1);
    return byte;
}

std::string ByteReader::Take(std::size_t length) {
    length = std::min(length, m_data.size());
    std::string text(m_data.substr(0, length));
    m_data.remove_prefix(length);
    return text;
}

std::string ByteReader::Text(std::size_t maxLength) {
    return Take(Byte() % (maxLength + 1));
}

std::string_view ByteReader::Rest() {
    std::string_view rest = m_data;
    m_data = {};
    return rest;
}

std::vector<std::string_view> SplitAt(std::string_view data, std::string_view separator) {
    std::vector<std::string_view> pieces;
    for (;;) {
        std::size_t at = data.find(separator);
        if (at == std::string_view::npos) {
            pieces.push_back(data);
            return pieces;
        }
        pieces.push_back(data.substr(0, at));
        data.remove_prefix(at + separator.size());
    }
}

bool Tracing() {
    static const bool on = std::getenv("KORVEX_FUZZ_TRACE") != nullptr;
    return on;
}

void RecordingNotifier::ShowMessage(const std::string& text) {
    if (Tracing()) {
        std::fprintf(stderr, "[message] %s\n", text.c_str());
    }
    messages.push_back(text);
}

int RunCli(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    int status = cli::run(args, out, err);
    if (Tracing()) {
        std::string line = "[korvex-cli";
        for (const std::string& arg : args) {
            line += " " + arg;
        }
        std::fprintf(stderr, "%s] exit %d\n%s%s", line.c_str(), status, out.str().c_str(),
                     err.str().c_str());
    }
    return status;
}

void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        Fail("cannot write " + path);
    }
}

std::vector<std::string> ListNames(const std::string& directory) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void Fail(const std::string& what) {
    std::fprintf(stderr, "korvex fuzz: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace fuzz
