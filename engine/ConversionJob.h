// One conversion of a text price file into a new security of a MetaStock-format directory.
//
// The caller builds the ConversionSettings, hands them to a job, calls Run once and destroys the
// job. Run carries out a fixed sequence of steps; a step that finds a problem tells the user
// through the Notifier and the run stops with 1. Every step returns 0 to go on and 1 to stop. The
// job never changes the process's current directory: it works with the directory's absolute path.
//
// A run is one transaction: the steps decide what the directory will hold, and nothing reaches its
// files until the last step has succeeded and commits (msdb::Transaction). A run that stops before
// the commit, for whatever reason, leaves the directory's files as they were; one stopped after it
// is finished by the next run.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/ConversionSettings.h"
#include "engine/InputParser.h"
#include "engine/Services.h"
#include "engine/TargetDirectory.h"
#include "msdb/EMaster.h"
#include "msdb/Encoding.h"
#include "msdb/FileSystem.h"
#include "msdb/Master.h"
#include "msdb/Transaction.h"
#include "msdb/XMaster.h"

namespace engine {

class PriceFileWriter;
struct RunResult;

// What the job talks to. Any member left null is replaced by the default: the machine's file
// system, a notifier writing "korvex: <message>" to standard error and the system clock. The job
// stores no settings: remembering them is the caller's business.
struct JobServices {
    msdb::FileSystem* fileSystem = nullptr;
    Notifier* notifier = nullptr;
    Clock* clock = nullptr;
    // How long PrepareMaster waits for another conversion into the same directory to finish.
    std::chrono::milliseconds lockWait{5000};
    // Set, from any thread, to stop the run before its commit: a stopped run changes nothing
    // and tells nothing. Null: the run cannot be stopped.
    const std::atomic<bool>* cancel = nullptr;
    // Told how much of the input file the run has read, in thousandths, as it grows.
    std::function<void(int permille)> progress;
    // Told once, on the run's thread, when the run is past the last moment at which `cancel`
    // stops it: its commit begins, and it ends with the run done or undone, never stopped.
    std::function<void()> committing;
};

class ConversionJob {
public:
    explicit ConversionJob(ConversionSettings settings, const JobServices& services = {});
    ~ConversionJob();

    ConversionJob(const ConversionJob&) = delete;
    ConversionJob& operator=(const ConversionJob&) = delete;

    // The whole conversion: checks the input file and the date format, then PrepareMaster,
    // CheckColumns, CheckDuplicateSymbol, AddSecurity, backs an existing MASTER up to MASTER.BAK,
    // and ConvertData, whose result it returns.
    int Run();

    // Counts the enabled price fields; fewer than two is refused.
    int CheckColumns();

    // Resolves the target directory to its absolute path, locks it against other conversions for
    // the rest of the run, removes what a killed run left, and reads its MASTER, or starts a new,
    // empty one when there is none and one was asked for.
    int PrepareMaster();

    // Refuses a symbol that the MASTER tree already holds as a symbol or a name, unless it is the
    // one security of the directory's own MASTER that it matches and that is to be replaced (the
    // settings say so, or the user answers Yes). Succeeds at once when a new MASTER is made.
    int CheckDuplicateSymbol();

    // Enters the security in the new MASTER under the lowest free file number (one that no record
    // uses and no F<n>.DAT, F<n>.DOP or F<n>.MWD on disk has), dated today, and starts its
    // F<n>.DAT (a header record counting no price records) and F<n>.DOP. When MASTER has no room
    // left, enters it in XMASTER instead (ConversionSettings::xmaster), under the lowest free
    // number from 256, its prices in F<n>.MWD; refused when the settings do not ask for that and
    // the directory has no XMASTER.
    int AddSecurity();

    // Starts F<n>.DAT (a header record counting no price records) and F<n>.DOP, which reach the
    // directory at the commit.
    int CreateSecurityFiles(int fileNumber);

    // Reads the input file line by line, appends one price record per line that holds a field,
    // writes the first and last dates into MASTER and the record count into the F<n>.DAT header,
    // and then commits: the new files and MASTER reach the directory, and MASTER.BAK keeps the
    // MASTER as it was before the run.
    int ConvertData();

    // Checks that the run made the F<n>.DAT (or F<n>.MWD) of `fileNumber`, into which the
    // records go.
    int PriceFileOf(int fileNumber);

    // Writes the dates into bytes 25 to 32 of the MASTER record of `fileNumber` (into its
    // XMASTER record, for a security of XMASTER).
    int UpdateMasterDates(const msdb::MbfBytes& firstDate, const msdb::MbfBytes& lastDate,
                          int fileNumber);

    // Sets lastRecordNumber of F<n>.DAT (or F<n>.MWD) to `recordCount` + 1.
    int UpdateRecordCount(std::uint16_t recordCount, int fileNumber);

    const ConversionSettings& settings() const { return settings_; }

    // The target directory: as given until PrepareMaster, its absolute path after.
    const std::string& directory() const { return directory_; }
    // The MASTER of the target directory, once PrepareMaster has found or made it.
    const std::string& masterPath() const { return masterPath_; }

    // True once the run has made its change to the directory (committed); a run that stopped
    // before its commit has not.
    bool Changed() const { return changed_; }

    // What the run did to its directory: a stopped run's recovery, its commit, whether all is in
    // place, and what a failed run left.
    DirectoryEffect Effect() const {
        DirectoryEffect effect = target_.Effect();
        effect.directory = directory_;  // as given, when the run stopped before it was found
        return effect;
    }

