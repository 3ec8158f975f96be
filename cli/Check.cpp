// korvex-cli check: every file of a MetaStock-format directory tree read and judged.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <map>
#include <ostream>
#include <regex>
#include <set>
#include <string_view>
#include <thread>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "cli/Inspection.h"
#include "msdb/CodePage.h"
#include "msdb/EMaster.h"
#include "msdb/Encoding.h"
#include "msdb/FileSystem.h"
#include "msdb/Journal.h"
#include "msdb/Master.h"
#include "msdb/MasterTree.h"
#include "msdb/Reader.h"
#include "msdb/SecurityFiles.h"
#include "msdb/XMaster.h"

namespace cli {

namespace {

constexpr int kMaxDateProblems = 10;
constexpr std::chrono::milliseconds kLockWait{5000};
constexpr std::chrono::milliseconds kLockRetry{50};

std::string Date(const msdb::MbfBytes& date) {
    std::optional<msdb::CalendarDay> day = msdb::StoredDateToDay(date);
    if (!day) {
        return "the value " + FullNumber(msdb::FromMbf(date));
    }
    return msdb::IsoDateText(*day);
}

class Checker {
public:
    Checker(std::ostream& out, bool verbose, int codePage)
        : out_(out), verbose_(verbose), codePage_(codePage) {}

    // What does no harm to a reader, said all the same.
    void Note(const std::string& file, const std::string& text) {
        out_ << file << ": note: " << text << '\n';
        ++notes_;
    }

    void Problem(const std::string& file, std::size_t offset, const std::string& text) {
        out_ << file << " at offset " << offset << ": " << text << '\n';
        ++problems_;
    }
    void Problem(const std::string& file, const std::string& text) {
        out_ << file << ": " << text << '\n';
        ++problems_;
    }

    void Master(const msdb::Master& master) {
        if (!master.HasWholeHeader()) {
            Problem(master.path(), 0,
                    "the file is " + std::to_string(master.bytes().size()) +
                        " bytes long, shorter than its 53-byte header");
            return;
        }
        std::size_t present = master.RecordsPresent();
        if (master.header().recordCount != static_cast<int>(present)) {
            Problem(master.path(), 0,
                    "the header counts " + std::to_string(master.header().recordCount) +
                        " records but the file holds " + std::to_string(present));
        }
        if (master.TrailingBytes() != 0) {
            Problem(master.path(), master.bytes().size() - master.TrailingBytes(),
                    std::to_string(master.TrailingBytes()) + " bytes after the last whole record");
        }
        std::map<int, std::size_t> numbers;
        for (std::size_t i = 1; i <= present; ++i) {
            msdb::RecordBytes record = master.Record(i);
            if (msdb::IsSubdirectoryEntry(record)) {
                continue;
            }
            auto [it, fresh] = numbers.emplace(record[msdb::kFileNumberOffset], i);
            if (!fresh) {
                Problem(master.path(), msdb::kMasterRecordSize * i,
                        "record " + std::to_string(i) + " uses file number " +
                            std::to_string(it->first) + ", as record " +
                            std::to_string(it->second) + " does");
            }
        }
    }

