// One conversion of a text price file into a new security of a MetaStock-format directory.
//
// The caller fills the settings fields, calls Run once and destroys the job. Run carries out a
// fixed sequence of steps; a step that finds a problem tells the user through the Notifier and the
// run stops with 1. Every operation returns 0 to go on and 1 to stop.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/Services.h"
#include "msdb/Encoding.h"
#include "msdb/FileSystem.h"
#include "msdb/SecurityFiles.h"

namespace engine {

using msdb::kPriceFieldCount;
using msdb::PriceField;

// What the job talks to. Any member left null is replaced by the default: the machine's file
// system, a notifier writing "korvex: <message>" to standard error, a store that keeps nothing and
// the system clock.
struct JobServices {
    msdb::FileSystem* fileSystem = nullptr;
    Notifier* notifier = nullptr;
    SettingsStore* store = nullptr;
    Clock* clock = nullptr;
};

// The limits that the settings dialog keeps.
inline constexpr int kMaxColumns = 20;
inline constexpr int kMaxSkipRows = 200;
inline constexpr std::size_t kMaxSymbolLength = 16;
inline constexpr std::size_t kMaxNameLength = 16;
inline constexpr std::size_t kMaxDirectoryLength = 200;

class CConversionJob {
public:
    CConversionJob();
    explicit CConversionJob(const JobServices& services);
    virtual ~CConversionJob();

    CConversionJob(const CConversionJob&) = delete;
    CConversionJob& operator=(const CConversionJob&) = delete;

    // The whole conversion: checks the input file and the date format, then PrepareMaster,
    // CheckColumns, CheckDuplicateSymbol, AddSecurity, stores Path, Symbol and Name in the section
    // "Setting", backs an existing MASTER up to MASTER.BAK, and ConvertData, whose result it
    // returns.
    int Run();

    // Sets m_nFieldCount to the number of enabled price fields; fewer than two is refused.
    int CheckColumns();

    // Makes the target directory current, rewrites m_szDirectory as the absolute path, locks the
    // directory against other conversions for the rest of the run, sets m_szMasterPath, and checks
    // for MASTER or creates a new, empty one.
    int PrepareMaster();

    // Refuses a symbol that the MASTER tree already holds as a symbol or a name. Succeeds at once
    // when a new MASTER was made.
    int CheckDuplicateSymbol();

    // Enters the security in MASTER under the lowest free file number, dated today, and creates its
    // F<n>.DAT and F<n>.DOP. MASTER is replaced through MASTER.~NU and is never missing.
    int AddSecurity();

    // Creates F<n>.DAT (a header record counting no price records) and F<n>.DOP.
    int CreateSecurityFiles(int fileNumber);

    // Reads the input file line by line, appends one price record per line that holds a field, and
    // writes the first and last dates into MASTER and the record count into the F<n>.DAT header.
    int ConvertData();

    // Appends the enabled values of m_values to F<n>.DAT as one price record.
    int AppendRecord(std::uint8_t fileNumber);

    // Writes the dates into bytes 25 to 32 of the MASTER record of `fileNumber`, through
    // MASTER.NEW.
    int UpdateMasterDates(const msdb::MbfBytes& firstDate, const msdb::MbfBytes& lastDate,
                          std::uint8_t fileNumber);

    // Sets lastRecordNumber of F<n>.DAT to `recordCount` + 1, through F<n>.NEW.
    int UpdateRecordCount(std::uint16_t recordCount, std::uint8_t fileNumber);

    // Settings, set by the caller before Run.
    std::string m_strInputPath;
    int m_bUseExistingMaster = 1;
    std::array<int, kPriceFieldCount> m_bFieldOn{1, 1, 1, 1, 1, 1, 1};
    std::array<int, kPriceFieldCount> m_nFieldCol{0, 1, 2, 3, 4, 5, 6};  // counted from 0
    std::string m_szDirectory;
    std::string m_szMasterPath;  // set by PrepareMaster
    std::string m_szSymbol;
    std::string m_szName;
    std::string m_szDelimiter = ",";
    int m_nDateFormat = 1;
    int m_bSkipOn = 0;
    int m_nSkipRows = 0;

    // Working storage of the run.
    std::array<msdb::MbfBytes, kPriceFieldCount> m_values{};
    int m_nFieldCount = 0;

    // How long PrepareMaster waits for another conversion into the same directory to finish.
    int m_nLockWaitMilliseconds = 5000;

    // What the run wrote, for the caller's report.
    int FileNumber() const { return m_nFileNumber; }
    int RecordCount() const { return m_nRecordCount; }
    const msdb::MbfBytes& FirstDate() const { return m_firstDate; }
    const msdb::MbfBytes& LastDate() const { return m_lastDate; }

private:
    class Appender;

    void Tell(const std::string& text);
    std::string PathInDirectory(const std::string& name) const;
    int RunSteps();
    int CheckSettings();
    int LockDirectory();
    int ReadMaster(std::string* bytes, std::size_t limit);
    int ResetPriceFile(std::uint8_t fileNumber);
    int FinishAppends();
    std::uint8_t LookUpFileNumber();

    msdb::FileSystem* m_fs;
    Notifier* m_notifier;
    SettingsStore* m_store;
    Clock* m_clock;

    std::unique_ptr<msdb::DirectoryLock> m_lock;  // held from PrepareMaster to the end of Run
    int m_nFileNumber = 0;                        // set by AddSecurity
    int m_nRecordCount = 0;
    bool m_bCountWritten = false;  // the F<n>.DAT header counting the records is in place
    msdb::MbfBytes m_firstDate{};
    msdb::MbfBytes m_lastDate{};
    std::unique_ptr<Appender> m_appender;
};

}  // namespace engine
