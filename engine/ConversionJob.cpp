#include "engine/ConversionJob.h"

#include <algorithm>
#include <iostream>
#include <thread>

#include "engine/Messages.h"
#include "engine/PriceFileWriter.h"
#include "msdb/MasterTree.h"
#include "msdb/SecurityFiles.h"

namespace engine {
namespace {

constexpr std::string_view kSettingSection = "Setting";
constexpr std::string_view kMasterNewSuffix = ".~NU";
constexpr std::string_view kBackupSuffix = ".BAK";
constexpr std::chrono::milliseconds kLockRetry{50};

class StderrNotifier final : public Notifier {
public:
    void ShowMessage(const std::string& text) override { std::cerr << "korvex: " << text << '\n'; }
};

JobServices WithDefaults(JobServices services) {
    static StderrNotifier notifier;
    static NullSettingsStore store;
    if (services.fileSystem == nullptr) {
        services.fileSystem = &msdb::FileSystem::Default();
    }
    if (services.notifier == nullptr) {
        services.notifier = &notifier;
    }
    if (services.store == nullptr) {
        services.store = &store;
    }
    if (services.clock == nullptr) {
        services.clock = &Clock::System();
    }
    return services;
}

// The first problem of `problems` that concerns `field`, or null.
const SettingsProblem* FirstOf(const std::vector<SettingsProblem>& problems, SettingsField field) {
    auto it = std::find_if(problems.begin(), problems.end(),
                           [field](const SettingsProblem& p) { return p.field == field; });
    return it == problems.end() ? nullptr : &*it;
}

}  // namespace

CConversionJob::CConversionJob(ConversionSettings settings, const JobServices& services)
    : settings_(std::move(settings)) {
    JobServices s = WithDefaults(services);
    fs_ = s.fileSystem;
    notifier_ = s.notifier;
    store_ = s.store;
    clock_ = s.clock;
    lockWait_ = s.lockWait;
    directory_ = settings_.directory;
}

CConversionJob::~CConversionJob() = default;

void CConversionJob::Tell(const std::string& text) {
    notifier_->ShowMessage(text);
}

std::string CConversionJob::PathInDirectory(const std::string& name) const {
    return msdb::JoinPath(directory_, name);
}

int CConversionJob::Run() {
    int result = RunSteps();
    writer_.reset();
    lock_.reset();
    return result;
}

int CConversionJob::RunSteps() {
    if (CheckSettings() != 0) {
        return 1;
    }
    int result = PrepareMaster();
    if (result != 0) {
        return result;
    }
    if ((result = CheckColumns()) != 0) {
        return result;
    }
    if ((result = CheckDuplicateSymbol()) != 0) {
        return result;
    }
    if ((result = AddSecurity()) != 0) {
        return result;
    }
    const std::string section(kSettingSection);
    (void)store_->WriteString(section, "Path", directory_);
    (void)store_->WriteString(section, "Symbol", settings_.symbol);
    (void)store_->WriteString(section, "Name", settings_.name);
    if (settings_.master == MasterChoice::kUseExisting) {
        // The backup is a courtesy: a failed copy neither stops nor fails the run.
        std::string master;
        if (msdb::ReadWholeFile(*fs_, masterPath_, &master).ok()) {
            (void)msdb::WriteNewFile(*fs_, masterPath_ + std::string(kBackupSuffix), master);
        }
    }
    return ConvertData();
}

// Refuses, before anything is touched, settings that the run could not carry out safely.
int CConversionJob::CheckSettings() {
    const std::vector<SettingsProblem> problems = settings_.Validate();
    if (const SettingsProblem* format = FirstOf(problems, SettingsField::kDateFormat)) {
        Tell(format->message);
        return 1;
    }
    for (const SettingsProblem& problem : problems) {
        if (problem.field == SettingsField::kColumn && problem.kind == ProblemKind::kOutOfRange) {
            Tell("The column of the " + std::string(msdb::kPriceFieldLabels[problem.priceField]) +
                 " field must lie between " + std::to_string(problem.minimum) + " and " +
                 std::to_string(problem.maximum) + ".");
            return 1;
        }
    }
    // The symbol and the name are held in 16 characters, as MASTER holds them.
    settings_.symbol.resize(std::min(settings_.symbol.size(), limits::kMaxSymbolLength));
    settings_.name.resize(std::min(settings_.name.size(), limits::kMaxNameLength));
    std::unique_ptr<msdb::ReadableFile> input;
    msdb::Status s = fs_->OpenForRead(settings_.inputPath, &input);
    if (!s.ok()) {
        Tell("The input file cannot be opened.\n" + s.message());
        return 1;
    }
    return 0;
}

int CConversionJob::CheckColumns() {
    fieldCount_ = settings_.FieldCount();
    if (fieldCount_ > 1) {
        return 0;
    }
    Tell(messages::kMoreColumns);
    return 1;
}

int CConversionJob::PrepareMaster() {
    std::string absolute;
    if (directory_.empty() || !fs_->IsDirectory(directory_) ||
        !fs_->CanonicalPath(directory_, &absolute).ok()) {
        Tell(messages::kPathDoesNotExist);
        return 1;
    }
    directory_ = absolute;
    if (LockDirectory() != 0) {
        return 1;
    }
    std::optional<std::string> existing;
    msdb::Status s = msdb::LocateMaster(*fs_, directory_, &existing);
    if (!s.ok()) {
        Tell(s.message());
        return 1;
    }
    masterPath_ = existing ? *existing : PathInDirectory(std::string(msdb::kMasterFileName));

    if (settings_.master == MasterChoice::kUseExisting) {
        std::unique_ptr<msdb::ReadableFile> file;
        if (existing && fs_->OpenForRead(masterPath_, &file).ok()) {
            return 0;
        }
        Tell(messages::kNoMasterFile);
        return 1;
    }
    // A MASTER that exists but cannot be read is still someone's file: never overwrite it.
    if (existing) {
        Tell(messages::kMasterExists);
        return 1;
    }
    s = msdb::Master(masterPath_).Write(*fs_, masterPath_ + std::string(kMasterNewSuffix));
    if (!s.ok()) {
        Tell("The new Master file could not be created.\n" + s.message());
        return 1;
    }
    return 0;
}

// Takes the directory's lock, waiting a while for another conversion to finish with it.
int CConversionJob::LockDirectory() {
    const auto deadline = std::chrono::steady_clock::now() + lockWait_;
    for (;;) {
        msdb::Status s = fs_->LockDirectory(directory_, &lock_);
        if (s.ok()) {
            return 0;
        }
        if (!s.IsBusy()) {
            Tell("The directory could not be locked against other conversions.\n" + s.message());
            return 1;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            Tell("Another conversion is changing the directory " + directory_ +
                 ".\nNothing was changed; try again when it has finished.");
            return 1;
        }
        std::this_thread::sleep_for(kLockRetry);
    }
}

// Reads MASTER and checks its header; shows why when it cannot.
int CConversionJob::ReadMaster(msdb::Master* master) {
    msdb::Status s = msdb::Master::Read(*fs_, masterPath_, master);
    if (s.ok()) {
        s = master->CheckHeader();
    }
    if (!s.ok()) {
        Tell(s.message());
        return 1;
    }
    return 0;
}

int CConversionJob::CheckDuplicateSymbol() {
    if (settings_.master == MasterChoice::kMakeNew) {
        return 0;
    }
    msdb::Master master;
    if (ReadMaster(&master) != 0) {
        return 1;
    }
    if (msdb::FindSecurity(*fs_, directory_, settings_.symbol)) {
        Tell(messages::kDuplicateSymbol);
        return 1;
    }
    return 0;
}

int CConversionJob::AddSecurity() {
    msdb::Master master;
    if (ReadMaster(&master) != 0) {
        return 1;
    }
    const msdb::MasterHeader header = master.header();
    if (header.recordCount == msdb::kMaxSecurities || header.addCount == msdb::kMaxSecurities) {
        Tell(messages::kTooManySecurities);
        return 1;
    }
    if (msdb::Status s = master.CheckRoomForRecord(); !s.ok()) {
        Tell(s.message());
        return 1;
    }
    std::optional<std::uint8_t> fileNumber = master.LowestFreeFileNumber();
    if (!fileNumber) {
        Tell(messages::kTooManySecurities);
        return 1;
    }
    const CalendarDate today = clock_->Today();
    const msdb::MbfBytes date = msdb::DayNumberToMbfDate(
        msdb::TwoDigitYearToDayNumber(today.year % 100, today.month % 100, today.day % 100));
    if (msdb::Status s = master.AddRecord(msdb::MakeMasterRecord(
            *fileNumber, fieldCount_, settings_.name, settings_.symbol, date, date));
        !s.ok()) {
        Tell(s.message());
        return 1;
    }

    // The security's files come first, so that MASTER never lists a security without them.
    if (CreateSecurityFiles(*fileNumber) != 0) {
        return 1;
    }
    const std::string dat = PathInDirectory(msdb::DatFileName(*fileNumber));
    const std::string dop = PathInDirectory(msdb::DopFileName(*fileNumber));
    msdb::Status synced = fs_->SyncDirectory(directory_);
    if (!synced.ok()) {
        (void)fs_->Remove(dat);
        (void)fs_->Remove(dop);
        Tell("The security's files could not be made durable.\n" + synced.message());
        return 1;
    }
    bool renamed = false;
    msdb::Status s = master.Write(*fs_, masterPath_ + std::string(kMasterNewSuffix), &renamed);
    if (renamed) {
        fileNumber_ = *fileNumber;
        firstDate_ = lastDate_ = date;
    } else {
        (void)fs_->Remove(dat);
        (void)fs_->Remove(dop);
    }
    if (!s.ok()) {
        Tell("The security could not be added to the Master file.\n" + s.message());
        return 1;
    }
    return 0;
}

int CConversionJob::CreateSecurityFiles(int fileNumber) {
    const std::string dat = PathInDirectory(msdb::DatFileName(fileNumber));
    const std::string dop = PathInDirectory(msdb::DopFileName(fileNumber));
    msdb::Status s = msdb::WriteNewFile(*fs_, dat, msdb::MakeDatHeader(fieldCount_));
    if (!s.ok()) {
        (void)fs_->Remove(dat);
        Tell("The price file of the security could not be created.\n" + s.message());
        return 1;
    }
    s = msdb::WriteNewFile(*fs_, dop, msdb::MakeDopText(settings_.FieldsOn()));
    if (!s.ok()) {
        (void)fs_->Remove(dop);
        (void)fs_->Remove(dat);
        Tell("The field description file of the security could not be created.\n" + s.message());
        return 1;
    }
    return 0;
}

}  // namespace engine
