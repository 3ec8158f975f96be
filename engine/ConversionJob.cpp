#include "engine/ConversionJob.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <iostream>
#include <tuple>

#include "engine/Messages.h"
#include "engine/PriceFileWriter.h"
#include "engine/TextInput.h"
#include "msdb/ContentHash.h"
#include "msdb/EMaster.h"
#include "msdb/MasterTree.h"
#include "msdb/Reader.h"
#include "msdb/SecurityFiles.h"
#include "msdb/XMaster.h"

namespace engine {
namespace {

// The bytes of a DAT header that hold its last record number.
constexpr std::size_t kDatHeaderWord = 4;

class StderrNotifier final : public Notifier {
public:
    void ShowMessage(const std::string& text) override { std::cerr << "korvex: " << text << '\n'; }
};

JobServices WithDefaults(JobServices services) {
    static StderrNotifier notifier;
    if (services.fileSystem == nullptr) {
        services.fileSystem = &msdb::FileSystem::Default();
    }
    if (services.notifier == nullptr) {
        services.notifier = &notifier;
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

ConversionJob::ConversionJob(ConversionSettings settings, const JobServices& services)
    : settings_(std::move(settings)), target_(*WithDefaults(services).fileSystem) {
    JobServices s = WithDefaults(services);
    fs_ = s.fileSystem;
    notifier_ = s.notifier;
    clock_ = s.clock;
    lockWait_ = s.lockWait;
    cancel_ = s.cancel;
    progress_ = s.progress;
    committing_ = s.committing;
    directory_ = settings_.directory;
}

ConversionJob::~ConversionJob() = default;

void ConversionJob::Tell(const std::string& text) {
    lastMessage_ = text;
    notifier_->ShowMessage(text);
}

void ConversionJob::Refuse(SettingsField field, const std::string& text, PriceField priceField,
                           bool tell) {
    refused_ = Refusal{field, priceField, text};
    if (tell) {
        Tell(text);
    }
}

std::string ConversionJob::PathInDirectory(const std::string& name) const {
    return msdb::JoinPath(directory_, name);
}

int ConversionJob::Run() {
    int result = RunSteps();
    target_.Release();  // undoes whatever a run that did not commit had prepared
    writer_.reset();
    succeeded_ = result == 0;
    return result;
}

RunResult RunResult::Of(bool succeeded, bool cancelled, bool changed,
                        const std::string& lastMessage,
                        const std::optional<ConversionJob::Refusal>& refused,
                        const std::function<std::string()>& summary) {
    RunResult result;
    result.succeeded = succeeded;
    result.cancelled = cancelled;
    result.message = lastMessage;
    if (!succeeded && !changed && refused) {
        result.refusal = refused;
        result.message = refused->message;
    }
    if (succeeded) {
        result.summary = summary();
    }
    return result;
}

RunResult ConversionJob::Result() const {
    return RunResult::Of(succeeded_, cancelled_, changed_, lastMessage_, refused_,
                         [this] { return ConversionSummary(*this); });
}

int ConversionJob::RunSteps() {
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
    // The backup of an existing MASTER is written at the commit, as it was before the run.
    return ConvertData();
}

// Refuses, before anything is touched, settings that the run could not carry out safely.
int ConversionJob::CheckSettings() {
    const std::vector<SettingsProblem> problems = settings_.Validate();
    for (SettingsField field :
         {SettingsField::kDateFormat, SettingsField::kDecimalComma, SettingsField::kPeriod}) {
        if (const SettingsProblem* problem = FirstOf(problems, field)) {
            Refuse(field, problem->message);
            return 1;
        }
    }
    for (const SettingsProblem& problem : problems) {
        if (problem.field == SettingsField::kColumn && problem.kind == ProblemKind::kOutOfRange) {
            Refuse(SettingsField::kColumn,
                   "The column of the " + std::string(msdb::kPriceFieldLabels[problem.priceField]) +
                       " field must lie between " + std::to_string(problem.minimum) + " and " +
                       std::to_string(problem.maximum) + ".",
                   problem.priceField);
            return 1;
        }
    }
    // The symbol and the name as MASTER holds them: in its code page, 16 characters at most.
    for (auto [field, text, stored, maximum] :
         {std::tuple{SettingsField::kSymbol, &settings_.symbol, &symbol_, limits::kMaxSymbolLength},
          std::tuple{SettingsField::kName, &settings_.name, &name_, limits::kMaxNameLength}}) {
        if (std::optional<SettingsProblem> problem =
                CheckCodePage(field, *text, settings_.codePage)) {
            Refuse(field, problem->message);
            return 1;
        }
        (void)msdb::EncodeText(*text, settings_.codePage, stored);
        stored->resize(std::min(stored->size(), maximum));
    }
    std::unique_ptr<msdb::ReadableFile> input;
    msdb::Status s = fs_->OpenForRead(settings_.inputPath, &input);
    if (!s.ok()) {
        Tell("The input file cannot be opened.\n" + s.message());
        return 1;
    }
    std::string start(4, '\0');
    std::size_t got = 0;
    if (s = input->Read(start.size(), start.data(), &got); !s.ok()) {
        Tell("The input file cannot be read.\n" + s.message());
        return 1;
    }
    start.resize(got);
    if (std::string_view kind = ByteOrderMarkOfNonText(start); !kind.empty()) {
        Tell(NotTextMessage("it is " + std::string(kind) + " text (it begins with a " +
                            std::string(kind) + " byte order mark)"));
        return 1;
    }
    return 0;
}

std::string ConversionJob::NotTextMessage(const std::string& why) const {
    return "The input file " + settings_.inputPath + " is not a plain text file: " + why +
           ".\nSave it as plain text (CSV or TXT, in UTF-8 or your system's code page) and "
           "convert that file.";
}

int ConversionJob::CheckColumns() {
    fieldCount_ = settings_.FieldCount();
    if (fieldCount_ > 1) {
        return 0;
    }
    Refuse(SettingsField::kColumn, messages::kMoreColumns);
    return 1;
}

int ConversionJob::PrepareMaster() {
    if (std::optional<std::string> problem = target_.Resolve(settings_.directory)) {
        Refuse(SettingsField::kDirectory, *problem);
        return 1;
    }
    directory_ = target_.path();
    if (std::optional<std::string> problem = target_.Lock(lockWait_, settings_.dryRun)) {
        Tell(*problem);
        return 1;
    }
    if (!target_.recoveryMessage().empty()) {
        Tell(target_.recoveryMessage());
    }
    bool exists = false;
    if (std::optional<std::string> problem = target_.LocateMaster(&exists)) {
        Tell(*problem);
        return 1;
    }
    masterPath_ = target_.masterPath();
    if (settings_.master == MasterChoice::kUseExisting) {
        if (!exists) {
            Refuse(SettingsField::kMaster, messages::kNoMasterFile);
            return 1;
        }
        if (std::optional<std::string> problem = target_.ReadMaster(&master_)) {
            Tell(*problem);
            return 1;
        }
        masterBefore_ = std::string(master_.bytes());
        return ReadEMaster() != 0 ? 1 : ReadXMaster();
    }
    // A MASTER that exists but cannot be read is still someone's file: never overwrite it.
    if (exists) {
        Refuse(SettingsField::kMaster, messages::kMasterExists);
        return 1;
    }
    master_ = msdb::Master(masterPath_);
    if (settings_.makeEMaster) {
        std::optional<std::string> name;
        if (msdb::Status s = msdb::FindEntryNoCase(*fs_, directory_, msdb::kEMasterFileName, &name);
            !s.ok() || name) {
            if (s.ok()) {
                Refuse(SettingsField::kMaster,
                       "New Master chosen but an EMASTER already exists in " + directory_ + ".");
            } else {
                Tell(s.message());
            }
            return 1;
        }
        emaster_ = msdb::EMaster(PathInDirectory(std::string(msdb::kEMasterFileName)));
    }
    return 0;
}

// Reads the directory's EMASTER, when it has one, to keep it in step with MASTER.
int ConversionJob::ReadEMaster() {
    std::optional<std::string> name;
    msdb::Status s = msdb::FindEntryNoCase(*fs_, directory_, msdb::kEMasterFileName, &name);
    if (s.ok() && name) {
        emaster_.emplace();
        s = msdb::EMaster::Read(*fs_, PathInDirectory(*name), &*emaster_);
        if (s.ok()) {
            emasterBefore_ = std::string(emaster_->bytes());
        }
    }
    if (!s.ok()) {
        Tell("The EMASTER file of " + directory_ + " cannot be read.\n" + s.message());
        return 1;
    }
    return 0;
}

// Reads the directory's XMASTER, when it has one: its symbols are the directory's too, and a
// security MASTER has no room for goes there.
int ConversionJob::ReadXMaster() {
    msdb::XMaster xmaster;
    if (msdb::Status s = msdb::ReadXMasterOf(*fs_, directory_, &xmaster); s.IsNotFound()) {
        return 0;
    } else if (!s.ok()) {
        Tell("The XMASTER file of " + directory_ + " cannot be read.\n" + s.message());
        return 1;
    }
    xmasterBefore_.emplace(xmaster.bytes().size(), msdb::HashBytes(xmaster.bytes()));
    xmaster_ = std::move(xmaster);
    return 0;
}

int ConversionJob::CheckDuplicateSymbol() {
    if (settings_.master == MasterChoice::kMakeNew) {
        return 0;
    }
    if (msdb::Status s = master_.CheckConsistent(); !s.ok()) {
        Tell(s.message());
        return 1;
    }
    if (emaster_) {
        if (msdb::Status s = emaster_->CheckAgrees(master_); !s.ok()) {
            Tell(s.message());
            return 1;
        }
    }
    // Every security of the tree that the lookup's comparison matches. A MASTER that is there but
    // cannot be read might hold the symbol: that ends the run rather than risk a duplicate.
    class Matches final : public msdb::MasterTreeVisitor {
    public:
        explicit Matches(const std::string& symbol) : symbol_(symbol) {}
        void OnMaster(const std::string&, const msdb::Status& status,
                      const msdb::Master&) override {
            if (!status.ok() && !status.IsNotFound() && unreadable.empty()) {
                unreadable = status.message();
            }
        }
        bool OnSecurity(const std::string& directory, std::size_t recordNumber,
                        msdb::RecordBytes record) override {
            if (msdb::SecurityMatches(record, symbol_)) {
                all.push_back({{}, msdb::JoinPath(directory, ""), recordNumber});
            }
            return false;
        }
        std::vector<msdb::FoundSecurity> all;
        std::string unreadable;

    private:
        const std::string& symbol_;
    };
    Matches matches(symbol_);
    msdb::WalkMasterTree(*fs_, directory_, matches);
    if (!matches.unreadable.empty()) {
        Tell("The securities of the directory could not all be read to look for " +
             settings_.symbol + ".\n" + matches.unreadable);
        return 1;
    }
    // A directory of more than 255 securities lists the others in its XMASTER.
    std::vector<std::size_t> inXMaster;
    if (xmaster_) {
        for (const msdb::XMasterEntry& entry : xmaster_->Entries()) {
            if (msdb::XMaster::Matches(entry, symbol_)) {
                inXMaster.push_back(entry.recordNumber);
            }
        }
    }
    const std::vector<msdb::FoundSecurity>& all = matches.all;
    const std::size_t found = all.size() + inXMaster.size();
    if (found == 0) {
        return 0;
    }
    // The one security of the directory's own MASTER or XMASTER that the symbol matches can be
    // replaced.
    const bool replaceable =
        found == 1 &&
        (!inXMaster.empty() || all.front().directory == msdb::JoinPath(directory_, ""));
    std::optional<bool> replace;
    if (replaceable) {
        replace =
            settings_.replaceExisting
                ? true
                : notifier_->Ask("The directory already holds a security " + settings_.symbol +
                                 ".\nReplace it with the prices of this file?");
    }
    if (replace.value_or(false)) {
        (inXMaster.empty() ? replaceRecord_ : replaceXMasterRecord_) =
            inXMaster.empty() ? all.front().recordNumber : inXMaster.front();
        return 0;
    }
    if (replace.has_value()) {
        // Answered No: the question said what the refusal would, so no box says it again.
        Refuse(SettingsField::kSymbol,
               std::string(messages::kDuplicateSymbol) + ": " + directory_ + " holds " +
                   settings_.symbol + ", which was not replaced.",
               PriceField::kDate, false);
        return 1;
    }
    if (settings_.replaceExisting && found > 1) {
        Refuse(SettingsField::kSymbol, "The symbol " + settings_.symbol + " matches " +
                                           std::to_string(found) + " securities of " + directory_ +
                                           "; only one can be replaced.");
        return 1;
    }
    if (settings_.replaceExisting) {
        Refuse(SettingsField::kSymbol,
               "The security " + settings_.symbol + " is listed in the sub-directory " +
                   all.front().directory + ", not in " + directory_ +
                   " itself; only a security of the directory's own MASTER can be replaced.");
        return 1;
    }
    Refuse(SettingsField::kSymbol, messages::kDuplicateSymbol);
    return 1;
}

int ConversionJob::AddSecurity() {
    if (msdb::Status s = master_.CheckConsistent(); !s.ok()) {
        Tell(s.message());
        return 1;
    }
    const CalendarDate today = clock_->Today();
    const msdb::MbfBytes date = msdb::DayNumberToMbfDate(
        msdb::TwoDigitYearToDayNumber(today.year % 100, today.month % 100, today.day % 100));
    if (replaceXMasterRecord_ != 0) {
        return ReplaceInXMaster(date);
    }
    if (replaceRecord_ != 0) {
        // The replaced security keeps its file number and its place; its record is written anew.
        const std::uint8_t fileNumber = master_.Record(replaceRecord_)[msdb::kFileNumberOffset];
        replaced_ = true;
        msdb::PriceFileReader before;  // its header counts the records it held
        if (before.Open(*fs_, PathInDirectory(msdb::DatFileName(fileNumber)), kDatHeaderWord)
                .ok() &&
            before.HeaderWhole() && before.LastRecordNumber() > 0) {
            replacedRecords_ = before.LastRecordNumber() - 1;
        }
        master_.ReplaceRecord(replaceRecord_,
                              msdb::MakeMasterRecord(fileNumber, fieldCount_, name_, symbol_, date,
                                                     date, settings_.period));
        if (emaster_) {
            emaster_->ReplaceRecord(replaceRecord_, fileNumber, fieldCount_, symbol_, name_, date,
                                    date, settings_.period);
        }
        addedFileNumber_ = fileNumber;
        return CreateSecurityFiles(fileNumber);
    }
    if (msdb::Status s = master_.CheckRoomForRecord(); !s.ok()) {
        Tell(s.message());
        return 1;
    }
    // A number whose files are on disk is taken, listed or not: they are someone's. The numbers
    // are marked as the directory is listed, which may hold a hundred thousand files.
    std::array<bool, 256> onDisk{};
    std::vector<bool> onDiskPastMaster(msdb::kLastXMasterFileNumber + 1, false);
    if (msdb::Status s =
            fs_->ForEachEntry(directory_,
                              [&](std::string_view name) {
                                  if (std::optional<int> number = msdb::SecurityFileNumber(name)) {
                                      onDisk[static_cast<std::size_t>(*number)] = true;
                                  }
                                  if (std::optional<int> number = msdb::XMasterFileNumber(name)) {
                                      onDiskPastMaster[static_cast<std::size_t>(*number)] = true;
                                  }
                              });
        !s.ok()) {
        Tell(s.message());
        return 1;
    }
    if (master_.header().recordCount == msdb::kMaxSecurities) {
        return AddToXMaster(date, std::move(onDiskPastMaster));
    }
    std::optional<std::uint8_t> fileNumber = master_.LowestFreeFileNumber(onDisk);
    if (!fileNumber) {
        return AddToXMaster(date, std::move(onDiskPastMaster));
    }
    if (msdb::Status s = master_.AddRecord(msdb::MakeMasterRecord(
            *fileNumber, fieldCount_, name_, symbol_, date, date, settings_.period));
        !s.ok()) {
        Tell(s.message());
        return 1;
    }
    if (emaster_) {
        emaster_->AddRecord(master_, *fileNumber, fieldCount_, symbol_, name_, date, date,
                            settings_.period);
    }
    addedFileNumber_ = *fileNumber;
    return CreateSecurityFiles(*fileNumber);
}

// MASTER has no room: the security goes to XMASTER, made when there is none and the settings ask
// for one, under the lowest number from 256 that no record has and `onDisk` does not mark.
int ConversionJob::AddToXMaster(const msdb::MbfBytes& date, std::vector<bool> onDisk) {
    if (!xmaster_ && !settings_.xmaster) {
        Tell(messages::kTooManySecurities);
        Tell(messages::kXMasterNeeded);
        return 1;
    }
    if (xmaster_) {
        if (msdb::Status s = xmaster_->Check(); !s.ok()) {
            Tell(s.message());
            return 1;
        }
    } else {
        xmaster_.emplace(PathInDirectory(std::string(msdb::kXMasterFileName)));
    }
    if (symbol_.size() > msdb::kXMasterSymbolWidth) {
        Refuse(SettingsField::kSymbol,
               "MASTER of " + directory_ + " is full, and XMASTER holds symbols of at most " +
                   std::to_string(msdb::kXMasterSymbolWidth) + " characters: " + settings_.symbol +
                   " has " + std::to_string(symbol_.size()) + ".");
        return 1;
    }
    const std::optional<int> fileNumber = xmaster_->LowestFreeFileNumber(std::move(onDisk));
    if (!fileNumber) {
        Tell("No file number from " + std::to_string(msdb::kFirstXMasterFileNumber) + " to " +
             std::to_string(msdb::kLastXMasterFileNumber) + " is free in " + directory_ + ".");
        return 1;
    }
    if (msdb::Status s = xmaster_->AddRecord(
            msdb::MakeXMasterRecord(*fileNumber, msdb::FieldMask(settings_.FieldsOn()), symbol_,
                                    name_, date, date, settings_.period));
        !s.ok()) {
        Tell(s.message());
        return 1;
    }
    inXMaster_ = true;
    addedFileNumber_ = *fileNumber;
    return CreateSecurityFiles(*fileNumber);
}

// The security of XMASTER that the symbol matched: it keeps its file number and its record,
// written anew.
int ConversionJob::ReplaceInXMaster(const msdb::MbfBytes& date) {
    if (msdb::Status s = xmaster_->Check(); !s.ok()) {
        Tell(s.message());
        return 1;
    }
    const msdb::XMasterEntry entry = xmaster_->Entries().at(replaceXMasterRecord_ - 1);
    if (symbol_.size() > msdb::kXMasterSymbolWidth) {
        Refuse(SettingsField::kSymbol, "XMASTER holds symbols of at most " +
                                           std::to_string(msdb::kXMasterSymbolWidth) +
                                           " characters: " + settings_.symbol + " has " +
                                           std::to_string(symbol_.size()) + ".");
        return 1;
    }
    replaced_ = true;
    msdb::PriceFileReader before;
    if (before.Open(*fs_, PathInDirectory(msdb::MwdFileName(entry.fileNumber)), kDatHeaderWord)
            .ok() &&
        before.HeaderWhole() && before.LastRecordNumber() > 0) {
        replacedRecords_ = before.LastRecordNumber() - 1;
    }
    xmaster_->ReplaceRecord(
        replaceXMasterRecord_,
        msdb::MakeXMasterRecord(entry.fileNumber, msdb::FieldMask(settings_.FieldsOn()), symbol_,
                                name_, date, date, settings_.period));
    inXMaster_ = true;
    addedFileNumber_ = entry.fileNumber;
    return CreateSecurityFiles(entry.fileNumber);
}

std::string ConversionJob::PriceFileName(int fileNumber) const {
    return inXMaster_ ? msdb::MwdFileName(fileNumber) : msdb::DatFileName(fileNumber);
}

int ConversionJob::CreateSecurityFiles(int fileNumber) {
    writer_ = std::make_unique<PriceFileWriter>(settings_.FieldsOn());
    StageFile(msdb::DopFileName(fileNumber), msdb::MakeDopText(settings_.FieldsOn()));
    return 0;
}

// A security file for the commit: new, or in place of the replaced security's file.
void ConversionJob::StageFile(const std::string& name, std::string data) {
    if (replaceRecord_ != 0 || replaceXMasterRecord_ != 0) {
        target_.transaction().ReplaceFile(name, std::move(data));
    } else {
        target_.transaction().CreateFile(name, std::move(data));
    }
}

std::string ConversionSummary(const ConversionJob& job) {
    auto date = [](const msdb::MbfBytes& stored) {
        std::optional<msdb::CalendarDay> day = msdb::StoredDateToDay(stored);
        return day ? msdb::IsoDateText(*day) : std::string("no date");
    };
    const std::string dat =
        msdb::JoinPath(job.directory(), job.InXMaster() ? msdb::MwdFileName(job.FileNumber())
                                                        : msdb::DatFileName(job.FileNumber()));
    std::string text = (job.WouldSucceed() ? "Would convert " : "Converted ") +
                       std::to_string(job.RecordCount()) +
                       (job.RecordCount() == 1 ? " price record of " : " price records of ") +
                       job.settings().symbol + " into " + dat + " (" + date(job.FirstDate()) +
                       " to " + date(job.LastDate()) + ").";
    if (job.Reversed()) {
        text += " The file lists the newest day first; the records are written oldest first.";
    }
    if (!job.Accepted().empty()) {
        std::string accepted = job.Accepted();
        accepted[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(accepted[0])));
        text += " " + accepted + ".";
    }
    return text;
}

}  // namespace engine
