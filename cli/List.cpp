// korvex-cli list: the securities of a MetaStock-format directory tree.
#include <algorithm>
#include <cstdio>
#include <ostream>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/Inspection.h"
#include "msdb/CodePage.h"
#include "msdb/EMaster.h"
#include "msdb/MasterTree.h"
#include "msdb/XMaster.h"

namespace cli {

namespace {

constexpr char kFieldLetters[] = "DOHLCVI";

std::string CsvText(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos) {
        return text;
    }
    std::string out = "\"";
    for (char c : text) {
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return out + "\"";
}

struct Row {
    msdb::SecurityEntry security;
    std::optional<msdb::FieldSet> fields;
    std::optional<int> records;
    std::string where;  // the directory relative to the one listed
};

std::string Relative(const std::string& directory, const std::string& start) {
    if (directory == start) {
        return ".";
    }
    std::string prefix = start;
    if (!prefix.empty() && !msdb::IsPathSeparator(prefix.back())) {
        prefix += msdb::kPathSeparator;
    }
    return directory.rfind(prefix, 0) == 0 ? directory.substr(prefix.size()) : directory;
}

// Collects a row for each security of the tree, and whether the top MASTER could be read.
class Lister final : public msdb::MasterTreeVisitor {
public:
    Lister(const std::string& top, std::ostream& err) : top_(top), err_(err) {}

    void OnMaster(const std::string& directory, const msdb::Status& status,
                  const msdb::Master&) override {
        Finish();
        emaster_.reset();
        if (directory == top_) {
            topRead = status.ok();
            topProblem = status.message();
        } else if (!status.ok()) {
            err_ << "korvex: " << status.message() << '\n';
        }
        if (!status.ok()) {
            return;
        }
        // An EMASTER holds names longer than 16 characters in full.
        const std::string where = directory.empty() ? std::string(".") : directory;
        std::optional<std::string> name;
        if (msdb::FindEntryNoCase(Fs(), where, msdb::kEMasterFileName, &name).ok() && name) {
            emaster_.emplace();
            if (!msdb::EMaster::Read(Fs(), msdb::JoinPath(directory, *name), &*emaster_).ok()) {
                emaster_.reset();
            }
        }
        // The securities of an XMASTER come after those of MASTER.
        msdb::XMaster xmaster;
        if (msdb::ReadXMasterOf(Fs(), directory, &xmaster).ok()) {
            for (const msdb::XMasterEntry& entry : xmaster.Entries()) {
                msdb::SecurityEntry security{
                    directory,        entry.recordNumber,   entry.fileNumber,
                    entry.fieldCount, 4 * entry.fieldCount, entry.symbol,
                    entry.name,       entry.firstDate,      entry.lastDate,
                    entry.period};
                Row row{security, StoredFields(security), std::nullopt, Relative(directory, top_)};
                row.records =
                    RecordsOf(msdb::JoinPath(directory, msdb::MwdFileName(entry.fileNumber)));
                pending_.push_back(std::move(row));
            }
        }
    }

    // Puts the XMASTER rows of the last directory behind its MASTER rows.
    void Finish() {
        rows.insert(rows.end(), pending_.begin(), pending_.end());
        pending_.clear();
    }

    bool OnSecurity(const std::string& directory, std::size_t recordNumber,
                    msdb::RecordBytes record) override {
        msdb::SecurityEntry security = msdb::DescribeSecurity(directory, recordNumber, record);
        if (emaster_) {
            if (std::string name = emaster_->LongName(recordNumber); !name.empty()) {
                security.name = name;
            }
        }
        Row row{security, StoredFields(security), std::nullopt, Relative(directory, top_)};
        if (security.recordLength > 0) {
            row.records =
                RecordsOf(msdb::JoinPath(directory, msdb::DatFileName(security.fileNumber)));
        }
        rows.push_back(std::move(row));
        return false;
    }

    std::vector<Row> rows;
    bool topRead = false;
    std::string topProblem;

private:
    // What the header of a price file counts: the rest of the file is not read.
    static std::optional<int> RecordsOf(const std::string& path) {
        std::string header;
        if (!msdb::ReadFilePrefix(Fs(), path, msdb::kFieldSize, &header).ok() ||
            header.size() < msdb::kFieldSize) {
            return std::nullopt;
        }
        return static_cast<int>(msdb::ReadLastRecordNumber(header)) - 1;
    }

    const std::string& top_;
    std::ostream& err_;
    std::optional<msdb::EMaster> emaster_;
    std::vector<Row> pending_;
};

class ListCommand final : public Command {
public:
    void Define(CLI::App& program) override {
        CLI::App* app = Add(program, "list", "list the securities of a directory",
                            "Lists the securities of the MetaStock-format directory DIR and of the "
                            "sub-directories its\n"
                            "MASTER lists: file number, symbol, name, the fields stored, the first "
                            "and last date,\n"
                            "the number of price records and the period (D daily, W weekly, M "
                            "monthly; empty when\n"
                            "the record holds none of them). A plain table by default; --csv and "
                            "--json for scripts.\n",
                            "Exit status: 0 listed, 2 DIR holds no readable MASTER or bad command "
                            "line.\n");
        SetTooMany("only one directory can be listed at a time");
        Needed(app->add_option("DIR", directory_, "the directory")->type_name("DIR"),
               "no directory given");
        CLI::Option* csv =
            app->add_flag("--csv", csv_, "one line of comma-separated values a security");
        app->add_flag("--json", json_, "a JSON array with an object a security")->excludes(csv);
        codePage_ = AddCodePageOption(app, &codePageText_);
    }