    // The setting that a refused run names, when the run was refused for one: the directory that
    // cannot be used, the master choice that does not fit it, the symbol it holds already, the
    // field whose values are problems. Nothing for a failure of the file system.
    struct Refusal {
        SettingsField field;
        PriceField priceField = PriceField::kDate;  // for kColumn
        std::string message;                        // why, as the user was told or would be
    };
    const std::optional<Refusal>& Refused() const { return refused_; }

    // What the run came to, in one value, once Run has returned.
    RunResult Result() const;

    // True when the run was stopped through JobServices::cancel before its commit.
    bool Cancelled() const { return cancelled_; }

    // True when a dry run found that the conversion would succeed.
    bool WouldSucceed() const { return wouldSucceed_; }
    // True when the file listed the newest day first and the records were written oldest first.
    bool Reversed() const { return reversed_; }
    // What accepting the file's problems did: "3 lines were left out; 1 volume was stored as 0",
    // or empty.
    const std::string& Accepted() const { return accepted_; }

    // True when the run replaced a security of the same symbol, and how many records that one
    // held, when its price file said.
    bool Replaced() const { return replaced_; }
    std::optional<int> ReplacedRecords() const { return replacedRecords_; }

    // What the run wrote, for the caller's report.
    int FileNumber() const { return fileNumber_; }
    // True when the security is XMASTER's: its prices are in F<n>.MWD, not F<n>.DAT.
    bool InXMaster() const { return inXMaster_; }
    int RecordCount() const { return recordCount_; }
    const msdb::MbfBytes& FirstDate() const { return firstDate_; }
    const msdb::MbfBytes& LastDate() const { return lastDate_; }

private:
    void Tell(const std::string& text);
    // Tells `text` and notes the setting it is about; `tell` false notes it only (the user has
    // just answered a question that says as much).
    void Refuse(SettingsField field, const std::string& text,
                PriceField priceField = PriceField::kDate, bool tell = true);
    std::string PathInDirectory(const std::string& name) const;
    int RunSteps();
    int CheckSettings();
    int Commit(int fileNumber, int recordCount);
    int ReadEMaster();
    int ReadXMaster();
    int AddToXMaster(const msdb::MbfBytes& date, std::vector<bool> onDisk);
    int ReplaceInXMaster(const msdb::MbfBytes& date);
    std::string PriceFileName(int fileNumber) const;
    std::string NotTextMessage(const std::string& why) const;
    void RefuseForProblems(const InputProblems& problems, const std::string& message);
    void StageFile(const std::string& name, std::string data);

    ConversionSettings settings_;
    msdb::FileSystem* fs_;
    Notifier* notifier_;
    Clock* clock_;
    std::chrono::milliseconds lockWait_;
    const std::atomic<bool>* cancel_;
    std::function<void(int)> progress_;
    std::function<void()> committing_;

    std::string directory_;
    std::string masterPath_;  // set by PrepareMaster
    // The symbol and the name in MASTER's code page, set by the checks of the settings.
    std::string symbol_;
    std::string name_;
    int fieldCount_ = 0;  // set by CheckColumns

    TargetDirectory target_;                   // locked from PrepareMaster to the end of Run
    msdb::Master master_;                      // MASTER as the run will leave it
    std::optional<std::string> masterBefore_;  // as it was, when there was one
    std::optional<msdb::EMaster> emaster_;     // kept in step with MASTER, when there is one
    std::optional<std::string> emasterBefore_;
    std::optional<msdb::XMaster> xmaster_;  // when the directory has one, or the run makes it
    // The size and hash of XMASTER as the run read it, when there was one: a directory of 65,000
    // securities has one of 9.7 MB, which its backup copies from the file.
    std::optional<std::pair<std::size_t, std::uint64_t>> xmasterBefore_;
    int addedFileNumber_ = 0;                  // chosen by AddSecurity
    bool inXMaster_ = false;                   // the security is XMASTER's
    std::size_t replaceRecord_ = 0;            // the record replaced (from 1), or 0
    std::size_t replaceXMasterRecord_ = 0;     // the XMASTER record replaced (from 1), or 0
    std::unique_ptr<PriceFileWriter> writer_;  // F<n>.DAT as the run will leave it

    bool changed_ = false;
    bool succeeded_ = false;
    bool cancelled_ = false;
    std::string lastMessage_;
    std::optional<Refusal> refused_;
    bool wouldSucceed_ = false;
    bool reversed_ = false;
    std::string accepted_;
    bool replaced_ = false;
    std::optional<int> replacedRecords_;
    int fileNumber_ = 0;  // set at the commit
    int recordCount_ = 0;
    msdb::MbfBytes firstDate_{};
    msdb::MbfBytes lastDate_{};
};

// What a run came to: it committed (with the summary of what it wrote), it was stopped before its
// commit, or it was refused for one of its settings (which, and why), or it failed otherwise (the
// last message it gave says why).
struct RunResult {
    bool succeeded = false;
    bool cancelled = false;
    std::optional<ConversionJob::Refusal> refusal;
    std::string message;  // the reason of a refusal, else the last message the run gave
    std::string summary;  // ConversionSummary, when it succeeded

    // The result of a run that ended as said: a refusal counts when nothing was changed, and
    // `summary` when it succeeded.
    static RunResult Of(bool succeeded, bool cancelled, bool changed,
                        const std::string& lastMessage,
                        const std::optional<ConversionJob::Refusal>& refused,
                        const std::function<std::string()>& summary);
};

// What a successful run (or dry run) wrote, in one sentence or a few: "Converted N price records
// of SYMBOL into DIR/F<n>.DAT (first to last)." and whether the order was reversed and values
// stored as 0. The command-line program prints it, the desktop program shows it.
std::string ConversionSummary(const ConversionJob& job);

}  // namespace engine
