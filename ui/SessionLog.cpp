#include "ui/SessionLog.h"

#include <algorithm>
#include <memory>

#include "engine/TargetDirectory.h"
#include "msdb/FileSystem.h"

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

// The longest piece of a line that one read of the old line buffer gave.
constexpr std::size_t kMaxPiece = 299;

}  // namespace

std::vector<std::string> FirstLines(const std::string& path, int count) {
    std::vector<std::string> lines;
    std::unique_ptr<msdb::ReadableFile> file;
    if (!msdb::FileSystem::Default().OpenForRead(path, &file).ok()) {
        return lines;
    }
    const auto wanted = static_cast<std::size_t>(std::max(count, 0));
    std::string piece;
    char buffer[4096];
    bool carriageReturn = false;  // the last byte was a CR, which a LF after it joins
    for (;;) {
        std::size_t got = 0;
        if (lines.size() >= wanted || !file->Read(sizeof buffer, buffer, &got).ok() || got == 0) {
            break;
        }
        for (std::size_t i = 0; i < got && lines.size() < wanted; ++i) {
            const char c = buffer[i];
            if (carriageReturn && c != '\n') {
                piece += '\r';  // a lone CR is part of the line, as a text-mode read keeps it
            }
            carriageReturn = c == '\r';
            if (carriageReturn) {
                continue;
            }
            if (c == '\n') {
                lines.push_back(std::move(piece));
                piece.clear();
                continue;
            }
            piece += c;
            if (piece.size() == kMaxPiece) {
                // A full piece is a line of its own; a line feed right after it ends an empty one.
                lines.push_back(std::move(piece));
                piece.clear();
            }
        }
    }
    if (carriageReturn) {
        piece += '\r';
    }
    if (lines.size() < wanted && !piece.empty()) {
        lines.push_back(std::move(piece));
    }
    lines.resize(std::min(lines.size(), wanted));
    return lines;
}

void SessionLog::Opened(const std::string& path, const std::vector<std::string>& firstLines) {
    std::string entry = "To help you with the conversion settings, your file...\n\n\t" + path +
                        "\n\nlooks like this...\n\n";
    for (const std::string& line : firstLines) {
        entry += line + "\n";
    }
    Add(std::move(entry));
}

void SessionLog::OpenedFiles(const std::vector<std::string>& paths,
                             const std::vector<std::string>& firstLines) {
    std::string entry = "To help you with the conversion settings, your " +
                        std::to_string(paths.size()) + " files...\n\n";
    for (const std::string& path : paths) {
        entry += "\t" + path + "\n";
    }
    entry += "\nthe first of them looks like this...\n\n";
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

void SessionLog::Ran(const engine::DatabaseRun& run, bool succeeded, bool cancelled,
                     const std::string& reason) {
    if (succeeded) {
        Add("Conversion completed successfully!\n" + run.Report().Text(true));
        return;
    }
    std::string entry = cancelled ? "Conversion cancelled." : "Conversion failed.";
    if (!cancelled && !reason.empty()) {
        entry += "\n" + Sentence(reason);
    }
    if (!run.Changed()) {
        entry += "\n" + engine::NotChangedMessage(run.Effect());
    }
    Add(std::move(entry));
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
