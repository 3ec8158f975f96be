#include "engine/ConversionJob.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <limits>
#include <thread>

#include "engine/Appender.h"
#include "engine/Messages.h"
#include "msdb/Master.h"

namespace engine {
namespace {

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

std::string DamagedMaster(const std::string& path, const char* why) {
    return "The Master file " + path + " is damaged:\n" + why;
}

}  // namespace

CConversionJob::CConversionJob() : CConversionJob(JobServices{}) {}

CConversionJob::CConversionJob(const JobServices& services) {
    JobServices s = WithDefaults(services);
    m_fs = s.fileSystem;
    m_notifier = s.notifier;
    m_store = s.store;
    m_clock = s.clock;
}

CConversionJob::~CConversionJob() = default;

void CConversionJob::Tell(const std::string& text) {
    m_notifier->ShowMessage(text);
}

std::string CConversionJob::PathInDirectory(const std::string& name) const {
    return msdb::JoinPath(m_szDirectory, name);
}

int CConversionJob::Run() {
    int result = RunSteps();
    m_lock.reset();
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
    (void)m_store->WriteString("Setting", "Path", m_szDirectory);
    (void)m_store->WriteString("Setting", "Symbol", m_szSymbol);
    (void)m_store->WriteString("Setting", "Name", m_szName);
    if (m_bUseExistingMaster != 0) {
        // The backup is a courtesy: a failed copy neither stops nor fails the run.
        std::string master;
        if (msdb::ReadWholeFile(*m_fs, m_szMasterPath, &master).ok()) {
            (void)msdb::WriteNewFile(*m_fs, m_szMasterPath + ".BAK", master);
        }
    }
    return ConvertData();
}

// Refuses, before anything is touched, settings that the run could not carry out safely.
int CConversionJob::CheckSettings() {
    if (m_nDateFormat < msdb::kFirstDateFormat || m_nDateFormat > msdb::kLastDateFormat) {
        Tell("No date format is chosen.\nChoose one of the twelve date formats of the list.");
        return 1;
    }
    for (int i = 0; i < kPriceFieldCount; ++i) {
        if (m_bFieldOn[i] != 0 && (m_nFieldCol[i] < 0 || m_nFieldCol[i] >= kMaxColumns)) {
            Tell("The column of the " + std::string(msdb::kPriceFieldLabels[i]) +
                 " field must lie between 1 and 20.");
            return 1;
        }
    }
    // The symbol and the name are held in 16 characters, as MASTER holds them.
    m_szSymbol.resize(std::min(m_szSymbol.size(), kMaxSymbolLength));
    m_szName.resize(std::min(m_szName.size(), kMaxNameLength));
    std::unique_ptr<msdb::ReadableFile> input;
    msdb::Status s = m_fs->OpenForRead(m_strInputPath, &input);
    if (!s.ok()) {
        Tell("The input file cannot be opened.\n" + s.message());
        return 1;
    }
    return 0;
}

int CConversionJob::CheckColumns() {
    m_nFieldCount = static_cast<int>(
        std::count_if(m_bFieldOn.begin(), m_bFieldOn.end(), [](int on) { return on != 0; }));
    if (m_nFieldCount > 1) {
        return 0;
    }
    Tell(messages::kMoreColumns);
    return 1;
}

int CConversionJob::PrepareMaster() {
    if (!m_fs->ChangeDirectory(m_szDirectory).ok()) {
        Tell(messages::kPathDoesNotExist);
        return 1;
    }
    std::string current;
    msdb::Status s = m_fs->CurrentDirectory(&current);
    if (!s.ok()) {
        Tell(s.message());
        return 1;
    }
    m_szDirectory = current;
    if (LockDirectory() != 0) {
        return 1;
    }
    std::optional<std::string> existing;
    s = msdb::LocateMaster(*m_fs, m_szDirectory, &existing);
    if (!s.ok()) {
        Tell(s.message());
        return 1;
    }
    m_szMasterPath = existing ? *existing : PathInDirectory(std::string(msdb::kMasterFileName));

    if (m_bUseExistingMaster != 0) {
        std::unique_ptr<msdb::ReadableFile> file;
        if (existing && m_fs->OpenForRead(m_szMasterPath, &file).ok()) {
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
    s = msdb::ReplaceFile(*m_fs, m_szMasterPath, m_szMasterPath + ".~NU", msdb::MakeEmptyMaster());
    if (!s.ok()) {
        Tell("The new Master file could not be created.\n" + s.message());
        return 1;
    }
    return 0;
}

// Takes the directory's lock, waiting a while for another conversion to finish with it.
int CConversionJob::LockDirectory() {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_nLockWaitMilliseconds);
    for (;;) {
        bool busy = false;
        msdb::Status s = m_fs->LockDirectory(m_szDirectory, &m_lock, &busy);
        if (!s.ok()) {
            Tell("The directory could not be locked against other conversions.\n" + s.message());
            return 1;
        }
        if (!busy) {
            return 0;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            Tell("Another conversion is changing the directory " + m_szDirectory +
                 ".\nNothing was changed; try again when it has finished.");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// Reads up to `limit` bytes of MASTER and checks its header; shows why when it cannot.
int CConversionJob::ReadMaster(std::string* bytes, std::size_t limit) {
    msdb::Status s = msdb::ReadFilePrefix(*m_fs, m_szMasterPath, limit, bytes);
    if (!s.ok()) {
        Tell(s.message());
        return 1;
    }
    if (bytes->size() < msdb::kMasterRecordSize) {
        Tell(DamagedMaster(m_szMasterPath, "it is shorter than its 53-byte header."));
        return 1;
    }
    if (msdb::ReadMasterHeader(*bytes).recordCount < 0) {
        Tell(DamagedMaster(m_szMasterPath, "its header counts a negative number of records."));
        return 1;
    }
    return 0;
}

int CConversionJob::CheckDuplicateSymbol() {
    if (m_bUseExistingMaster == 0) {
        return 0;
    }
    std::string header;
    if (ReadMaster(&header, msdb::kMasterRecordSize) != 0) {
        return 1;
    }
    msdb::MasterRecord record;
    std::string directory;
    if (msdb::FindSecurity(*m_fs, m_szDirectory, m_szSymbol, &record, &directory) ==
        msdb::kSecurityFound) {
        Tell(messages::kDuplicateSymbol);
        return 1;
    }
    return 0;
}

int CConversionJob::AddSecurity() {
    std::string source;
    if (ReadMaster(&source, static_cast<std::size_t>(-1)) != 0) {
        return 1;
    }
    msdb::MasterHeader header = msdb::ReadMasterHeader(source);
    if (header.recordCount == msdb::kMaxSecurities || header.addCount == msdb::kMaxSecurities) {
        Tell(messages::kTooManySecurities);
        return 1;
    }
    if (header.recordCount == std::numeric_limits<std::int16_t>::max()) {
        Tell(DamagedMaster(m_szMasterPath,
                           "its header counts 32767 records, the most it can count."));
        return 1;
    }
    header.recordCount = static_cast<std::int16_t>(header.recordCount + 1);
    header.addCount = static_cast<std::int16_t>(header.addCount + 1);

    // Every record present is copied and its file number marked used, whatever the header counts;
    // a trailing partial record is dropped.
    std::size_t whole = source.size() / msdb::kMasterRecordSize;
    std::string master = source.substr(0, whole * msdb::kMasterRecordSize);
    msdb::WriteMasterHeaderCounts(&master, header);
    std::array<bool, 256> used{};
    used[0] = true;
    for (std::size_t i = 1; i < whole; ++i) {
        used[static_cast<std::uint8_t>(master[i * msdb::kMasterRecordSize])] = true;
    }
    auto freeNumber = std::find(used.begin(), used.end(), false);
    if (freeNumber == used.end()) {
        Tell(messages::kTooManySecurities);
        return 1;
    }
    auto fileNumber = static_cast<std::uint8_t>(freeNumber - used.begin());

    CalendarDate today = m_clock->Today();
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d", today.month % 100, today.day % 100,
                  today.year % 100);
    msdb::MbfBytes date = msdb::DayNumberToMbfDate(msdb::DateTextToDayNumber(text, 3));
    msdb::MasterRecord record =
        msdb::MakeMasterRecord(fileNumber, m_nFieldCount, m_szName, m_szSymbol, date, date);
    master.append(reinterpret_cast<const char*>(record.data()), record.size());

    // The security's files come first, so that MASTER never lists a security without them.
    if (CreateSecurityFiles(fileNumber) != 0) {
        return 1;
    }
    msdb::Status synced = m_fs->SyncDirectory(m_szDirectory);
    if (!synced.ok()) {
        (void)m_fs->Remove(PathInDirectory(msdb::DatFileName(fileNumber)));
        (void)m_fs->Remove(PathInDirectory(msdb::DopFileName(fileNumber)));
        Tell("The security's files could not be made durable.\n" + synced.message());
        return 1;
    }
    bool renamed = false;
    msdb::Status s =
        msdb::ReplaceFile(*m_fs, m_szMasterPath, m_szMasterPath + ".~NU", master, &renamed);
    if (renamed) {
        m_nFileNumber = fileNumber;
        m_firstDate = m_lastDate = date;
    } else {
        (void)m_fs->Remove(PathInDirectory(msdb::DatFileName(fileNumber)));
        (void)m_fs->Remove(PathInDirectory(msdb::DopFileName(fileNumber)));
    }
    if (!s.ok()) {
        Tell("The security could not be added to the Master file.\n" + s.message());
        return 1;
    }
    return 0;
}

int CConversionJob::CreateSecurityFiles(int fileNumber) {
    std::string dat = PathInDirectory(msdb::DatFileName(fileNumber));
    std::string dop = PathInDirectory(msdb::DopFileName(fileNumber));
    msdb::Status s = msdb::WriteNewFile(*m_fs, dat, msdb::MakeDatHeader(m_nFieldCount));
    if (!s.ok()) {
        (void)m_fs->Remove(dat);
        Tell("The price file of the security could not be created.\n" + s.message());
        return 1;
    }
    s = msdb::WriteNewFile(*m_fs, dop, msdb::MakeDopText(m_bFieldOn));
    if (!s.ok()) {
        (void)m_fs->Remove(dop);
        (void)m_fs->Remove(dat);
        Tell("The field description file of the security could not be created.\n" + s.message());
        return 1;
    }
    return 0;
}

}  // namespace engine
