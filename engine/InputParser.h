// The input parser: the lines of a text price file, read by the conversion settings into the
// values of price records, and every value that cannot be read noted as a problem.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/ConversionSettings.h"
#include "engine/TextInput.h"
#include "msdb/Encoding.h"
#include "msdb/FileSystem.h"

namespace engine {

// The values of one price record, each in its stored form; the fields switched off hold zeros.
struct PriceRecord {
    PerField<msdb::MbfBytes> values{};
};

// Something in the input that is not what the settings say: where, which field, the text as read
// (cut at 40 characters) and what is wrong with it.
struct InputProblem {
    LineNumber line = 0;
    std::string field;  // "date", "close price" ... or "line" for the line as a whole
    std::string text;
    std::string what;
};

// "line N, FIELD "TEXT": WHAT", as the problems of a file are listed.
std::string ProblemText(const InputProblem& problem);

// The problems of one input file: how many, and the first of them.
class InputProblems {
public:
    // The most problems that are kept to be shown.
    static constexpr std::size_t kShown = 10;

    void Add(InputProblem problem);
    // True when a problem of a later line than all those kept would not be shown: it need only
    // be counted (CountLater), not written out.
    bool Full() const { return first_.size() >= kShown; }
    void CountLater(std::int64_t n = 1) { count_ += n; }
    std::int64_t count() const { return count_; }
    bool empty() const { return count_ == 0; }
    const std::vector<InputProblem>& first() const { return first_; }

    // "N problems were found ..." and the first of them, a line each.
    std::string Message(std::string_view inputPath) const;

    // Adds the problems of `other`, as if each had been added here.
    void Merge(const InputProblems& other);

private:
    std::int64_t count_ = 0;
    std::vector<InputProblem> first_;
};

class InputParser {
public:
    InputParser(const ConversionSettings& settings, std::unique_ptr<msdb::ReadableFile> file);

    // Moves to the next line that holds a field, skipping the heading lines first, and later any
    // line that is one of them again (as in files joined one after another); `*got` is false at
    // the end of the file. A line longer than kMaxLineLength is a problem and gives no record;
    // a line that holds a NUL byte ends the reading: the file is not text (NotText says so).
    // With a series column and series to keep, a line of another series is passed over.
    [[nodiscard]] msdb::Status NextLine(bool* got);
    // The lines passed over so far for their series.
    std::int64_t OtherSeriesLines() const { return otherSeries_; }

    // The price record of the line NextLine moved to. A field that is missing, empty or cannot be
    // read is a problem, and holds 0 (a date four zero bytes); so is a day that does not exist.
    // A line dated outside the settings' From and To is passed over: OutOfRange, no problems.
    PriceRecord ReadRecord();

    // The number (from 1) of the line read last.
    engine::LineNumber LineNumber() const { return reader_.LineNumber(); }

    // The message of the date check of the first record (its date field holds a character that
    // the date format does not expect), or null.
    const char* DateCheckMessage() const { return dateCheckMessage_; }

    // True when the record read last is dated outside the settings' From and To; its other
    // fields are not read.
    bool OutOfRange() const { return outOfRange_; }
    // True when the record read last can be stored: its date, and each of its open, high, low and
    // close that is switched on, can be read.
    bool Usable() const { return usable_; }
    // True when `field` of the record read last cannot be read.
    bool Unreadable(PriceField field) const { return unreadable_[field]; }
    // The date field of the record read last, as the file writes it (until the next NextLine).
    std::string DateText() const;

    // The field in `column` (from 1) of the line NextLine moved to, without the blanks and quotes
    // around it; empty when the line has no such column. Valid until the next NextLine.
    std::string_view ColumnText(int column) const;

    // Why the file is not a text file, when it holds a NUL byte; empty otherwise.
    const std::string& NotText() const { return notText_; }

    // The problems of the record read last.
    const std::vector<InputProblem>& RecordProblems() const { return recordProblems_; }

    InputProblems& problems() { return problems_; }
    const InputProblems& problems() const { return problems_; }

private:
    void Problem(PriceField field, std::string_view text, std::string what);
    // The text of `field` in the line, or null when the line has no such column.
    const std::string_view* Field(PriceField field) const;
    // True when `line` is one of the heading lines skipped at the start.
    bool IsHeading(std::string_view line) const;
    // True when the line NextLine split is of a series the settings keep.
    bool SeriesKept() const;
    // True when `text` ends in the line NextLine split, 8 bytes or more after the line's start:
    // the 8 bytes before its end may be read at once.
    bool InLineWithEightBefore(std::string_view text) const;

    const ConversionSettings& settings_;
    LineReader reader_;
    // The fields read as numbers, in the order of the record, and how many there are.
    std::array<PriceField, msdb::kPriceFieldCount> numberFields_{};
    std::size_t numberFieldCount_ = 0;
    std::string_view line_;  // the reader's line that fields_ views
    FieldViews fields_;      // views of the reader's line, valid until its next line
    bool skipped_ = false;
    std::vector<std::string> headings_;  // the lines skipped at the start that hold anything
    int recordsRead_ = 0;
    std::int64_t otherSeries_ = 0;
    const char* dateCheckMessage_ = nullptr;
    bool usable_ = true;
    bool outOfRange_ = false;
    PerField<bool> unreadable_{};
    std::string notText_;
    InputProblems problems_;
    std::vector<InputProblem> recordProblems_;
};

// The name of a price field as problems and messages give it: "date", "open price" ...
std::string_view FieldName(PriceField field);

}  // namespace engine