    void Security(const msdb::SecurityEntry& security, const std::string& masterPath) {
        const std::size_t at = msdb::kMasterRecordSize * security.recordNumber;
        const std::string record =
            "record " + std::to_string(security.recordNumber) + " (" +
            (security.symbol.empty() ? "no symbol" : msdb::DecodeText(security.symbol, codePage_)) +
            ")";
        if (security.fieldCount < 2 || security.fieldCount > 7 ||
            security.recordLength != 4 * security.fieldCount) {
            Problem(masterPath, at,
                    record + " gives " + std::to_string(security.fieldCount) +
                        " fields and a record length of " + std::to_string(security.recordLength));
        }
        std::string datPath =
            msdb::JoinPath(security.directory, msdb::DatFileName(security.fileNumber));
        std::string dopPath =
            msdb::JoinPath(security.directory, msdb::DopFileName(security.fileNumber));
        std::string dop;
        if (msdb::Status s = msdb::ReadWholeFile(Fs(), dopPath, &dop); s.IsNotFound()) {
            if (verbose_) {
                Note(dopPath, "missing; the fields of " + record + " follow from its field count");
            }
        } else if (!s.ok()) {
            Problem(dopPath, "unreadable; " + record + " of " + masterPath + " lists it (" +
                                 s.message() + ")");
        } else if (std::optional<msdb::FieldSet> fields = msdb::FieldsFromDop(dop); !fields) {
            Problem(dopPath, "not a list of the stored fields");
        } else if (msdb::CountFields(*fields) != security.fieldCount) {
            Problem(dopPath, "lists " + std::to_string(msdb::CountFields(*fields)) +
                                 " fields but " + record + " of " + masterPath + " gives " +
                                 std::to_string(security.fieldCount));
        }
        msdb::PriceFileReader dat;
        if (!dat.Open(Fs(), datPath, static_cast<std::size_t>(std::max(security.recordLength, 1)))
                 .ok()) {
            Problem(datPath,
                    "missing or unreadable; " + record + " of " + masterPath + " lists it");
            return;
        }
        if (security.recordLength <= 0) {
            return;
        }
        const std::size_t length = static_cast<std::size_t>(security.recordLength);
        const std::uint64_t size = dat.FileSize();
        if (dat.TooLarge()) {
            Problem(datPath, "the file is " + std::to_string(size) +
                                 " bytes long, more than a price file of " +
                                 std::to_string(length) + "-byte records can hold");
            return;
        }
        if (size < length) {
            Problem(datPath, 0, "the file is shorter than its header record");
            return;
        }
        if (size % length != 0) {
            Problem(datPath, static_cast<std::size_t>(size - size % length),
                    std::to_string(size % length) + " bytes after the last whole " +
                        std::to_string(length) + "-byte record");
        }
        const auto present = static_cast<std::size_t>(size / length - 1);
        if (dat.LastRecordNumber() != present + 1) {
            Problem(datPath, 2,
                    "the header counts " +
                        std::to_string(static_cast<int>(dat.LastRecordNumber()) - 1) +
                        " price records but the file holds " + std::to_string(present));
        }
        if (length < msdb::kFieldSize) {
            return;  // a record too short to hold a date, reported above
        }
        int dateProblems = 0;
        std::optional<msdb::CalendarDay> previous;
        float previousValue = 0;
        msdb::MbfBytes firstDate{};
        msdb::MbfBytes lastDate{};
        std::size_t i = 0;
        for (;;) {
            std::string_view price;
            bool got = false;
            if (msdb::Status s = dat.Next(&price, &got); !s.ok()) {
                Problem(datPath, s.message());
                return;
            }
            if (!got) {
                break;
            }
            ++i;
            msdb::MbfBytes date = msdb::PriceFileReader::Value(price, 0);
            if (i == 1) {
                firstDate = date;
            }
            lastDate = date;
            std::optional<msdb::CalendarDay> day = msdb::StoredDateToDay(date);
            float value = msdb::FromMbf(date);
            std::string problem;
            if (!day) {
                problem =
                    "price record " + std::to_string(i) + " holds " + Date(date) + ", not a date";
            } else if (previous && value < previousValue) {
                problem = "price record " + std::to_string(i) + " is dated " + Date(date) +
                          ", before the record before it";
            }
            if (!problem.empty() && ++dateProblems <= kMaxDateProblems) {
                Problem(datPath, i * length, problem);
            }
            if (day) {
                previous = day;
                previousValue = value;
            }
        }
        if (dateProblems > kMaxDateProblems) {
            Problem(datPath, "and " + std::to_string(dateProblems - kMaxDateProblems) +
                                 " more price records with such dates");
            problems_ += dateProblems - kMaxDateProblems - 1;
        }
        if (i > 0) {
            for (auto [offset, stored, data, which] :
                 {std::tuple{msdb::kFirstDateOffset, security.firstDate, firstDate, "first"},
                  std::tuple{msdb::kLastDateOffset, security.lastDate, lastDate, "last"}}) {
                if (stored != data) {
                    Problem(masterPath, at + offset,
                            record + " gives the " + which + " date " + Date(stored) + " but " +
                                msdb::DatFileName(security.fileNumber) + " holds " + Date(data));
                }
            }
        }
    }

