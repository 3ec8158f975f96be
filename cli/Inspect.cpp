#include "cli/Inspect.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <map>
#include <ostream>
#include <regex>
#include <set>
#include <sstream>

#include "msdb/Encoding.h"
#include "msdb/FileSystem.h"
#include "msdb/Inspect.h"
#include "msdb/Master.h"
#include "msdb/SecurityFiles.h"

namespace cli {

const char* const kListUsage =
    "Usage: korvex-cli list DIR [--csv | --json]\n"
    "\n"
    "Lists the securities of the MetaStock-format directory DIR and of the sub-directories its\n"
    "MASTER lists: file number, symbol, name, the fields stored, the first and last date and\n"
    "the number of price records. A plain table by default; --csv and --json for scripts.\n"
    "Exit status: 0 listed, 2 DIR holds no readable MASTER or bad command line.\n";

const char* const kExportUsage =
    "Usage: korvex-cli export DIR SYMBOL [-o FILE] [--date-format NAME]\n"
    "\n"
    "Writes the price records of the security SYMBOL (found as the duplicate check finds it:\n"
    "by symbol or name, in any case, also in sub-directories) as CSV with a heading line of\n"
    "the fields stored (Date,Open,High,Low,Close,Volume,OpenInterest). Dates are YYYY-MM-DD,\n"
    "or written in one of the twelve date formats of 'korvex-cli convert --help' with\n"
    "--date-format, so that the file converts back with the same settings. Numbers are\n"
    "written so that they read back as the same values. -o FILE writes to FILE instead of\n"
    "standard output.\n"
    "Exit status: 0 written, 1 no such security or a file cannot be read or written,\n"
    "2 bad command line.\n";

const char* const kCheckUsage =
    "Usage: korvex-cli check DIR\n"
    "\n"
    "Reads every MASTER, F<n>.DAT and F<n>.DOP of DIR and of the sub-directories its MASTER\n"
    "lists, and reports each problem on a line of its own with the file and the offset:\n"
    "counts that disagree with the records present, duplicate file numbers, missing files,\n"
    "price files of the wrong size, field lists that disagree with MASTER, dates that are\n"
    "not valid or out of order, MASTER dates that differ from the data, and temporaries left\n"
    "behind by an interrupted conversion.\n"
    "Exit status: 0 sound, 1 problems found, 2 DIR cannot be read or bad command line.\n";

namespace {

constexpr int kBadCommandLine = 2;
constexpr int kMaxProblemsPerFile = 10;

const char* kCsvNames[msdb::kPriceFieldCount] = {"Date",  "Open",   "High",        "Low",
                                                 "Close", "Volume", "OpenInterest"};
const char kFieldLetters[] = "DOHLCVI";

msdb::FileSystem& Fs() {
    return msdb::FileSystem::Default();
}

std::string IsoDate(const msdb::MbfBytes& date) {
    std::optional<msdb::CalendarDay> day = msdb::StoredDateToDay(date);
    if (!day) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", day->year, day->month, day->day);
    return text;
}

// A date in one of the twelve input formats, '/' between the groups of the separated ones.
std::string FormattedDate(const msdb::CalendarDay& day, int format) {
    std::string name(msdb::kDateFormatNames[static_cast<std::size_t>(format - 1)]);
    std::string text;
    for (std::size_t i = 0; i < name.size(); i += 2) {
        if (name[i] == '_') {
            text += '/';
            --i;
            continue;
        }
        std::string group = name.substr(i, 2);
        int value = group == "CC"   ? day.year / 100
                    : group == "YY" ? day.year % 100
                    : group == "MM" ? day.month
                                    : day.day;
        char digits[8];
        std::snprintf(digits, sizeof digits, "%02d", value);
        text += digits;
    }
    return text;
}

std::string ShortestFloat(float value) {
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

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

// The fields a security stores: from its F<n>.DOP when that can be read, else from its count.
std::optional<msdb::FieldSet> StoredFields(const msdb::SecurityEntry& security) {
    std::string dop;
    if (msdb::ReadWholeFile(
            Fs(), msdb::JoinPath(security.directory, msdb::DopFileName(security.fileNumber)), &dop)
            .ok()) {
        if (std::optional<msdb::FieldSet> fields = msdb::FieldsFromDop(dop)) {
            return fields;
        }
    }
    return msdb::FieldsFromCount(security.fieldCount);
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
    std::vector<Row> rows;
    bool topRead = false;
    std::string topProblem;
    msdb::WalkMasterTree(
        Fs(), directory,
        [&](const std::string& where, const msdb::Status& status, const msdb::MasterFile&) {
            if (where == directory) {
                topRead = status.ok();
                topProblem = status.message();
            } else if (!status.ok()) {
                err << "korvex: " << status.message() << '\n';
            }
        },
        [&](const msdb::SecurityEntry& security) {
            Row row{security, StoredFields(security), std::nullopt,
                    Relative(security.directory, directory)};
            msdb::PriceFile dat;
            if (security.recordLength > 0 &&
                msdb::ReadPriceFile(
                    Fs(),
                    msdb::JoinPath(security.directory, msdb::DatFileName(security.fileNumber)),
                    static_cast<std::size_t>(security.recordLength), &dat)
                    .ok() &&
                dat.bytes.size() >= 4) {
                row.records = static_cast<int>(dat.LastRecordNumber()) - 1;
            }
            rows.push_back(std::move(row));
        });
    if (!topRead) {
        err << "korvex: " << topProblem << '\n';
        return kBadCommandLine;
    }
    auto fieldLabels = [](const std::optional<msdb::FieldSet>& fields, const char* separator) {
        std::string text;
        for (int i = 0; fields && i < msdb::kPriceFieldCount; ++i) {
            if ((*fields)[i]) {
                text += (text.empty() ? "" : separator) + std::string(msdb::kPriceFieldLabels[i]);
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
        for (int i = 0; r.fields && i < msdb::kPriceFieldCount; ++i) {
            letters += (*r.fields)[i] ? kFieldLetters[i] : '-';
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

int RunExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> positional;
    std::string output;
    int format = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-o" || arg == "--output" || arg == "--date-format") {
            if (i + 1 >= args.size()) {
                err << "korvex: " << arg << " needs a value\nTry 'korvex-cli export --help'.\n";
                return kBadCommandLine;
            }
            const std::string& value = args[++i];
            if (arg == "--date-format") {
                for (std::size_t f = 0; f < msdb::kDateFormatNames.size(); ++f) {
                    if (msdb::EqualsNoCase(value, msdb::kDateFormatNames[f])) {
                        format = static_cast<int>(f) + 1;
                    }
                }
                if (format == 0) {
                    err << "korvex: --date-format: unknown date format '" << value
                        << "'; see 'korvex-cli convert --help' for the twelve names\n";
                    return kBadCommandLine;
                }
            } else {
                output = value;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            err << "korvex: unknown option '" << arg << "'\nTry 'korvex-cli export --help'.\n";
            return kBadCommandLine;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) {
        err << "korvex: give a directory and a symbol\nTry 'korvex-cli export --help'.\n";
        return kBadCommandLine;
    }
    const std::string& directory = positional[0];
    msdb::MasterRecord record;
    std::string found;
    if (msdb::FindSecurity(Fs(), directory, positional[1], &record, &found) !=
        msdb::kSecurityFound) {
        err << "korvex: " << directory << " holds no security " << positional[1] << '\n';
        return 1;
    }
    if (!found.empty() && msdb::IsPathSeparator(found.back())) {
        found.pop_back();
    }
    msdb::SecurityEntry security = msdb::DescribeSecurity(found, 0, record.data());
    std::optional<msdb::FieldSet> fields = StoredFields(security);
    if (!fields || 4 * msdb::CountFields(*fields) != security.recordLength) {
        err << "korvex: the fields of " << security.symbol << " cannot be told from "
            << msdb::DopFileName(security.fileNumber) << " or its record length\n";
        return 1;
    }
    msdb::PriceFile dat;
    msdb::Status s =
        msdb::ReadPriceFile(Fs(), msdb::JoinPath(found, msdb::DatFileName(security.fileNumber)),
                            static_cast<std::size_t>(security.recordLength), &dat);
    if (!s.ok()) {
        err << "korvex: " << s.message() << '\n';
        return 1;
    }
    if (dat.LastRecordNumber() != dat.RecordsPresent() + 1) {
        err << "korvex: " << dat.path << " holds " << dat.RecordsPresent()
            << " price records but its header counts "
            << static_cast<int>(dat.LastRecordNumber()) - 1 << "; all present are written\n";
    }
    std::ostringstream csv;
    std::string heading;
    for (int f = 0; f < msdb::kPriceFieldCount; ++f) {
        if ((*fields)[f]) {
            heading += (heading.empty() ? "" : ",") + std::string(kCsvNames[f]);
        }
    }
    csv << heading << '\n';
    for (std::size_t i = 1; i <= dat.RecordsPresent(); ++i) {
        std::size_t slot = 0;
        for (int f = 0; f < msdb::kPriceFieldCount; ++f) {
            if (!(*fields)[f]) {
                continue;
            }
            msdb::MbfBytes value = dat.Value(i, slot);
            if (slot++ > 0) {
                csv << ',';
            }
            if (f != msdb::DATE) {
                csv << ShortestFloat(msdb::FromMbf(value));
            } else if (std::optional<msdb::CalendarDay> day = msdb::StoredDateToDay(value)) {
                csv << (format == 0 ? IsoDate(value) : FormattedDate(*day, format));
            } else {
                csv << ShortestFloat(msdb::FromMbf(value));
            }
        }
        csv << '\n';
    }
    if (output.empty()) {
        out << csv.str();
        return 0;
    }
    s = msdb::WriteNewFile(Fs(), output, csv.str());
    if (!s.ok()) {
        err << "korvex: " << s.message() << '\n';
        return 1;
    }
    return 0;
}

}  // namespace cli
