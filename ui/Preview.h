// The input file as a set of settings reads it, before anything is written: the first records as a
// table (each value as it will be stored, each value that cannot be read with its problems), and
// the whole file's summary, read as a cancellable task with progress.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "engine/ConversionSettings.h"
#include "engine/InputScan.h"
#include "msdb/Status.h"

namespace ui {

struct PreviewCell {
    std::string text;                   // as stored: a date as YYYY-MM-DD, a number in full;
                                        // "?" for a value that cannot be read
    std::vector<std::string> problems;  // why the value cannot be read; empty when it can
    bool number = false;                // aligned to the right
};

// The first records of a file in the order they will be stored: a file that lists the newest day
// first is shown oldest first. One column for each field switched on, after one for the symbol
// when the file has a symbol column; then each symbol's records are shown together, in the order
// the symbols first come, each oldest first.
class PreviewModel {
public:
    // Reads the first `count` records of `settings.inputPath` with `settings`.
    [[nodiscard]] msdb::Status Load(const engine::ConversionSettings& settings, int count);
    void Clear();

    int RowCount() const { return static_cast<int>(rows_.size()); }
    int ColumnCount() const;
    // "Symbol", "Date", "Open", ... and "Column 3 of the file".
    std::string ColumnHeading(int column) const;
    std::string ColumnTip(int column) const;
    // "line 12": the file's line the record comes from.
    std::string RowHeading(int row) const;
    const PreviewCell& Cell(int row, int column) const;
    // The problems of a cell, one per line; empty when it has none.
    std::string CellProblems(int row, int column) const;
    // True when rows are shown in the reverse of the file's order, as they will be stored.
    bool Reversed() const { return reversed_; }
    // What the preview says of it: "The file lists the newest day first: ...", or of some
    // symbols with a symbol column; empty when nothing is reversed.
    std::string OrderNote() const;

private:
    struct Row {
        engine::LineNumber line = 0;
        std::vector<PreviewCell> cells;
    };
    std::vector<engine::PriceField> fields_;
    std::vector<int> columns_;  // each column's column of the file: the symbol's first, if any
    bool symbol_ = false;       // the first column is the symbol
    std::vector<Row> rows_;
    bool reversed_ = false;
};

struct FileSummary {
    std::string text;  // one sentence per line
    bool bad = false;  // the file cannot be converted as it is: problems, or nothing to store
    bool cancelled = false;
};

// Reads the whole file as a conversion with `settings` would, and says what it would store:
// records, first and last dates, the order, the problems (a heading line skipped that reads as a
// record among them). With a symbol column: its securities, records, first and last dates over
// all of them and the number of problems. `cancel` stops it between records (the result is then
// `cancelled`); `progress` receives the share read in thousandths as it grows.
FileSummary SummarizeFile(const engine::ConversionSettings& settings,
                          const std::atomic<bool>& cancel,
                          const std::function<void(int permille)>& progress = nullptr);

// The first of `problems` that keeps the preview from reading the file at all: duplicate columns,
// a conflict of settings, or a date format that is none; nothing when there is none such.
const engine::SettingsProblem* ReadingProblem(const std::vector<engine::SettingsProblem>& problems);

}  // namespace ui