    // The EMASTER beside `master`, when there is one, and whether it agrees with it.
    void EMasterOf(const std::string& directory, const msdb::Master& master) {
        const std::string where = directory.empty() ? std::string(".") : directory;
        std::optional<std::string> name;
        if (!msdb::FindEntryNoCase(Fs(), where, msdb::kEMasterFileName, &name).ok() || !name) {
            return;
        }
        const std::string path = msdb::JoinPath(directory, *name);
        msdb::EMaster emaster;
        msdb::Status s = msdb::EMaster::Read(Fs(), path, &emaster);
        if (s.ok()) {
            s = emaster.CheckAgrees(master);
        }
        if (!s.ok()) {
            const std::string& text = s.message();
            const std::size_t start = text.find('\n');
            const std::size_t end = text.find('\n', start + 1);
            Problem(path, start == std::string::npos ? text
                                                     : "does not agree with MASTER: " +
                                                           text.substr(start + 1, end - start - 1));
            return;
        }
        for (const std::string& difference : emaster.Differences(master)) {
            Problem(path, "does not agree with MASTER: " + difference);
        }
    }

    // The XMASTER of `directory`, when there is one, and each F<n>.MWD it lists; returns the
    // number of its securities.
    int XMasterOf(const std::string& directory) {
        msdb::XMaster xmaster;
        msdb::Status s = msdb::ReadXMasterOf(Fs(), directory, &xmaster);
        if (s.IsNotFound()) {
            return 0;
        }
        if (s.ok()) {
            s = xmaster.Check();
        }
        if (!s.ok()) {
            Problem(xmaster.path().empty() ? msdb::JoinPath(directory, "XMASTER") : xmaster.path(),
                    s.message());
            return 0;
        }
        const std::vector<msdb::XMasterEntry> entries = xmaster.Entries();
        for (const msdb::XMasterEntry& entry : entries) {
            const std::string record = "record " + std::to_string(entry.recordNumber) + " (" +
                                       msdb::DecodeText(entry.symbol, codePage_) + ") of " +
                                       xmaster.path();
            const std::string path = msdb::JoinPath(directory, msdb::MwdFileName(entry.fileNumber));
            const std::size_t length =
                msdb::kFieldSize * static_cast<std::size_t>(entry.fieldCount);
            msdb::PriceFileReader mwd;
            if (length == 0 || !mwd.Open(Fs(), path, length).ok()) {
                Problem(path, "missing or unreadable; " + record + " lists it");
                continue;
            }
            const std::uint64_t size = mwd.FileSize();
            if (mwd.TooLarge()) {
                Problem(path, "the file is " + std::to_string(size) +
                                  " bytes long, more than a price file can hold");
            } else if (size < length || size % length != 0) {
                Problem(path, "the file is " + std::to_string(size) + " bytes long, not whole " +
                                  std::to_string(length) + "-byte records as " + record + " gives");
            } else if (mwd.LastRecordNumber() != size / length) {
                Problem(path, 2,
                        "the header counts " +
                            std::to_string(static_cast<int>(mwd.LastRecordNumber()) - 1) +
                            " price records but the file holds " +
                            std::to_string(size / length - 1));
            }
        }
        return static_cast<int>(entries.size());
    }

