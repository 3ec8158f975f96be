#include "engine/ConversionJob.h"

#include <algorithm>
#include <array>
#include <iostream>
#include <thread>

#include "engine/Messages.h"
#include "engine/PriceFileWriter.h"
#include "msdb/MasterTree.h"
#include "msdb/SecurityFiles.h"

namespace engine {
namespace {

constexpr std::string_view kSettingSection = "Setting";
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
    transaction_.reset();  // undoes whatever a run that did not commit had prepared
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
    // The backup of an existing MASTER is written at the commit, as it was before the run.
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

// Makes directory_ the absolute path of an existing directory; says what is wrong otherwise.
int CConversionJob::CheckDirectory() {
    msdb::FileInfo info;
    msdb::Status s =
        directory_.empty() ? msdb::Status::NotFound("") : fs_->GetInfo(directory_, &info);
    if (s.IsNotFound()) {
        Tell(messages::kPathDoesNotExist);
        return 1;
    }
    if (!s.ok()) {
        Tell("The directory " + directory_ + " cannot be used.\n" + s.message());
        return 1;
    }
    if (info.kind != msdb::FileKind::kDirectory) {
        Tell(directory_ + " is not a directory.");
        return 1;
    }
    std::string absolute;
    if (s = fs_->CanonicalPath(directory_, &absolute); !s.ok()) {
        Tell("The directory " + directory_ + " cannot be used.\n" + s.message());
        return 1;
    }
    directory_ = absolute;
    return 0;
}

int CConversionJob::PrepareMaster() {
    if (CheckDirectory() != 0 || LockDirectory() != 0) {
        return 1;
    }
    transaction_ = std::make_unique<msdb::Transaction>(*fs_, directory_);
    msdb::Status s = transaction_->RemoveLeftovers();
    if (!s.ok()) {
        Tell("What an interrupted conversion left in " + directory_ + " could not be removed.\n" +
             s.message());
        return 1;
    }
    std::optional<std::string> existing;
    s = msdb::LocateMaster(*fs_, directory_, &existing);
    if (!s.ok()) {
        Tell(s.message());
        return 1;
    }
    masterPath_ = existing ? *existing : PathInDirectory(std::string(msdb::kMasterFileName));

    if (settings_.master == MasterChoice::kUseExisting) {
        if (!existing) {
            Tell(messages::kNoMasterFile);
            return 1;
        }
        if (s = msdb::Master::Read(*fs_, masterPath_, &master_); !s.ok()) {
            Tell("The Master file " + masterPath_ + " cannot be read.\n" + s.message());
            return 1;
        }
        masterBefore_ = std::string(master_.bytes());
        return 0;
    }
    // A MASTER that exists but cannot be read is still someone's file: never overwrite it.
    if (existing) {
        Tell(messages::kMasterExists);
        return 1;
    }
    master_ = msdb::Master(masterPath_);
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

int CConversionJob::CheckDuplicateSymbol() {
    if (settings_.master == MasterChoice::kMakeNew) {
        return 0;
    }
    if (msdb::Status s = master_.CheckConsistent(); !s.ok()) {
        Tell(s.message());
        return 1;
    }
    if (msdb::FindSecurity(*fs_, directory_, settings_.symbol)) {
        Tell(messages::kDuplicateSymbol);
        return 1;
    }
    return 0;
}

int CConversionJob::AddSecurity() {
    if (msdb::Status s = master_.CheckConsistent(); !s.ok()) {
        Tell(s.message());
        return 1;
    }
    const msdb::MasterHeader header = master_.header();
    if (header.recordCount == msdb::kMaxSecurities || header.addCount == msdb::kMaxSecurities) {
        Tell(messages::kTooManySecurities);
        return 1;
    }
    if (msdb::Status s = master_.CheckRoomForRecord(); !s.ok()) {
        Tell(s.message());
        return 1;
    }
    // A number whose files are on disk is taken, listed or not: they are someone's.
    std::array<bool, 256> onDisk{};
    std::vector<std::string> names;
    if (msdb::Status s = fs_->ListDirectory(directory_, &names); !s.ok()) {
        Tell(s.message());
        return 1;
    }
    for (const std::string& name : names) {
        if (std::optional<int> number = msdb::SecurityFileNumber(name)) {
            onDisk[static_cast<std::size_t>(*number)] = true;
        }
    }
    std::optional<std::uint8_t> fileNumber = master_.LowestFreeFileNumber(onDisk);
    if (!fileNumber) {
        Tell(messages::kTooManySecurities);
        return 1;
    }
    const CalendarDate today = clock_->Today();
    const msdb::MbfBytes date = msdb::DayNumberToMbfDate(
        msdb::TwoDigitYearToDayNumber(today.year % 100, today.month % 100, today.day % 100));
    if (msdb::Status s = master_.AddRecord(msdb::MakeMasterRecord(
            *fileNumber, fieldCount_, settings_.name, settings_.symbol, date, date));
        !s.ok()) {
        Tell(s.message());
        return 1;
    }
    addedFileNumber_ = *fileNumber;
    return CreateSecurityFiles(*fileNumber);
}

int CConversionJob::CreateSecurityFiles(int fileNumber) {
    writer_ = std::make_unique<PriceFileWriter>(settings_.FieldsOn());
    transaction_->CreateFile(msdb::DopFileName(fileNumber),
                             msdb::MakeDopText(settings_.FieldsOn()));
    return 0;
}

}  // namespace engine
