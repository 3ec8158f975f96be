// The conversion and the removal as tasks that a shell runs off its window's thread: each can be
// stopped before its commit (nothing changes then), reports its progress, asks its questions
// through one interface, and returns one result that says what happened in the user's words.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/ConversionJob.h"
#include "engine/DatabaseRun.h"
#include "engine/RemoveSecurity.h"

namespace ui {

// The messages and questions of a run, which each shell answers with its own message boxes and
// tests answer from a script. A task calls them on the thread that runs it; the shell brings them
// to its window's thread and waits for the answer.
class Questions {
public:
    virtual ~Questions() = default;
    // Shows `message`; returns once the user has taken note of it.
    virtual void Tell(const std::string& message) = 0;
    // Asks a question that Yes or No answers.
    virtual bool Ask(const std::string& question) = 0;
};

// What a run did.
struct TaskResult {
    bool succeeded = false;
    bool cancelled = false;  // stopped before its commit: nothing changed
    // The setting a refused run names, to bring the dialog back at it.
    std::optional<engine::ConversionJob::Refusal> refusal;
    std::string message;   // the last message the run gave
    std::string logEntry;  // what the session log says of the run
};

// `message`, the reason a run was refused for `field`, with the directory or the symbol it is
// about added when it does not name it already.
std::string NameTheSubject(const std::string& message, engine::SettingsField field,
                           const engine::ConversionSettings& settings);

class ConversionTask {
public:
    ConversionTask(engine::ConversionSettings settings, Questions& questions);

    // Runs the conversion on the calling thread; `progress` is told the share of the file read,
    // in thousandths, and `committing` when the commit begins and Cancel no longer stops it.
    TaskResult Run(const std::function<void(int permille)>& progress = nullptr,
                   const std::function<void()>& committing = nullptr);
    // Stops the run before its commit; from any thread.
    void Cancel() { cancel_ = true; }

private:
    engine::ConversionSettings settings_;
    Questions& questions_;
    std::atomic<bool> cancel_{false};
};

// True when a run of `fileCount` files with `settings` is one over many securities (a
// DatabaseTask): several files, a column that is not a price (symbol, name, period, time,
// series), or adding new days to securities already there. One file without them is one
// conversion (a ConversionTask).
bool NeedsDatabaseRun(const engine::ConversionSettings& settings, std::size_t fileCount);

// A run of many files, or of files with a symbol column, or an update: each security added,
// updated or replaced, all in one transaction. Cancelled, asked and followed as ConversionTask.
class DatabaseTask {
public:
    DatabaseTask(engine::ConversionSettings settings, std::vector<engine::InputFile> inputs,
                 Questions& questions);

    // Runs on the calling thread; `progress` is told how far the run is, in thousandths, and
    // `committing` when the commit begins. The log entry holds the run's report, a line per
    // security.
    TaskResult Run(const std::function<void(int permille)>& progress = nullptr,
                   const std::function<void()>& committing = nullptr);
    void Cancel() { cancel_ = true; }

private:
    engine::ConversionSettings settings_;
    std::vector<engine::InputFile> inputs_;
    Questions& questions_;
    std::atomic<bool> cancel_{false};
};

class RemovalTask {
public:
    RemovalTask(std::string directory, std::string symbol, int codePage, Questions& questions);
    TaskResult Run();

private:
    std::string directory_;
    std::string symbol_;
    int codePage_;
    Questions& questions_;
};

}  // namespace ui