    // A journal that a run stopped while it changed `directory` left: what the next run does
    // with it. Adds the temporaries it lists to `listed`.
    void JournalOf(const std::string& directory, const std::vector<std::string>& names,
                   std::set<std::string>* listed) {
        const std::string where = directory.empty() ? std::string(".") : directory;
        msdb::Journal journal;
        msdb::Status s = msdb::ReadJournal(Fs(), where, &journal);
        if (s.IsNotFound()) {
            return;
        }
        const std::string path = msdb::JoinPath(directory, journal.fileName);
        if (!s.ok()) {
            Problem(where, s.message() +
                               " Every run that writes to the directory is refused "
                               "until it is moved out of it.");
            return;
        }
        auto present = [&](const std::string& name) {
            return std::find(names.begin(), names.end(), name) != names.end();
        };
        const std::string next =
            "the next run into " + where + ", or 'korvex-cli recover " + where + "', ";
        std::vector<std::string> files;
        if (journal.state == msdb::Journal::State::kLegacy) {
            for (const std::string& name : journal.setAside) {
                if (present(name + ".korvex-old")) {
                    files.push_back(name + ".korvex-old");
                    listed->insert(files.back());
                }
            }
            Problem(path, "a run of an earlier Korvex was stopped while it replaced files; " +
                              next + "finishes or undoes it" + Files(files));
            return;
        }
        const bool committed = journal.state == msdb::Journal::State::kCommitted;
        for (const msdb::JournalEntry& entry : journal.entries) {
            if (entry.kind == msdb::JournalEntry::Kind::kWrite) {
                listed->insert(entry.temporary);
                if (present(entry.temporary)) {
                    files.push_back(committed ? entry.temporary + " becomes " + entry.name
                                              : entry.temporary);
                }
            } else if (entry.kind == msdb::JournalEntry::Kind::kRemove) {
                if (committed && present(entry.name)) {
                    files.push_back(entry.name + " is removed");
                }
            } else if (entry.kind == msdb::JournalEntry::Kind::kAppend) {
                if (!committed && present(entry.name)) {
                    files.push_back(entry.name + " is cut back to " + std::to_string(entry.length) +
                                    " bytes");
                }
            } else if (!committed) {
                for (const std::string& name : names) {
                    if (msdb::IsStagedTemporary(name, entry) && listed->insert(name).second) {
                        files.push_back(name);
                    }
                }
            }
        }
        if (committed) {
            Problem(path, "a run was stopped after its commit, before all of it was in place; " +
                              next + "finishes it" + Files(files));
        } else {
            files.push_back(journal.fileName);
            Note(path,
                 "a run was stopped before its commit; the directory's files are as they "
                 "were, and " +
                     next + "undoes it by removing" + Files(files));
        }
    }

    // ": A, B, C", or "" for none; past ten, the first ten and how many more.
    static std::string Files(const std::vector<std::string>& files) {
        constexpr std::size_t kShown = 10;
        std::string text;
        for (std::size_t i = 0; i < files.size() && i < kShown; ++i) {
            text += (text.empty() ? ": " : ", ") + files[i];
        }
        if (files.size() > kShown) {
            text += " and " + std::to_string(files.size() - kShown) + " more";
        }
        return text;
    }

    // A journal, temporaries, and security files that no record of `master` (when given) lists.
    void Leftovers(const std::string& directory, const msdb::Master* master) {
        std::vector<std::string> names;
        if (msdb::Status s = Fs().ListDirectory(directory.empty() ? "." : directory, &names);
            !s.ok()) {
            Problem(directory.empty() ? "." : directory, s.message());
            return;
        }
        std::set<std::string> inJournal;
        JournalOf(directory, names, &inJournal);
        std::array<bool, 256> listed{};
        for (std::size_t i = 1; master != nullptr && i <= master->RecordsPresent(); ++i) {
            if (!msdb::IsSubdirectoryEntry(master->Record(i))) {
                listed[master->Record(i)[msdb::kFileNumberOffset]] = true;
            }
        }
        static const std::regex temporary(R"((master\.(~nu|new))|(f\d+\.new))", std::regex::icase);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            if (inJournal.count(name) != 0) {
                continue;
            }
            if (std::regex_match(name, temporary)) {
                Note(msdb::JoinPath(directory, name),
                     "a temporary left behind by an interrupted conversion");
            } else if (name.find(msdb::kTemporarySuffix) != std::string::npos ||
                       name.ends_with(".korvex-old")) {
                Note(msdb::JoinPath(directory, name),
                     "no journal lists it, so Korvex leaves it alone (an earlier Korvex may have "
                     "left it)");
            } else if (std::optional<int> number = msdb::SecurityFileNumber(name);
                       number && !listed[static_cast<std::size_t>(*number)]) {
                Note(msdb::JoinPath(directory, name),
                     (master != nullptr ? "no record of MASTER lists file number "
                                        : "there is no MASTER to list file number ") +
                         std::to_string(*number) + " (an interrupted conversion may have left it)");
            }
        }
    }

    int problems() const { return problems_; }
    int notes() const { return notes_; }

    // The tree's walk: each MASTER judged, then each security it lists.
    class Walk final : public msdb::MasterTreeVisitor {
    public:
        Walk(Checker& checker, const std::string& top) : checker_(checker), top_(top) {}

