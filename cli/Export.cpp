// korvex-cli export: a security's price records written back out as CSV.
#include <charconv>
#include <optional>
#include <ostream>
#include <sstream>

#include "cli/Commands.h"
#include "cli/Inspection.h"
#include "msdb/MasterTree.h"

namespace cli {

const std::string_view kExportUsage =
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

namespace {

constexpr msdb::PerField<const char*> kCsvNames = {
    {"Date", "Open", "High", "Low", "Close", "Volume", "OpenInterest"}};

std::string ShortestFloat(float value) {
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

}  // namespace

int RunExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> positional;
    std::string output;
    std::optional<msdb::DateFormat> format;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-o" || arg == "--output" || arg == "--date-format") {
            if (i + 1 >= args.size()) {
                err << "korvex: " << arg << " needs a value\nTry 'korvex-cli export --help'.\n";
                return kBadCommandLine;
            }
            const std::string& value = args[++i];
            if (arg == "--date-format") {
                format = msdb::ParseDateFormatName(value);
                if (!format) {
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
    std::optional<msdb::FoundSecurity> match = msdb::FindSecurity(Fs(), directory, positional[1]);
    if (!match) {
        err << "korvex: " << directory << " holds no security " << positional[1] << '\n';
        return 1;
    }
    std::string found = match->directory;
    if (!found.empty() && msdb::IsPathSeparator(found.back())) {
        found.pop_back();
    }
    msdb::SecurityEntry security = msdb::DescribeSecurity(found, 0, match->record);
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
    for (msdb::PriceField field : msdb::kPriceFields) {
        if ((*fields)[field]) {
            heading += (heading.empty() ? "" : ",") + std::string(kCsvNames[field]);
        }
    }
    csv << heading << '\n';
    for (std::size_t i = 1; i <= dat.RecordsPresent(); ++i) {
        std::size_t slot = 0;
        for (msdb::PriceField field : msdb::kPriceFields) {
            if (!(*fields)[field]) {
                continue;
            }
            msdb::MbfBytes value = dat.Value(i, slot);
            if (slot++ > 0) {
                csv << ',';
            }
            if (field != msdb::PriceField::kDate) {
                csv << ShortestFloat(msdb::FromMbf(value));
            } else if (std::optional<msdb::CalendarDay> day = msdb::StoredDateToDay(value)) {
                csv << (format ? msdb::DateText(*day, *format) : msdb::IsoDateText(*day));
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
