// The files of one run of many, as the settings dialog lists them: each file's path, the symbol
// and name of its security (proposed from the file's name, edited by the user), and what reading
// the whole file with the dialog's settings found. A file with a symbol column holds any number
// of securities; its row counts them instead.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/ConversionSettings.h"
#include "engine/DatabaseRun.h"

namespace ui {

// What reading one whole file with a set of settings found.
struct FileFacts {
    enum class State { kUnread, kRead, kFailed };
    State state = State::kUnread;
    std::int64_t records = 0;     // the records a run stores, of all its securities
    std::int64_t securities = 0;  // the symbols of a symbol column; 1 without one
    std::string firstDate;        // YYYY-MM-DD, or empty when no record reads
    std::string lastDate;
    std::int64_t problems = 0;
    std::string failure;  // why the file cannot be read, for kFailed
    bool cancelled = false;
};

// Reads the whole of `settings.inputPath` as a run of many files would: with a symbol column each
// symbol's lines in the order of their own dates, the first and last dates over all of them.
// `cancel` stops it between lines (the result is then `cancelled`); `progress` receives the share
// read in thousandths.
FileFacts ReadFileFacts(const engine::ConversionSettings& settings, const std::atomic<bool>& cancel,
                        const std::function<void(int permille)>& progress = nullptr);

class FileList {
public:
    enum Column { kFile, kSymbol, kName, kRecords, kFirstDate, kLastDate, kProblems, kColumns };

    // Lists `paths`, each with the symbol its name proposes in code page `codePage`, no name,
    // and nothing read yet.
    void SetFiles(const std::vector<std::string>& paths, int codePage);
    std::size_t Count() const { return rows_.size(); }
    const std::string& Path(std::size_t row) const { return rows_.at(row).input.path; }

    // With a symbol column, each file names its securities itself: the symbol cell counts them
    // and neither symbol nor name can be edited.
    void SetSymbolColumn(bool on) { symbolColumn_ = on; }
    bool SymbolColumn() const { return symbolColumn_; }

    static std::string Heading(int column);
    // The cell as the table shows it; "..." for what is being read.
    std::string Text(std::size_t row, int column) const;
    bool Editable(int column) const;
    // Sets the symbol or the name of `row` as typed; a text that MASTER cannot hold is refused
    // with the dialog's message for it, and nothing changes.
    [[nodiscard]] std::string SetText(std::size_t row, int column, const std::string& text,
                                      int codePage);
    bool Bad(std::size_t row) const;  // unreadable, without records, or with problems

    void SetFacts(std::size_t row, FileFacts facts) { rows_.at(row).facts = std::move(facts); }
    const FileFacts& Facts(std::size_t row) const { return rows_.at(row).facts; }
    // Forgets what was read: the settings changed.
    void ForgetFacts();

    // The run's input files: each with its symbol (as stored) and name, or, with a symbol
    // column, none.
    std::vector<engine::InputFile> Inputs() const;

private:
    struct Row {
        engine::InputFile input;
        FileFacts facts;
    };
    std::vector<Row> rows_;
    bool symbolColumn_ = false;
};

}  // namespace ui
