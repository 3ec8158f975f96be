// One run over a whole database: any number of price files, each holding one security or, with a
// symbol column, any number of them, added to, updated in or replaced in one directory in one
// transaction.
//
// The run reads the files one after another (the next on a second thread while it writes out the
// last). Each symbol's lines are read by the rules a single
// file follows (the order of the dates, newest first included, the problems, the record limit),
// and become the records of a security that the run adds, updates (ConversionSettings::update:
// the days after its last stored day are appended), or replaces (replaceExisting). Nothing
// reaches the directory until every file has been read and every security decided; then the run
// commits all of it at once, or nothing. The memory it takes grows with the largest file, not
// with the number of securities: what a file gives is written out before the next is read.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/ConversionJob.h"
#include "engine/ConversionSettings.h"
#include "engine/InputScan.h"
#include "engine/Services.h"
#include "engine/TargetDirectory.h"
#include "msdb/IndexSet.h"

namespace engine {

// One price file of a run. A file without a symbol column holds one security: `symbol`, and
// `name` when given.
struct InputFile {
    std::string path;
    std::string symbol;
    std::string name;
};

// What the run did, or would do, to one security.
// A run may report on tens of thousands: it keeps its price file's number, not its name.
struct SecurityOutcome {
    enum class Action : std::uint8_t { kAdded, kUpdated, kReplaced, kUnchanged };
    std::string symbol;         // as the input gives it
    std::int32_t records = 0;   // written (added, replaced) or appended (updated)
    std::int32_t daysHeld = 0;  // records of days it held already, equal, passed over
    std::int32_t total = 0;     // the records it holds after the run
    msdb::MbfBytes firstDate{};
    msdb::MbfBytes lastDate{};
    int fileNumber = 0;
    Action action = Action::kAdded;
    bool inXMaster = false;  // its prices are in F<n>.MWD
    bool reversed = false;   // a file listed its newest day first

    // Its price file: F<n>.DAT, or F<n>.MWD for a security of XMASTER.
    std::string FileName() const;
};

// What a run did, security by security in the order the files gave them.
struct RunReport {
    std::string directory;
    std::deque<SecurityOutcome> securities;  // a run may have tens of thousands
    std::string accepted;                    // what accepting the problems did, or empty
    std::int64_t otherSeries = 0;            // lines passed over for their series

    std::int64_t Count(SecurityOutcome::Action action) const;
    // "Added 3 securities (750 price records), updated 2 (2 price records appended, 1 day
    // already held), replaced 0, unchanged 1, in DIR." With `verbose`, a line per security after
    // it. `dryRun` words it as what would be done.
    std::string Text(bool verbose, bool dryRun = false) const;
};

class DatabaseRun {
public:
    // `names` gives, by symbol (as NormalizeSymbol writes it), the name of a security that its
    // file does not name.
    DatabaseRun(ConversionSettings settings, std::vector<InputFile> inputs,
                std::map<std::string, std::string> names = {}, const JobServices& services = {});
    ~DatabaseRun();

    DatabaseRun(const DatabaseRun&) = delete;
    DatabaseRun& operator=(const DatabaseRun&) = delete;

    // The whole run: 0 when it committed (or a dry run would), 1 when not; the notifier has been
    // told why.
    int Run();

    const RunReport& Report() const { return report_; }
    RunResult Result() const;
    bool Changed() const { return changed_; }
    bool WouldSucceed() const { return wouldSucceed_; }
    bool Cancelled() const { return cancelled_; }
    const std::optional<ConversionJob::Refusal>& Refused() const { return refused_; }
    DirectoryEffect Effect() const;

    // A file with a symbol column of at least this many bytes is read twice: first for the last
    // line of each symbol, then for its records, each symbol's going out as soon as its last
    // line and those of the symbols before it are read. A file grouped by symbol is then never
    // held in memory whole, whatever the number of its securities.
    static constexpr std::uint64_t kStreamedFileSize = 64 << 10;
    void SetStreamedFileSize(std::uint64_t bytes) { streamedFileSize_ = bytes; }
    // While such a file is read, the records of its symbols whose last lines are still to come
    // are held in memory up to about this many bytes, and written out to a temporary file
    // beyond: a file whose symbols' lines interleave (daily files joined one after another)
    // is not held in memory whole either.
    static constexpr std::uint64_t kHeldBytes = 4 << 20;
    void SetHeldBytes(std::uint64_t bytes) { heldBytes_ = bytes; }

private:
    struct Security;
    struct Group;
    struct FileRead;
    struct Streaming;
    class ReadAhead;
    class Index;

