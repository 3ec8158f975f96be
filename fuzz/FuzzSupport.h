// What the fuzz targets share: a scratch directory per input, the input cut into pieces, stand-ins
// for the engine's seams, and the command-line program run in-process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ConversionJob.h"
#include "engine/Services.h"

namespace fuzz {

// A fresh, empty directory for one input, inside one directory per process under the system's
// temporary directory. Going out of scope restores the process's current directory and removes the
// directory with everything in it; the per-process directory goes when the process exits.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return m_path; }
    // `name` inside the directory.
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

    // The per-process directory that holds the directory of every input.
    static const std::string& Base();

private:
    std::string m_path;
    std::string m_oldCwd;
};

// Takes bytes from the front of an input; once it is used up every read gives zeros or nothing.
class ByteReader {
public:
    explicit ByteReader(std::string_view data) : m_data(data) {}

    std::uint8_t Byte();
    // The next `length` bytes, or fewer when the input ends.
    std::string Take(std::size_t length);
    // A text of Byte() % (maxLength + 1) bytes, or fewer when the input ends.
    std::string Text(std::size_t maxLength);
    // What is left, all of it; the reader is used up afterwards.
    std::string_view Rest();
    bool empty() const { return m_data.empty(); }

private:
    std::string_view m_data;
};

// The pieces of `data` between occurrences of `separator` (a separator at either end gives an empty
// piece); `data` without a separator is one piece.
std::vector<std::string_view> SplitAt(std::string_view data, std::string_view separator);

// True when the environment variable KORVEX_FUZZ_TRACE is set: then the job's messages and the
// command lines run, with their output, go to standard error, to see what an input does.
bool Tracing();

// Records the messages instead of showing them.
class RecordingNotifier final : public engine::Notifier {
public:
    void ShowMessage(const std::string& text) override;
    std::vector<std::string> messages;
};

// Always 7 December 2026, so that a run's output depends on its input alone.
class FixedClock final : public engine::Clock {
public:
    engine::CalendarDate Today() override { return {2026, 12, 7}; }
};

// The seams of one conversion job: messages recorded, settings kept nowhere, a fixed day.
struct JobSeams {
    RecordingNotifier notifier;
    FixedClock clock;

    engine::JobServices Services() {
        engine::JobServices services;
        services.notifier = &notifier;
        services.clock = &clock;
        return services;
    }
};

// Runs korvex-cli with `args` in-process, its output thrown away, and returns its exit status.
int RunCli(const std::vector<std::string>& args);

// Writes `bytes` to `path`, creating or truncating the file; ends the process when it cannot, since
// the target could not test anything then.
void WriteFile(const std::string& path, std::string_view bytes);

// The names in `directory`, sorted; empty when it cannot be listed.
std::vector<std::string> ListNames(const std::string& directory);

// Reports a broken promise of the code under test on standard error and aborts, so that the fuzzer
// keeps the input as a finding.
[[noreturn]] void Fail(const std::string& what);

}  // namespace fuzz
