// korvex-cli list: the securities of a MetaStock-format directory tree.
#include <algorithm>
#include <cstdio>
#include <ostream>

#include "cli/Commands.h"
#include "cli/Inspection.h"
#include "msdb/EMaster.h"
#include "msdb/MasterTree.h"
#include "msdb/XMaster.h"

namespace cli {

const std::string_view kListUsage =
    "Usage: korvex-cli list DIR [--csv | --json]\n"
    "\n"
    "Lists the securities of the MetaStock-format directory DIR and of the sub-directories its\n"
    "MASTER lists: file number, symbol, name, the fields stored, the first and last date and\n"
    "the number of price records. A plain table by default; --csv and --json for scripts.\n"
    "Exit status: 0 listed, 2 DIR holds no readable MASTER or bad command line.\n";

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
                    entry.name,       entry.firstDate,      entry.lastDate};
                Row row{security, msdb::FieldsFromCount(entry.fieldCount), std::nullopt,
                        Relative(directory, top_)};
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

}  // namespace

int RunList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string directory;
    std::string form = "table";
    for (const std::string& arg : args) {
        if (arg == "--csv" || arg == "--json") {
            form = arg.substr(2);
        } else if (!arg.empty() && arg[0] == '-') {
            err << "korvex: unknown option '" << arg << "'\nTry 'korvex-cli list --help'.\n";
            return kBadCommandLine;
        } else if (directory.empty()) {
            directory = arg;
        } else {
            err << "korvex: only one directory can be listed at a time\n";
            return kBadCommandLine;
        }
    }
    if (directory.empty()) {
        err << "korvex: no directory given\nTry 'korvex-cli list --help'.\n";
        return kBadCommandLine;
    }
    Lister lister(directory, err);
    msdb::WalkMasterTree(Fs(), directory, lister);
    lister.Finish();
    if (!lister.topRead) {
        err << "korvex: " << lister.topProblem << '\n';
        return kBadCommandLine;
    }
    const std::vector<Row>& rows = lister.rows;
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
        out << "[";
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const Row& r = rows[i];
            out << (i == 0 ? "\n" : ",\n") << "  {\"directory\": " << JsonText(r.where)
                << ", \"file\": " << r.security.fileNumber
                << ", \"symbol\": " << JsonText(r.security.symbol)
                << ", \"name\": " << JsonText(r.security.name) << ", \"fields\": [";
            std::string labels = fieldLabels(r.fields, "\", \"");
            out << (labels.empty() ? "" : "\"" + labels + "\"") << "]"
                << ", \"first\": " << JsonText(IsoDate(r.security.firstDate))
                << ", \"last\": " << JsonText(IsoDate(r.security.lastDate))
                << ", \"records\": " << (r.records ? std::to_string(*r.records) : "null") << "}";
        }
        out << (rows.empty() ? "]\n" : "\n]\n");
        return 0;
    }
    if (form == "csv") {
        out << "Directory,File,Symbol,Name,Fields,First,Last,Records\n";
        for (const Row& r : rows) {
            out << CsvText(r.where) << ",F" << r.security.fileNumber << ','
                << CsvText(r.security.symbol) << ',' << CsvText(r.security.name) << ','
                << fieldLabels(r.fields, " ") << ',' << IsoDate(r.security.firstDate) << ','
                << IsoDate(r.security.lastDate) << ',' << records(r) << '\n';
        }
        return 0;
    }
    std::vector<std::vector<std::string>> table{
        {"Directory", "File", "Symbol", "Name", "Fields", "First", "Last", "Records"}};
    for (const Row& r : rows) {
        std::string letters;
        for (msdb::PriceField field : msdb::kPriceFields) {
            if (r.fields) {
                letters += (*r.fields)[field] ? kFieldLetters[msdb::Index(field)] : '-';
            }
        }
        table.push_back({r.where, "F" + std::to_string(r.security.fileNumber), r.security.symbol,
                         r.security.name, letters.empty() ? "?" : letters,
                         IsoDate(r.security.firstDate), IsoDate(r.security.lastDate), records(r)});
    }
    std::vector<std::size_t> widths(table[0].size(), 0);
    for (const auto& line : table) {
        for (std::size_t c = 0; c < line.size(); ++c) {
            widths[c] = std::max(widths[c], line[c].size());
        }
    }
    for (const auto& line : table) {
        std::string text;
        for (std::size_t c = 0; c < line.size(); ++c) {
            bool right = c == 7;
            std::string pad(widths[c] - line[c].size(), ' ');
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

}  // namespace cli