    int Run(std::ostream& out, std::ostream& err) override;

private:
    std::string directory_;
    bool csv_ = false;
    bool json_ = false;
    std::string codePageText_;
    CLI::Option* codePage_ = nullptr;
};

// The time frame a security is kept in, D, W or M; empty when its record holds none of them, as
// records that other programs wrote may.
std::string PeriodText(char period) {
    return msdb::IsPeriod(static_cast<msdb::Period>(period)) ? std::string(1, period)
                                                             : std::string();
}

// The characters of UTF-8 `text`, as a terminal gives each one column.
std::size_t Width(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

int ListCommand::Run(std::ostream& out, std::ostream& err) {
    const std::string& directory = directory_;
    const std::string form = json_ ? "json" : csv_ ? "csv" : "table";
    const int codePage = CodePageOption(codePage_, codePageText_);
    Lister lister(directory, err);
    msdb::WalkMasterTree(Fs(), directory, lister);
    lister.Finish();
    if (!lister.topRead) {
        err << "korvex: " << lister.topProblem << '\n';
        return kBadCommandLine;
    }
    // Symbols and names as the directory's code page writes them.
    std::vector<Row> rows = lister.rows;
    for (Row& row : rows) {
        row.security.symbol = msdb::DecodeText(row.security.symbol, codePage);
        row.security.name = msdb::DecodeText(row.security.name, codePage);
    }
    auto fieldLabels = [](const std::optional<msdb::FieldSet>& fields, const char* separator) {
        std::string text;
        for (msdb::PriceField field : msdb::kPriceFields) {
            if (fields && (*fields)[field]) {
                text +=
                    (text.empty() ? "" : separator) + std::string(msdb::kPriceFieldLabels[field]);
            }
        }
        return text;
    };
    auto records = [](const Row& row) {
        return row.records ? std::to_string(*row.records) : std::string("-");
    };
    if (form == "json") {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const Row& r : rows) {
            nlohmann::ordered_json fields = nlohmann::ordered_json::array();
            for (msdb::PriceField field : msdb::kPriceFields) {
                if (r.fields && (*r.fields)[field]) {
                    fields.push_back(std::string(msdb::kPriceFieldLabels[field]));
                }
            }
            list.push_back({{"directory", r.where},
                            {"file", r.security.fileNumber},
                            {"symbol", r.security.symbol},
                            {"name", r.security.name},
                            {"fields", fields},
                            {"first", IsoDate(r.security.firstDate)},
                            {"last", IsoDate(r.security.lastDate)},
                            {"records", r.records ? nlohmann::ordered_json(*r.records)
                                                  : nlohmann::ordered_json(nullptr)}});
            const std::string period = PeriodText(r.security.period);
            list.back()["period"] =
                period.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(period);
        }
        out << Json(list) << '\n';
        return 0;
    }
    if (form == "csv") {
        // Period comes last, so that the columns before it stay where scripts found them.
        out << "Directory,File,Symbol,Name,Fields,First,Last,Records,Period\n";
        for (const Row& r : rows) {
            out << CsvText(r.where) << ",F" << r.security.fileNumber << ','
                << CsvText(r.security.symbol) << ',' << CsvText(r.security.name) << ','
                << fieldLabels(r.fields, " ") << ',' << IsoDate(r.security.firstDate) << ','
                << IsoDate(r.security.lastDate) << ',' << records(r) << ','
                << PeriodText(r.security.period) << '\n';
        }
        return 0;
    }
    std::vector<std::vector<std::string>> table{
        {"Directory", "File", "Symbol", "Name", "Fields", "First", "Last", "Records", "Period"}};
    for (const Row& r : rows) {
        std::string letters;
        for (msdb::PriceField field : msdb::kPriceFields) {
            if (r.fields) {
                letters += (*r.fields)[field] ? kFieldLetters[msdb::Index(field)] : '-';
            }
        }
        table.push_back({r.where, "F" + std::to_string(r.security.fileNumber), r.security.symbol,
                         r.security.name, letters.empty() ? "?" : letters,
                         IsoDate(r.security.firstDate), IsoDate(r.security.lastDate), records(r),
                         PeriodText(r.security.period)});
    }
    std::vector<std::size_t> widths(table[0].size(), 0);
    for (const auto& line : table) {
        for (std::size_t c = 0; c < line.size(); ++c) {
            widths[c] = std::max(widths[c], Width(line[c]));
        }
    }
    for (const auto& line : table) {
        std::string text;
        for (std::size_t c = 0; c < line.size(); ++c) {
            bool right = c == 7;
            std::string pad(widths[c] - Width(line[c]), ' ');
            text += (c == 0 ? "" : "  ") + (right ? pad + line[c] : line[c] + pad);
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        out << text << '\n';
    }
    out << rows.size() << (rows.size() == 1 ? " security\n" : " securities\n");
    return 0;
}

}  // namespace

std::unique_ptr<Command> MakeListCommand() {
    return std::make_unique<ListCommand>();
}

}  // namespace cli
