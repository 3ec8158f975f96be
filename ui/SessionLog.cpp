#include "ui/SessionLog.h"

#include "engine/TargetDirectory.h"

namespace ui {
namespace {

std::string Records(int count) {
    return std::to_string(count) + (count == 1 ? " record" : " records");
}

// The reason a run gave, without the blanks at its end.
std::string Sentence(std::string reason) {
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) {
        reason.pop_back();
    }
    return reason;
}

}  // namespace

void SessionLog::Opened(const std::string& path, const std::vector<std::string>& firstLines) {
    std::string entry = "To help you with the conversion settings, your file...\n\n\t" + path +
                        "\n\nlooks like this...\n\n";
    for (const std::string& line : firstLines) {
        entry += line + "\n";
    }
    Add(std::move(entry));
}

void SessionLog::Converted(const engine::ConversionJob& job, bool succeeded,
                           const std::string& reason) {
    if (!succeeded) {
        std::string entry = "Conversion failed.";
        if (!reason.empty()) {
            entry += "\n" + Sentence(reason);
        }
        if (!job.Changed()) {
            entry += "\n" + engine::NotChangedMessage(job.Effect());
        }
        Add(std::move(entry));
        return;
    }
    std::string entry = "Conversion completed successfully!";
    if (job.Replaced()) {
        entry += "\nReplaced " + job.settings().symbol + " in " + job.directory() + ": it held " +
                 (job.ReplacedRecords() ? Records(*job.ReplacedRecords())
                                        : "an unknown number of records") +
                 ", it now holds " + Records(job.RecordCount()) + ".";
    }
    Add(entry + "\n" + engine::ConversionSummary(job));
}

void SessionLog::Cancelled(const engine::ConversionJob& job) {
    Add("Conversion cancelled.\n" + engine::NotChangedMessage(job.Effect()));
}

void SessionLog::Removed(const std::string& symbol, const engine::RemovalReport& report,
                         bool succeeded, const std::string& reason) {
    if (succeeded) {
        Add("Removed " + (report.symbol.empty() ? symbol : report.symbol) + " from " +
            report.directory + ".");
        return;
    }
    std::string entry = "Removing " + symbol + " failed.";
    if (!reason.empty()) {
        entry += "\n" + Sentence(reason);
    }
    if (!report.changed) {
        engine::DirectoryEffect effect = report.effect;
        effect.directory = report.directory;
        entry += "\n" + engine::NotChangedMessage(effect);
    }
    Add(std::move(entry));
}

void SessionLog::Clear() {
    entries_.clear();
}

void SessionLog::Add(std::string entry) {
    entries_.push_back(std::move(entry));
}

}  // namespace ui
