// The Windows file system under whole conversions: drive letters and backslashes, long paths,
// names outside ASCII, files that another program holds open, a read-only MASTER, the directory
// lock between processes, and names that differ from Korvex's only in case.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "msdb/FileSystem.h"
#include "tests/support/JobFixture.h"

namespace testing_support {
namespace {

const char* kLine = "083099,1.5,2,1,1.75,1000,50\n";
constexpr char kLockFile[] = "KORVEX.LCK";
const char* kInUse = ": another program is using the file.";

std::wstring W(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            static_cast<int>(wide.size()))));
    return wide;
}

// `path` (UTF-8) as the API takes it even when long.
std::wstring Extended(const std::string& path) {
    std::wstring wide = W(path);
    for (wchar_t& c : wide) {
        c = c == L'/' ? L'\\' : c;
    }
    return L"\\\\?\\" + wide;
}

bool Exists(const std::string& path) {
    return GetFileAttributesW(Extended(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteUtf8Named(const std::string& path, const std::string& bytes) {
    std::unique_ptr<msdb::WritableFile> file;
    ASSERT_TRUE(msdb::FileSystem::Default().CreateForWrite(path, &file).ok()) << path;
    ASSERT_TRUE(file->Append(bytes).ok());
    ASSERT_TRUE(file->Close().ok());
}

std::string ReadUtf8Named(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(msdb::ReadWholeFile(msdb::FileSystem::Default(), path, &bytes).ok()) << path;
    return bytes;
}

// A handle on `path` as another program might hold it; closed when the object goes.
class HeldFile {
public:
    HeldFile(const std::string& path, DWORD share)
        : handle_(CreateFileW(W(path).c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << path;
    }
    ~HeldFile() { Release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    void Release() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
        }
    }

private:
    HANDLE handle_;
};

bool Contains(const std::vector<std::string>& messages, const std::string& text) {
    for (const std::string& message : messages) {
        if (message.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

class WindowsFileSystemTest : public JobFixture {
protected:
    // The directory after a first conversion (of XYZ into F1), ready for a second job.
    std::unique_ptr<PendingJob> SecondJob() {
        auto first = MakeJob(kLine);
        EXPECT_EQ(first->Run(), 0);
        auto second = MakeJob(kLine);
        second->settings.master = engine::MasterChoice::kUseExisting;
        second->settings.symbol = "ABC";
        second->settings.name = "ABC Inc";
        return second;
    }

    std::string Backslashed(const std::string& path) const {
        std::string out = path;
        for (char& c : out) {
            c = c == '/' ? '\\' : c;
        }
        return out;
    }
};

TEST(WindowsPathsTest, DriveLettersBackslashesAndSharesJoinAndSplit) {
    EXPECT_TRUE(msdb::IsPathSeparator('\\'));
    EXPECT_TRUE(msdb::IsPathSeparator('/'));
    EXPECT_EQ(msdb::JoinPath("C:\\Data", "F1.DAT"), "C:\\Data\\F1.DAT");
    EXPECT_EQ(msdb::JoinPath("C:\\Data\\", "F1.DAT"), "C:\\Data\\F1.DAT");
    EXPECT_EQ(msdb::JoinPath("C:/Data/", "F1.DAT"), "C:/Data/F1.DAT");
    EXPECT_EQ(msdb::JoinPath("C:\\", "MASTER"), "C:\\MASTER");
    EXPECT_EQ(msdb::JoinPath("C:", "MASTER"), "C:MASTER");  // in C:'s current directory
    EXPECT_EQ(msdb::JoinPath("\\\\server\\share", "MASTER"), "\\\\server\\share\\MASTER");

    EXPECT_EQ(msdb::DirectoryOf("C:\\Data\\F1.DAT"), "C:\\Data");
    EXPECT_EQ(msdb::DirectoryOf("C:/Data/F1.DAT"), "C:/Data");
    EXPECT_EQ(msdb::DirectoryOf("C:\\F1.DAT"), "C:\\");
    EXPECT_EQ(msdb::DirectoryOf("C:/F1.DAT"), "C:/");
    EXPECT_EQ(msdb::DirectoryOf("C:F1.DAT"), "C:");
    EXPECT_EQ(msdb::DirectoryOf("F1.DAT"), ".");
    EXPECT_EQ(msdb::DirectoryOf("\\F1.DAT"), "\\");
    EXPECT_EQ(msdb::DirectoryOf("\\\\server\\share\\MASTER"), "\\\\server\\share");
}

TEST_F(WindowsFileSystemTest, ADirectoryGivenWithSlashesAndDotsIsUsedAsItsWindowsPath) {
    std::filesystem::create_directory(dir / "out");
    auto job = MakeJob(kLine);
    job->settings.directory = dir.path() + "/out/../out/";
    ASSERT_EQ(job->Run(), 0) << ::testing::PrintToString(notifier.messages);
    const std::string expected = Backslashed(dir.path()) + "\\out";
    EXPECT_EQ(job->directory(), expected);
    EXPECT_EQ(job->masterPath(), expected + "\\MASTER");
    EXPECT_TRUE(Exists(expected + "\\F1.DAT"));

    std::string canonical;
    ASSERT_TRUE(msdb::FileSystem::Default().CanonicalPath(dir / "out/./F1.DAT", &canonical).ok());
    EXPECT_EQ(canonical, expected + "\\F1.DAT");
    msdb::Status missing = msdb::FileSystem::Default().CanonicalPath(dir / "none", &canonical);
    EXPECT_TRUE(missing.IsNotFound()) << missing.message();
}

TEST_F(WindowsFileSystemTest, ALongPathIsConvertedIntoAsInAShortOne) {
    auto reference = MakeJob(kLine);
    ASSERT_EQ(reference->Run(), 0);
    const Snapshot expected = TakeSnapshot(dir.path());

    std::string deep = Backslashed(dir.path());
    while (deep.size() < 300) {
        deep += "\\a-rather-long-folder-name-of-forty-chars";
        ASSERT_TRUE(CreateDirectoryW(Extended(deep).c_str(), nullptr)) << GetLastError();
    }
    WriteUtf8Named(deep + "\\input.txt", kLine);
    auto job = MakeJob(kLine);
    job->settings.inputPath = deep + "\\input.txt";
    job->settings.directory = deep;
    ASSERT_EQ(job->Run(), 0) << ::testing::PrintToString(notifier.messages);
    EXPECT_EQ(job->directory(), deep);  // shown as given, never in the \\?\ form
    std::vector<std::string> names;
    ASSERT_TRUE(msdb::FileSystem::Default().ListDirectory(deep, &names).ok());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"F1.DAT", "F1.DOP", "MASTER", "input.txt"}));
    for (const char* name : {"MASTER", "F1.DAT", "F1.DOP"}) {
        EXPECT_EQ(ReadUtf8Named(deep + "\\" + name), expected.at(name)) << name;
    }
}

TEST_F(WindowsFileSystemTest, NamesOutsideAsciiWorkForTheInputAndTheDirectory) {
    const std::string folder =
        Backslashed(dir.path()) + "\\B\xC3\xB6rse Z\xC3\xBCrich \xE2\x82\xAC";
    ASSERT_TRUE(CreateDirectoryW(W(folder).c_str(), nullptr));
    const std::string input = folder + "\\kurse-\xC3\xA4\xCE\xB1\xE6\x97\xA5.txt";
    WriteUtf8Named(input, kLine);
    auto job = MakeJob(kLine);
    job->settings.inputPath = input;
    job->settings.directory = folder;
    ASSERT_EQ(job->Run(), 0) << ::testing::PrintToString(notifier.messages);
    EXPECT_EQ(job->directory(), folder);
    EXPECT_EQ(job->masterPath(), folder + "\\MASTER");
    // The names are the UTF-16 ones, as Explorer shows them.
    EXPECT_NE(GetFileAttributesW((L"\\\\?\\" + W(folder) + L"\\F1.DAT").c_str()),
              INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW(
                  (W(Backslashed(dir.path())) + L"\\B\u00F6rse Z\u00FCrich \u20AC").c_str()),
              INVALID_FILE_ATTRIBUTES);
    std::vector<std::string> names;
    ASSERT_TRUE(msdb::FileSystem::Default().ListDirectory(folder, &names).ok());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"F1.DAT", "F1.DOP", "MASTER",
                                               "kurse-\xC3\xA4\xCE\xB1\xE6\x97\xA5.txt"}));
    EXPECT_EQ(ReadUtf8Named(folder + "\\F1.DOP").substr(0, 12), "\"DATE\",0,0\r\n");
}