        void OnMaster(const std::string& where, const msdb::Status& status,
                      const msdb::Master& master) override {
            if (where == top_) {
                topRead = status.ok();
                topProblem = status.message();
            }
            if (!status.ok()) {
                if (where != top_) {
                    checker_.Problem(msdb::JoinPath(where, "MASTER"), status.message());
                }
                return;
            }
            masterPath_ = master.path();
            checker_.Master(master);
            checker_.EMasterOf(where, master);
            securities += checker_.XMasterOf(where);
            checker_.Leftovers(where, &master);
        }

        bool OnSecurity(const std::string& directory, std::size_t recordNumber,
                        msdb::RecordBytes record) override {
            ++securities;
            checker_.Security(msdb::DescribeSecurity(directory, recordNumber, record), masterPath_);
            return false;
        }

        bool topRead = false;
        std::string topProblem;
        int securities = 0;

    private:
        Checker& checker_;
        const std::string& top_;
        std::string masterPath_;
    };

private:
    std::ostream& out_;
    int problems_ = 0;
    int notes_ = 0;
    bool verbose_;
    int codePage_;
};

class CheckCommand final : public Command {
public:
    void Define(CLI::App& program) override {
        CLI::App* app = Add(
            program, "check", "check that a directory is sound",
            "Reads every MASTER, F<n>.DAT and F<n>.DOP of DIR and of the sub-directories its "
            "MASTER\n"
            "lists, and reports each problem (something a program reading DIR gets wrong) on a "
            "line\n"
            "of its own with the file and the offset: counts that disagree with the records "
            "present,\n"
            "duplicate file numbers, missing price files, price files of the wrong size, field "
            "lists\n"
            "that disagree with MASTER, dates that are not valid or out of order, MASTER dates\n"
            "that differ from the data, and a run that was stopped after its commit (the next run\n"
            "into DIR, or 'korvex-cli recover DIR', finishes it; the files involved are named).\n"
            "Notes, marked \"note:\", tell what does no harm: a run stopped before its commit "
            "(its\n"
            "temporaries, which the next run removes), other temporaries, and security files that\n"
            "MASTER does not list. While another run changes DIR, check waits for it to finish.\n",
            "Exit status: 0 no problems, 1 problems found, 2 DIR cannot be read or bad command "
            "line.\n");
        SetTooMany("give one directory");
        Needed(app->add_option("DIR", directory_, "the directory")->type_name("DIR"),
               "give one directory");
        app->add_flag("--verbose", verbose_,
                      "also note a missing F<n>.DOP (many programs never write one; the fields "
                      "then follow from the field count)");
        codePage_ = AddCodePageOption(app, &codePageText_);
    }

    int Run(std::ostream& out, std::ostream& err) override;

private:
    std::string directory_;
    bool verbose_ = false;
    std::string codePageText_;
    CLI::Option* codePage_ = nullptr;
};

int CheckCommand::Run(std::ostream& out, std::ostream& err) {
    const std::string& directory = directory_;
    // A run that changes the directory holds its lock; waiting for it keeps its commit, which
    // moves several files one after another, from being read half done.
    std::unique_ptr<msdb::DirectoryLock> lock;
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    while (Fs().LockDirectory(directory, &lock, msdb::LockMode::kShared).IsBusy()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            err << "korvex: Another run is changing " << directory
                << "; check it again when that run has finished.\n";
            return kBadCommandLine;
        }
        std::this_thread::sleep_for(kLockRetry);
    }
    Checker checker(out, verbose_, CodePageOption(codePage_, codePageText_));
    Checker::Walk walk(checker, directory);
    msdb::WalkMasterTree(Fs(), directory, walk);
    if (!walk.topRead) {
        // What a stopped run left is named all the same.
        if (Fs().IsDirectory(directory)) {
            checker.Leftovers(directory, nullptr);
        }
        err << "korvex: " << walk.topProblem << '\n';
        return kBadCommandLine;
    }
    const int securities = walk.securities;
    if (checker.problems() == 0) {
        out << directory << ": sound; " << securities
            << (securities == 1 ? " security checked" : " securities checked");
        if (checker.notes() > 0) {
            out << ", " << checker.notes() << (checker.notes() == 1 ? " note" : " notes");
        }
        out << '\n';
        return 0;
    }
    out << checker.problems() << (checker.problems() == 1 ? " problem" : " problems")
        << " found in " << directory << '\n';
    return 1;
}

}  // namespace

std::unique_ptr<Command> MakeCheckCommand() {
    return std::make_unique<CheckCommand>();
}

}  // namespace cli
