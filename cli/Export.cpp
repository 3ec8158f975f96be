// korvex-cli export: a security's price records written back out as CSV.
#include <algorithm>
#include <charconv>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "cli/Inspection.h"
#include "msdb/CodePage.h"
#include "msdb/Journal.h"
#include "msdb/MasterTree.h"
#include "msdb/SecurityFiles.h"
#include "msdb/XMaster.h"

namespace cli {

namespace {

constexpr msdb::PerField<const char*> kCsvNames = {
    {"Date", "Open", "High", "Low", "Close", "Volume", "OpenInterest"}};

// Why `output` may not be written: it is one of the files that Korvex reads or keeps in a
// directory of the tree exported from (msdb::IsDirectoryFileName); nothing when it may.
std::optional<std::string> OutputInTree(const std::string& output, const std::string& directory) {
    std::string parent;
    if (!Fs().CanonicalPath(msdb::DirectoryOf(output), &parent).ok()) {
        return std::nullopt;  // its directory does not exist: the write says so
    }
    std::string name = msdb::FileNameOf(output);
    std::string resolved;
    if (Fs().CanonicalPath(output, &resolved).ok()) {  // it exists: look at what it is
        parent = msdb::DirectoryOf(resolved);
        name = resolved.substr(parent.size() + 1);
    }
    const std::vector<std::string> tree = msdb::TreeDirectories(Fs(), directory);
    if (msdb::IsDirectoryFileName(name) &&
        std::find(tree.begin(), tree.end(), parent) != tree.end()) {
        return output + " is a file of the directory that is exported from";
    }
    return std::nullopt;
}

constexpr int kMaxTemporaries = 999;

// Where the CSV goes: standard output, or a file written through a temporary beside it and
// renamed into place once whole.
class CsvSink {
public:
    CsvSink(std::string path, std::ostream& out) : path_(std::move(path)), out_(out) {}
    ~CsvSink() {
        if (file_) {
            file_.reset();
            (void)Fs().Remove(temporary_);
        }
    }

    msdb::Status Open() {
        if (path_.empty()) {
            return msdb::Status::Ok();
        }
        // Only a regular file is replaced: a device or a pipe would be swapped for a file.
        msdb::FileInfo info;
        if (msdb::Status s = Fs().GetInfo(path_, &info);
            s.ok() && info.kind != msdb::FileKind::kRegular) {
            return msdb::Status::IoError(path_ +
                                         " is not a regular file; leave out -o to write to "
                                         "standard output");
        }
        // A temporary of its own: a file of that name that is there already, whatever left it,
        // is not this export's to remove.
        msdb::Status s;
        for (int n = 1; n <= kMaxTemporaries; ++n) {
            temporary_ = path_ + std::string(msdb::kTemporarySuffix) +
                         (n == 1 ? std::string() : std::to_string(n));
            if (s = Fs().CreateNew(temporary_, &file_); !s.IsExists()) {
                break;
            }
        }
        return s;
    }

    msdb::Status Line(std::string_view line) {
        constexpr std::size_t kBlock = 64 * 1024;
        pending_.append(line);
        pending_ += '\n';
        return pending_.size() >= kBlock ? Flush() : msdb::Status::Ok();
    }

    msdb::Status Finish() {
        msdb::Status s = Flush();
        if (!s.ok() || !file_) {
            return s;
        }
        s = file_->Sync();
        msdb::Status closed = file_->Close();
        file_.reset();
        if (s.ok()) {
            s = closed;
        }
        if (s.ok()) {
            s = Fs().Rename(temporary_, path_);
        }
        if (!s.ok()) {
            (void)Fs().Remove(temporary_);
        }
        return s;
    }

private:
    msdb::Status Flush() {
        msdb::Status s;
        if (file_) {
            s = file_->Append(pending_);
        } else {
            out_ << pending_;
        }
        pending_.clear();
        return s;
    }

    std::string path_;
    std::string temporary_;
    std::ostream& out_;
    std::unique_ptr<msdb::WritableFile> file_;
    std::string pending_;
};

class ExportCommand final : public Command {
public:
    void Define(CLI::App& program) override {
        CLI::App* app = Add(
            program, "export", "write a security's price records as CSV",
            "Writes the price records of the security SYMBOL (found as the duplicate check finds "
            "it:\n"
            "by symbol or name, in any case, also in sub-directories) as CSV with a heading line "
            "of\n"
            "the fields stored (Date,Open,High,Low,Close,Volume,OpenInterest). Dates are "
            "YYYY-MM-DD,\n"
            "or written in one of the date formats of 'korvex-cli convert --help' with\n"
            "--date-format, so that the file converts back with the same settings. Numbers are\n"
            "written in full, never with an exponent (48000000, 0.0001), as the shortest text "
            "that\n"
            "reads back as the same stored value.\n",
            "Exit status: 0 written, 1 no such security or a file cannot be read or written,\n"
            "2 bad command line.\n");
        SetTooMany("give a directory and a symbol");
        Needed(app->add_option("DIR", directory_, "the directory")->type_name("DIR"),
               "give a directory and a symbol");
        Needed(app->add_option("SYMBOL", symbol_, "the security")->type_name("SYMBOL"),
               "give a directory and a symbol");
        app->add_option("-o,--output", output_,
                        "write to FILE instead of standard output, whole or not at all; refused "
                        "for the files Korvex reads or keeps in the directories exported from")
            ->type_name("FILE");
        dateFormat_ = app->add_option("--date-format", dateFormatText_,
                                      "write the dates in this date format (any case)")
                          ->type_name("NAME");
        codePage_ = AddCodePageOption(app, &codePageText_);
    }