TEST_F(WindowsFileSystemTest, AFileAnotherProgramHoldsIsNamedAndNothingChanges) {
    auto second = SecondJob();
    const Snapshot before = TakeSnapshot(dir.path());
    const std::string master = Backslashed(dir.path()) + "\\MASTER";
    {
        // The price file, open without sharing.
        HeldFile held(dir / "input.txt", 0);
        EXPECT_NE(second->Run(), 0);
        EXPECT_TRUE(Contains(notifier.messages, "Cannot open " + (dir / "input.txt") + kInUse))
            << ::testing::PrintToString(notifier.messages);
    }
    EXPECT_EQ(TakeSnapshot(dir.path()), before);
    notifier.messages.clear();
    {
        // MASTER, open without sharing: it cannot even be read.
        HeldFile held(master, 0);
        EXPECT_NE(second->Run(), 0);
        EXPECT_TRUE(Contains(notifier.messages, master + kInUse))
            << ::testing::PrintToString(notifier.messages);
    }
    EXPECT_EQ(TakeSnapshot(dir.path()), before);
    EXPECT_EQ(ListNames(dir.path()),
              (std::vector<std::string>{"F1.DAT", "F1.DOP", "MASTER", "input.txt"}));
}

TEST_F(WindowsFileSystemTest, FilesOpenForReadingStopTheCommitAndNothingChanges) {
    auto second = SecondJob();
    const Snapshot before = TakeSnapshot(dir.path());
    const std::string master = Backslashed(dir.path()) + "\\MASTER";
    {
        // As a charting program holds it: reading and writing shared, removal not.
        HeldFile held(master, FILE_SHARE_READ | FILE_SHARE_WRITE);
        const int result = second->Run();
        if (result == 0) {
            held.Release();
            GTEST_SKIP() << "This Wine replaces a file that is open without FILE_SHARE_DELETE, "
                            "as Windows does not";
        }
        EXPECT_TRUE(Contains(notifier.messages, "Cannot replace " + master + kInUse))
            << ::testing::PrintToString(notifier.messages);
    }
    EXPECT_EQ(TakeSnapshot(dir.path()), before);
    EXPECT_EQ(ListNames(dir.path()),  // no temporary left either
              (std::vector<std::string>{"F1.DAT", "F1.DOP", "MASTER", "input.txt"}));

    // Replacing XYZ's prices replaces F1.DAT; a program reading it stops that before the commit.
    notifier.messages.clear();
    auto replace = MakeJob("083199,1,2,3,4,5,6\n");
    replace->settings.master = engine::MasterChoice::kUseExisting;
    replace->settings.replaceExisting = true;
    const Snapshot unchanged = TakeSnapshot(dir.path());
    const std::string dat = Backslashed(dir.path()) + "\\F1.DAT";
    {
        HeldFile held(dat, FILE_SHARE_READ | FILE_SHARE_WRITE);
        EXPECT_NE(replace->Run(), 0);
        EXPECT_TRUE(Contains(notifier.messages, "Cannot replace " + dat + kInUse))
            << ::testing::PrintToString(notifier.messages);
    }
    EXPECT_EQ(TakeSnapshot(dir.path()), unchanged);
    EXPECT_EQ(ListNames(dir.path()),
              (std::vector<std::string>{"F1.DAT", "F1.DOP", "MASTER", "input.txt"}));
}