    int RunSteps();
    int CheckSettings();
    int PrepareDirectory();
    int ReadFiles();
    void ReadFile(const InputFile& input, FileRead* read,
                  const std::function<bool(std::uint64_t)>& goOn,
                  const Streaming* streaming = nullptr) const;
    // What a first reading of a file with a symbol column finds: the last line of each symbol,
    // in order, and how many of its symbols are new to the run and the directory.
    struct LastLinesFound {
        std::vector<LineNumber> lines;
        std::size_t newSymbols = 0;
    };
    std::optional<LastLinesFound> LastLines(const InputFile& input,
                                            const std::function<bool(std::uint64_t)>& goOn) const;
    // `counted`: the bytes of the file whose reading the progress counted already.
    int TakeFile(const InputFile& input, FileRead& read, std::uint64_t counted);
    int TakeGroup(const InputFile& input, Group& group, InputProblems* problems);
    int SecurityFor(const std::string& symbol, const Group& group, const InputFile& input,
                    std::optional<std::size_t>* at);
    int MakeSecurity(Security& security, const Group& group, const InputFile& input, bool* held);
    const std::string& SymbolOf(const Security& security) const;
    bool Claim(bool xmaster, std::size_t record);
    bool IsNew(const std::string& symbol) const;
    // `stored` and `name`: its symbol and name in MASTER's code page.
    int AddNew(Security& security, const std::string& stored, const std::string& name);
    int Replace(Security& security, const std::string& stored, std::string name);
    int OpenStored(Security& security);
    msdb::Status ReadStoredHeader(const std::string& path, Security& security);
    int LoadStored(Security& security);
    int Append(Security& security, const std::string& records, const std::vector<LineNumber>& lines,
               InputProblems* problems);
    int Stage(Security& security, std::string bytes);
    msdb::Status StageXMaster(const std::string& name);
    int WriteDirectoryFiles();
    int Commit();
    int Decide(const std::vector<std::pair<std::string, InputProblems>>& problems);
    std::string PathInDirectory(const std::string& name) const;
    std::string PriceFileName(const Security& security) const;
    bool Stopped();
    // The progress of the run, in thousandths: reading the files and writing out their
    // securities up to kTakenPermille, by the files' bytes; the commit the rest, by the files
    // it puts in place.
    static constexpr int kTakenPermille = 800;
    void ReportProgress(int permille);
    void ReportBytes(std::uint64_t bytes);
    void Tell(const std::string& text);
    void Refuse(SettingsField field, const std::string& text);

    ConversionSettings settings_;
    std::vector<InputFile> inputs_;
    std::map<std::string, std::string> names_;
    msdb::FileSystem* fs_;
    Notifier* notifier_;
    Clock* clock_;
    std::chrono::milliseconds lockWait_;
    const std::atomic<bool>* cancel_;
    std::function<void(int)> progress_;
    std::function<void()> committing_;

    std::string directory_;
    TargetDirectory target_;
    std::string masterPath_;
    msdb::Master master_;
    std::optional<std::string> masterBefore_;
    std::optional<msdb::EMaster> emaster_;
    std::optional<std::string> emasterBefore_;
    // XMASTER as the run changes it. A directory may list tens of thousands of securities: the
    // records are not held, but copied from the file at the commit, and so is its backup. The
    // file as it was read is told by its size and a hash of its bytes.
    std::optional<msdb::XMasterChanges> xmaster_;
    std::optional<std::pair<std::size_t, std::uint64_t>> xmasterBefore_;
    std::unique_ptr<Index> index_;
    std::array<bool, 256> numbersOnDisk_{};
    std::size_t filesToKeepOpen_ = 0;
    std::size_t filesKeptOpen_ = 0;
    // The file numbers of XMASTER (up to 65535) in use, by a file on disk, and once the run adds
    // to XMASTER, by a record.
    std::vector<bool> xmasterUsed_;
    int nextXMasterNumber_ = msdb::kFirstXMasterFileNumber;
    // The symbols of the file being taken that no security holds yet, when there are at least
    // kReservedAtOnce: XMASTER makes room for them all when it takes the first.
    static constexpr std::size_t kReservedAtOnce = 64;
    std::size_t newLeft_ = 0;
    msdb::MbfBytes today_{};

    RunReport report_;
    std::deque<Security> securities_;
    // The indexes of securities_, found by symbol (as NormalizeSymbol writes it) in the report's
    // line at the same place: a run may hold tens of thousands of securities, and the set keeps
    // no copy of their symbols.
    struct BySymbol {
        using is_transparent = void;
        const std::deque<SecurityOutcome>* securities;
        std::string_view operator[](std::size_t i) const;
        std::size_t operator()(std::string_view symbol) const {
            return std::hash<std::string_view>{}(symbol);
        }
        std::size_t operator()(std::size_t i) const { return (*this)((*this)[i]); }
        bool operator()(std::size_t a, std::size_t b) const { return a == b; }
        bool operator()(std::string_view a, std::size_t b) const { return a == (*this)[b]; }
        bool operator()(std::size_t a, std::string_view b) const { return (*this)[a] == b; }
    };
    msdb::IndexSet<BySymbol> bySymbol_{BySymbol{&report_.securities}};
    std::vector<std::pair<std::string, InputProblems>> problems_;  // per file, those with any
    // The records of MASTER (the first 256) and of XMASTER (after them) that a symbol of the
    // run found.
    std::vector<bool> claimed_;
    std::vector<std::string> duplicates_;  // held already, neither updated nor replaced
    ScanResult acceptance_;           // what accepting the problems does, summed over the files
    std::int64_t updateLeftOut_ = 0;  // records of held days that differ, left out
    bool nothingToCommit_ = false;    // every security unchanged
    std::vector<std::uint64_t> inputSizes_;  // as the run started
    std::uint64_t totalBytes_ = 0;
    std::uint64_t bytesDone_ = 0;
    int lastPermille_ = -1;
    std::uint64_t streamedFileSize_ = kStreamedFileSize;
    std::uint64_t heldBytes_ = kHeldBytes;

    std::string lastMessage_;
    std::optional<ConversionJob::Refusal> refused_;
    bool changed_ = false;
    bool succeeded_ = false;
    bool wouldSucceed_ = false;
    bool cancelled_ = false;
};

}  // namespace engine