    int Run(std::ostream& out, std::ostream& err) override;

private:
    std::string directory_;
    std::string symbol_;
    std::string output_;
    std::string dateFormatText_;
    CLI::Option* dateFormat_ = nullptr;
    std::string codePageText_;
    CLI::Option* codePage_ = nullptr;
};

int ExportCommand::Run(std::ostream& out, std::ostream& err) {
    std::optional<msdb::DateFormat> format;
    if (dateFormat_->count() != 0) {
        format = DateFormatOption("--date-format", dateFormatText_);
    }
    const std::string& output = output_;
    const std::string& directory = directory_;
    // The symbol as the directory's code page writes it; one that it cannot write, it does not
    // hold.
    const int codePage = CodePageOption(codePage_, codePageText_);
    std::string symbol;
    const bool writable = !msdb::EncodeText(symbol_, codePage, &symbol);
    std::vector<msdb::FoundSecurity> matches =
        writable ? msdb::FindSecuritiesExactly(Fs(), directory, symbol)
                 : std::vector<msdb::FoundSecurity>{};
    std::string found;
    msdb::SecurityEntry security{};
    std::string dataFile;
    std::optional<msdb::FieldSet> fields;
    msdb::XMaster xmaster;
    if (!matches.empty()) {
        found = matches.front().directory;
        if (!found.empty() && msdb::IsPathSeparator(found.back())) {
            found.pop_back();
        }
        security = msdb::DescribeSecurity(found, 0, matches.front().record);
        dataFile = msdb::DatFileName(security.fileNumber);
        fields = StoredFields(security);
    } else if (msdb::ReadXMasterOf(Fs(), directory, &xmaster).ok()) {
        // The securities past the 255 of MASTER, in F<n>.MWD.
        for (const msdb::XMasterEntry& entry : xmaster.Entries()) {
            if (writable && dataFile.empty() && msdb::XMaster::Matches(entry, symbol)) {
                found = directory;
                security =
                    msdb::SecurityEntry{directory,        entry.recordNumber,   entry.fileNumber,
                                        entry.fieldCount, 4 * entry.fieldCount, entry.symbol,
                                        entry.name,       entry.firstDate,      entry.lastDate};
                dataFile = msdb::MwdFileName(entry.fileNumber);
                fields = StoredFields(security);
            }
        }
    }
    if (dataFile.empty()) {
        err << "korvex: " << directory << " holds no security " << symbol_ << '\n';
        return 1;
    }
    if (!fields || 4 * msdb::CountFields(*fields) != security.recordLength) {
        err << "korvex: the fields of " << msdb::DecodeText(security.symbol, codePage)
            << " cannot be told from " << msdb::DopFileName(security.fileNumber)
            << " or its record length\n";
        return 1;
    }
    if (!output.empty()) {
        if (std::optional<std::string> why = OutputInTree(output, directory)) {
            err << "korvex: " << *why << "\nNothing was written.\n";
            return 1;
        }
    }
    msdb::PriceFileReader dat;
    msdb::Status s = dat.Open(Fs(), msdb::JoinPath(found, dataFile),
                              static_cast<std::size_t>(security.recordLength));
    if (!s.ok()) {
        err << "korvex: " << s.message() << '\n';
        return 1;
    }
    if (dat.TooLarge()) {
        err << "korvex: " << dat.path() << " is " << dat.FileSize()
            << " bytes long, more than a price file can hold; the records it can hold are "
               "written\n";
    }
    CsvSink sink(output, out);
    if (s = sink.Open(); !s.ok()) {
        err << "korvex: " << s.message() << "\nNothing was written.\n";
        return 1;
    }
    std::string heading;
    for (msdb::PriceField field : msdb::kPriceFields) {
        if ((*fields)[field]) {
            heading += (heading.empty() ? "" : ",") + std::string(kCsvNames[field]);
        }
    }
    s = sink.Line(heading);
    std::size_t records = 0;
    while (s.ok()) {
        std::string_view price;
        bool got = false;
        if (s = dat.Next(&price, &got); !s.ok() || !got) {
            break;
        }
        ++records;
        std::string line;
        std::size_t slot = 0;
        for (msdb::PriceField field : msdb::kPriceFields) {
            if (!(*fields)[field]) {
                continue;
            }
            msdb::MbfBytes value = msdb::PriceFileReader::Value(price, slot);
            if (slot++ > 0) {
                line += ',';
            }
            if (field != msdb::PriceField::kDate) {
                line += FullNumber(msdb::FromMbf(value));
            } else if (std::optional<msdb::CalendarDay> day = msdb::StoredDateToDay(value)) {
                line += format ? msdb::DateText(*day, *format) : msdb::IsoDateText(*day);
            } else {
                line += FullNumber(msdb::FromMbf(value));
            }
        }
        s = sink.Line(line);
    }
    if (s.ok()) {
        s = sink.Finish();
    }
    if (!s.ok()) {
        err << "korvex: " << s.message() << "\nThe export is not complete.\n";
        return 1;
    }
    if (dat.LastRecordNumber() != records + 1) {
        err << "korvex: " << dat.path() << " holds " << records
            << " price records but its header counts "
            << static_cast<int>(dat.LastRecordNumber()) - 1 << "; all present are written\n";
    }
    return 0;
}

}  // namespace

std::unique_ptr<Command> MakeExportCommand() {
    return std::make_unique<ExportCommand>();
}

}  // namespace cli