// Windows refuses to replace or remove a read-only file; Wine replaces one all the same, so under
// Wine only the removal shows that the attribute is cleared for the change.
// The read-only attribute is what read-only permission bits are on Linux: a run refuses to change
// such a MASTER. The file system itself still renames over and removes read-only files, as Linux
// does, where the directory decides.
TEST_F(WindowsFileSystemTest, AReadOnlyMasterIsRefused) {
    auto second = SecondJob();
    const std::wstring master = W(dir / "MASTER");
    ASSERT_TRUE(SetFileAttributesW(master.c_str(), FILE_ATTRIBUTE_READONLY));
    msdb::FileInfo info;
    ASSERT_TRUE(msdb::FileSystem::Default().GetInfo(dir / "MASTER", &info).ok());
    EXPECT_EQ(info.permissions, 0444u);
    const std::string before = Master();
    EXPECT_EQ(second->Run(), 1);
    ASSERT_FALSE(notifier.messages.empty());
    EXPECT_NE(notifier.messages.back().find("is read-only"), std::string::npos)
        << notifier.messages.back();
    EXPECT_EQ(Master(), before);

    ASSERT_TRUE(SetFileAttributesW(W(dir / "F1.DOP").c_str(), FILE_ATTRIBUTE_READONLY));
    msdb::Status removed = msdb::FileSystem::Default().Remove(dir / "F1.DOP");
    EXPECT_TRUE(removed.ok()) << removed.message();
    EXPECT_FALSE(Exists(dir / "F1.DOP"));
    SetFileAttributesW(master.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WindowsFileSystemTest, NamesDifferingOnlyInCaseAreFound) {
    auto first = MakeJob(kLine);
    ASSERT_EQ(first->Run(), 0);
    for (const char* name : {"MASTER", "F1.DAT", "F1.DOP"}) {
        std::string lower = name;
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        // Through another name: Wine takes a rename that changes only the case for no change.
        ASSERT_TRUE(MoveFileW(W(dir / name).c_str(), W(dir / "renaming").c_str()));
        ASSERT_TRUE(MoveFileW(W(dir / "renaming").c_str(), W(dir / lower).c_str()));
    }
    auto second = MakeJob(kLine);
    second->settings.master = engine::MasterChoice::kUseExisting;
    second->settings.symbol = "ABC";
    ASSERT_EQ(second->Run(), 0) << ::testing::PrintToString(notifier.messages);
    // The MASTER spelled "master" is the one extended, and f1.dat keeps file number 1 in use.
    EXPECT_EQ(second->FileNumber(), 2);
    EXPECT_EQ(ListNames(dir.path()),
              (std::vector<std::string>{"F2.DAT", "F2.DOP", "f1.dat", "f1.dop", "input.txt",
                                        "master", "master.BAK"}));
    EXPECT_EQ(static_cast<unsigned char>(ReadFileBytes(dir / "master")[0]), 2u);
}

// The other process of the lock test: holds the lock of $KORVEX_TEST_LOCK_DIR, says so by making
// $KORVEX_TEST_READY, and waits to be killed.
TEST(WindowsLockHolder, DISABLED_HoldsTheLockUntilKilled) {
    const char* directory = std::getenv("KORVEX_TEST_LOCK_DIR");
    const char* ready = std::getenv("KORVEX_TEST_READY");
    if (directory == nullptr || ready == nullptr) {
        GTEST_SKIP() << "run only by WindowsFileSystemTest.TheLockKeepsASecondRunOut";
    }
    std::unique_ptr<msdb::DirectoryLock> lock;
    ASSERT_TRUE(msdb::FileSystem::Default().LockDirectory(directory, &lock).ok());
    WriteUtf8Named(ready, "locked");
    std::this_thread::sleep_for(std::chrono::minutes(2));
}

TEST_F(WindowsFileSystemTest, TheLockKeepsASecondRunOutAndGoesWithAKilledHolder) {
    msdb::FileSystem& fs = msdb::FileSystem::Default();
    const std::string target = Backslashed(dir.path());
    {
        // Held here, a run waits for it, then gives up having changed nothing.
        std::unique_ptr<msdb::DirectoryLock> held;
        ASSERT_TRUE(fs.LockDirectory(target, &held).ok());
        EXPECT_TRUE(Exists(target + "\\" + kLockFile));
        std::unique_ptr<msdb::DirectoryLock> second;
        EXPECT_TRUE(fs.LockDirectory(target, &second).IsBusy());
        auto job = MakeJob(kLine);
        job->services.lockWait = std::chrono::milliseconds(200);
        EXPECT_NE(job->Run(), 0);
        EXPECT_EQ(notifier.messages, std::vector<std::string>{
                                         "Another conversion is changing the directory " + target +
                                         ".\nNothing was changed; try again when it has "
                                         "finished."});
        EXPECT_EQ(ListNames(dir.path()), (std::vector<std::string>{kLockFile, "input.txt"}));
    }
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"input.txt"});  // no lock file left

    // Held by another process that is killed: the lock and its file go with it.
    TempDir signals;
    const std::string ready = signals / "ready";
    SetEnvironmentVariableW(L"KORVEX_TEST_LOCK_DIR", W(target).c_str());
    SetEnvironmentVariableW(L"KORVEX_TEST_READY", W(ready).c_str());
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) +
                           L"\" --gtest_also_run_disabled_tests "
                           L"--gtest_filter=WindowsLockHolder.DISABLED_HoldsTheLockUntilKilled";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &child));
    SetEnvironmentVariableW(L"KORVEX_TEST_LOCK_DIR", nullptr);
    SetEnvironmentVariableW(L"KORVEX_TEST_READY", nullptr);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!Exists(ready) && std::chrono::steady_clock::now() < deadline &&
           WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const bool started = Exists(ready);
    std::unique_ptr<msdb::DirectoryLock> lock;
    if (started) {
        EXPECT_TRUE(fs.LockDirectory(target, &lock).IsBusy());
    }
    TerminateProcess(child.hProcess, 9);
    WaitForSingleObject(child.hProcess, 30000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    ASSERT_TRUE(started) << "the lock holder did not start";
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"input.txt"});
    EXPECT_TRUE(fs.LockDirectory(target, &lock).ok());
    auto job = MakeJob(kLine);
    job->services.lockWait = std::chrono::milliseconds(200);
    EXPECT_NE(job->Run(), 0);  // this process holds the lock now
    lock.reset();
    notifier.messages.clear();
    ASSERT_EQ(job->Run(), 0) << ::testing::PrintToString(notifier.messages);
}

}  // namespace
}  // namespace testing_support
