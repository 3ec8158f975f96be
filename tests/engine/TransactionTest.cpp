// A run as one transaction: what it may never touch, replacing and removing a security, and what
// the next run finds after one that was killed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "engine/RemoveSecurity.h"
#include "msdb/EMaster.h"
#include "msdb/Transaction.h"
#include "msdb/XMaster.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/JobFixture.h"
#include "tests/support/PowerCutFileSystem.h"

namespace testing_support {
namespace {

const char* kLine = "083099,1.5,2,1,1.75,1000,50\n";
constexpr msdb::Period kDaily = msdb::Period::kDaily;

// A notifier that answers every question as told.
class AnsweringNotifier final : public engine::Notifier {
public:
    explicit AnsweringNotifier(bool answer) : answer_(answer) {}
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    std::optional<bool> Ask(const std::string& question) override {
        questions.push_back(question);
        return answer_;
    }
    std::vector<std::string> messages;
    std::vector<std::string> questions;

private:
    bool answer_;
};

class TransactionTest : public JobFixture {
protected:
    // dir holds ABC (file 1) and DEF (file 2), each with its files.
    void SetUp() override {
        WriteFileBytes(dir / "MASTER", MasterWith({OtherMasterRecord(1, "ABC", "Abc Corp"),
                                                   OtherMasterRecord(2, "DEF", "Def Corp")}));
        for (const char* name : {"F1.DAT", "F1.DOP", "F2.DAT", "F2.DOP"}) {
            WriteFileBytes(dir / name, std::string("old ") + name);
        }
    }

    std::unique_ptr<PendingJob> Existing(const std::string& symbol) {
        auto job = MakeJob(kLine);
        job->settings.master = engine::MasterChoice::kUseExisting;
        job->settings.symbol = symbol;
        return job;
    }
};

TEST_F(TransactionTest, FileNumbersWithFilesOnDiskAreTakenAndNeverOverwritten) {
    WriteFileBytes(dir / "F3.DAT", "someone's");
    WriteFileBytes(dir / "f4.dop", "someone's");
    WriteFileBytes(dir / "F5.MWD", "someone's");
    auto job = Existing("NEW");
    ASSERT_EQ(job->Run(), 0);
    EXPECT_EQ(job->FileNumber(), 6);
    for (const char* name : {"F3.DAT", "f4.dop", "F5.MWD"}) {
        EXPECT_EQ(ReadFileBytes(dir / name), "someone's");
    }
}

// A record whose file number was damaged to 0 no longer lists F1, but F1's files are still there:
// the new security must not take number 1 and write over them.
TEST_F(TransactionTest, AnUnlistedSecuritysFilesAreNotTakenOver) {
    std::string master = Master();
    master[53] = '\0';
    WriteFileBytes(dir / "MASTER", master);
    auto job = Existing("NEW");
    ASSERT_EQ(job->Run(), 0);
    EXPECT_EQ(job->FileNumber(), 3);
    EXPECT_EQ(ReadFileBytes(dir / "F1.DAT"), "old F1.DAT");
    EXPECT_EQ(ReadFileBytes(dir / "F1.DOP"), "old F1.DOP");
}

TEST_F(TransactionTest, LinksAreNeverFollowedForBackupsAndAMasterLinkKeepsPointing) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links and permission bits: making links takes a privilege on "
                    "Windows, and it has no such bits";
#else
    TempDir outside;
    WriteFileBytes(outside / "v", "keep");
    std::filesystem::create_symlink(outside / "v", dir / "MASTER.BAK");
    // MASTER itself a link to a file elsewhere, with its own permission bits.
    std::filesystem::rename(dir / "MASTER", outside / "MASTER");
    ::chmod((outside / "MASTER").c_str(), 0640);
    std::filesystem::create_symlink(outside / "MASTER", dir / "MASTER");
    const std::string before = ReadFileBytes(outside / "MASTER");
    ASSERT_EQ(Existing("NEW")->Run(), 0);
    EXPECT_EQ(ReadFileBytes(outside / "v"), "keep");
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "MASTER.BAK"));
    EXPECT_EQ(ReadFileBytes(dir / "MASTER.BAK"), before);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "MASTER"));
    EXPECT_EQ(ReadFileBytes(outside / "MASTER").size(), 4u * 53);
    struct stat st;
    ASSERT_EQ(::stat((outside / "MASTER").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
#endif
}

TEST_F(TransactionTest, ReplaceKeepsTheFileNumberAndThePlace) {
    const std::string before = Master();
#ifndef _WIN32  // Windows has no permission bits
    ::chmod((dir / "F2.DAT").c_str(), 0604);
#endif
    auto job = Existing("DEF");
    job->settings.replaceExisting = true;
    ASSERT_EQ(job->Run(), 0) << ::testing::PrintToString(notifier.messages);
    EXPECT_EQ(job->FileNumber(), 2);
#ifndef _WIN32
    struct stat st;
    ASSERT_EQ(::stat((dir / "F2.DAT").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);  // the replaced price file keeps its bits
#endif
    const std::string after = Master();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(0, 106), before.substr(0, 106));  // the header and ABC
    // DEF's record is written as a new registration writes it, with the file's dates.
    std::string expected = MasterRecordAt(2);
    EXPECT_EQ(static_cast<int>(expected[0]), 2);
    EXPECT_EQ(expected.substr(36, 16), "DEF             ");
    EXPECT_EQ(ToHex(expected.substr(25, 8)), "E0 E6 71 94 E0 E6 71 94");
    EXPECT_EQ(Dat(2).size(), 2u * 28);
    EXPECT_EQ(ReadFileBytes(dir / "F1.DAT"), "old F1.DAT");
    EXPECT_EQ(ReadFileBytes(dir / "MASTER.BAK"), before);
    EXPECT_EQ(ListNames(dir.path()),
              (std::vector<std::string>{"F1.DAT", "F1.DOP", "F2.DAT", "F2.DOP", "MASTER",
                                        "MASTER.BAK", "input.txt"}));
}

TEST_F(TransactionTest, ReplaceIsRefusedOutsideTheTopMasterOrWhenSeveralMatch) {
    std::filesystem::create_directory(dir / "sub");
    WriteFileBytes(dir / "sub/MASTER", MasterWith({OtherMasterRecord(1, "DEEP", "Deep")}));
    WriteFileBytes(dir / "MASTER",
                   MasterWith({OtherMasterRecord(1, "ABC", "Abc Corp"),
                               OtherMasterRecord(2, "ABC X", "Other"), DirectoryEntry(3, "sub")}));
    WriteFileBytes(dir / "input.txt", kLine);
    const Snapshot before = TakeSnapshot(dir.path());
    for (const char* symbol : {"DEEP", "ABC"}) {
        SCOPED_TRACE(symbol);
        notifier.messages.clear();
        auto job = Existing(symbol);
        job->settings.replaceExisting = true;
        EXPECT_EQ(job->Run(), 1);
        ASSERT_EQ(notifier.messages.size(), 1u);
        EXPECT_EQ(TakeSnapshot(dir.path()), before);
    }
}

TEST_F(TransactionTest, TheUserIsAskedBeforeADuplicateIsReplacedAndNoIsNotToldAgain) {
    for (bool answer : {false, true}) {
        SCOPED_TRACE(answer);
        AnsweringNotifier asking(answer);
        auto job = Existing("ABC");
        job->services.notifier = &asking;
        EXPECT_EQ(job->Run(), answer ? 0 : 1);
        ASSERT_EQ(asking.questions.size(), 1u);
        EXPECT_EQ(asking.questions[0],
                  "The directory already holds a security ABC.\nReplace it with the prices of "
                  "this file?");
        // No box repeats what the answer No said; the refusal keeps the reason for the dialog.
        EXPECT_TRUE(asking.messages.empty());
        if (!answer) {
            EXPECT_EQ(job->job->Refused()->message,
                      "Duplicate Symbol: " + dir.path() + " holds ABC, which was not replaced.");
        }
        EXPECT_EQ(Dat(1).size(), answer ? 2u * 28 : std::string("old F1.DAT").size());
    }
}

TEST_F(TransactionTest, RemoveTakesOneSecurityOutInOneCommit) {
    const std::string before = Master();
    engine::JobServices services;
    services.notifier = &notifier;
    engine::RemovalReport report;
    ASSERT_EQ(engine::RemoveSecurity(dir.path(), "abc corp", services, &report), 0);
    EXPECT_TRUE(report.changed);
    EXPECT_EQ(report.fileNumber, 1);
    // One record fewer counted; the highest file number in use is still 2.
    EXPECT_EQ(Master(), Hex("01 00 02 00") + before.substr(4, 49) + before.substr(106, 53));
    EXPECT_EQ(ReadFileBytes(dir / "MASTER.BAK"), before);
    EXPECT_FALSE(FileExists(dir / "F1.DAT"));
    EXPECT_FALSE(FileExists(dir / "F1.DOP"));
    EXPECT_EQ(ReadFileBytes(dir / "F2.DAT"), "old F2.DAT");

    // Not listed, listed twice, or only like another symbol: refused, nothing changes.
    WriteFileBytes(dir / "MASTER", MasterWith({OtherMasterRecord(2, "DEF", "Def Corp"),
                                               OtherMasterRecord(3, "DEF", "Twin"),
                                               OtherMasterRecord(4, "FOO BAR", "Foo Inc")}));
    const Snapshot unchanged = TakeSnapshot(dir.path());
    for (const char* symbol : {"ZZZ", "DEF", "FOO"}) {
        SCOPED_TRACE(symbol);
        notifier.messages.clear();
        EXPECT_EQ(engine::RemoveSecurity(dir.path(), symbol, services, &report), 1);
        EXPECT_FALSE(report.changed);
        EXPECT_EQ(notifier.messages.size(), 1u);
        EXPECT_EQ(TakeSnapshot(dir.path()), unchanged);
    }
}

// New files take the permission bits of the directory's MASTER; a read-only MASTER, or a
// read-only file that a run would replace, is refused and nothing changes.
TEST_F(TransactionTest, NewFilesTakeMastersBitsAndReadOnlyFilesAreNeverReplaced) {
    namespace fs = std::filesystem;
#ifndef _WIN32  // Windows keeps only the read-only bit
    fs::permissions(dir / "MASTER", fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(Existing("NEW")->Run(), 0);
    for (const char* name : {"F3.DAT", "F3.DOP", "MASTER", "MASTER.BAK"}) {
        EXPECT_EQ(fs::status(dir / name).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write)
            << name;
    }
#endif
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read;
    for (const char* name : {"MASTER", "F2.DAT"}) {
        SCOPED_TRACE(name);
        fs::permissions(dir / name, readOnly);
        const Snapshot before = TakeSnapshot(dir.path());
        notifier.messages.clear();
        auto job = Existing(name == std::string("MASTER") ? "NEWER" : "DEF");
        job->settings.replaceExisting = true;
        EXPECT_EQ(job->Run(), 1);
        ASSERT_FALSE(notifier.messages.empty());
        EXPECT_NE(notifier.messages.back().find(dir / name + " is read-only"), std::string::npos)
            << notifier.messages.back();
        Snapshot after = TakeSnapshot(dir.path());
        after.erase("input.txt");
        Snapshot wanted = before;
        wanted.erase("input.txt");
        EXPECT_EQ(after, wanted);
        fs::permissions(dir / name, fs::perms::owner_write, fs::perm_options::add);
    }
}

// A journal that Korvex 1.4 left when a replace was killed between setting the old files aside
// and its commit: the next run puts them back; killed after the commit: it removes them.
TEST_F(TransactionTest, TheNextRunFinishesOrUndoesAKilledReplaceOfKorvex14) {
    const std::string master = Master();
    for (bool committed : {false, true}) {
        SCOPED_TRACE(committed);
        std::string newMaster = master;
        newMaster[53 + 25] = 0x42;  // a date changed
        WriteFileBytes(dir / "MASTER", committed ? newMaster : master);
        WriteFileBytes(dir / "F2.DAT.korvex-old", "old F2.DAT");
        WriteFileBytes(dir / "F2.DAT", "new F2.DAT");
        WriteFileBytes(dir / "F2.DOP.korvex-old", "old F2.DOP");
        std::filesystem::remove(dir / "F2.DOP");  // killed before the new one was moved in
        const std::uint64_t print = [&] {
            std::uint64_t hash = 14695981039346656037ull;
            for (char c : newMaster) {
                hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
            }
            return hash;
        }();
        // The path it names is where the directory was then: only the name counts.
        WriteFileBytes(dir / "KORVEX.JNL", "korvex journal 1\nmaster /elsewhere/MASTER " +
                                               std::to_string(print) +
                                               "\nold F2.DAT\nold F2.DOP\n");
        msdb::Recovery recovery;
        ASSERT_TRUE(
            msdb::Transaction(msdb::FileSystem::Default(), dir.path()).Recover(&recovery).ok());
        EXPECT_EQ(recovery.action,
                  committed ? msdb::Recovery::Action::kFinished : msdb::Recovery::Action::kUndone);
        EXPECT_EQ(ReadFileBytes(dir / "F2.DAT"), committed ? "new F2.DAT" : "old F2.DAT");
        EXPECT_EQ(ReadFileBytes(dir / "F2.DOP"), "old F2.DOP");  // the only copy there was
        EXPECT_EQ(ListNames(dir.path()),
                  (std::vector<std::string>{"F1.DAT", "F1.DOP", "F2.DAT", "F2.DOP", "MASTER"}));
        WriteFileBytes(dir / "F2.DOP", "old F2.DOP");
    }
}

// An EMASTER that agrees with the fixture's MASTER: ABC (1) and DEF (2).
std::string AgreeingEMaster() {
    std::string header(msdb::kEMasterRecordSize, '\0');
    header[0] = 2;
    header[2] = 2;
    header.replace(100, 9, "copyright");  // other bytes of the header stay as they are
    const msdb::MbfBytes first = msdb::ToMbf(990101.0f);
    const msdb::MbfBytes last = msdb::ToMbf(991231.0f);
    return header + msdb::MakeEMasterRecord(1, 5, "ABC", "Abc Corp", first, last, kDaily) +
           msdb::MakeEMasterRecord(2, 5, "DEF", "Def Corp", first, last, kDaily);
}

TEST(EMasterRecordTest, TheLayoutOfARecord) {
    const std::string record =
        msdb::MakeEMasterRecord(7, 7, "SYMBOL", "A Long Name       ", msdb::ToMbf(1250102.0f),
                                msdb::ToMbf(1260225.0f), kDaily);
    ASSERT_EQ(record.size(), 192u);
    std::string expected(192, '\0');
    expected.replace(0, 2, "66");
    expected[2] = 7;
    expected[6] = 7;
    expected[7] = 0x7F;
    expected[9] = ' ';
    expected.replace(11, 6, "SYMBOL");
    expected.replace(32, 11, "A Long Name");  // 16 characters at most, trailing blanks cut
    expected[60] = 'D';
    expected.replace(64, 4, Hex("B0 99 98 49"));   // 1250102.0 as an IEEE single
    expected.replace(72, 4, Hex("08 D6 99 49"));   // 1260225.0
    expected.replace(126, 4, Hex("F6 FD 34 01"));  // 20250102
    EXPECT_EQ(ToHex(record), ToHex(expected));
    // A name longer than 16 characters is written in full at 139 as well.
    const std::string longer =
        msdb::MakeEMasterRecord(1, 2, "X", "Seventeen chars!!", {}, {}, kDaily);
    EXPECT_EQ(longer.substr(32, 16), "Seventeen chars!");
    EXPECT_EQ(longer.substr(139, 17), "Seventeen chars!!");
    EXPECT_EQ(ToHex(longer.substr(126, 4)), "00 00 00 00");
}

TEST_F(TransactionTest, AnEMasterIsKeptInStepWithMaster) {
    const std::string before = AgreeingEMaster();
    WriteFileBytes(dir / "EMASTER", before);
    auto job = Existing("NEW");
    ASSERT_EQ(job->Run(), 0) << ::testing::PrintToString(notifier.messages);
    const std::string emaster = ReadFileBytes(dir / "EMASTER");
    ASSERT_EQ(emaster.size(), 4u * 192);
    EXPECT_EQ(ToHex(emaster.substr(0, 4)), "03 00 03 00");  // as MASTER's header
    EXPECT_EQ(ToHex(Master().substr(0, 4)), "03 00 03 00");
    EXPECT_EQ(emaster.substr(4, 188), before.substr(4, 188));
    EXPECT_EQ(emaster.substr(192, 384), before.substr(192));
    EXPECT_EQ(ToHex(emaster.substr(3 * 192)),
              ToHex(msdb::MakeEMasterRecord(3, 7, "NEW", "XYZ Corp", msdb::ToMbf(990830.0f),
                                            msdb::ToMbf(990830.0f), kDaily)));
    EXPECT_EQ(ReadFileBytes(dir / "EMASTER.BAK"), before);

    // Removed again: both lose the record, in the same slot.
    engine::JobServices services;
    services.notifier = &notifier;
    engine::RemovalReport report;
    ASSERT_EQ(engine::RemoveSecurity(dir.path(), "DEF", services, &report), 0);
    const std::string after = ReadFileBytes(dir / "EMASTER");
    ASSERT_EQ(after.size(), 3u * 192);
    EXPECT_EQ(ToHex(after.substr(0, 4)), "02 00 03 00");
    EXPECT_EQ(static_cast<int>(after[192 + 2]), 1);
    EXPECT_EQ(static_cast<int>(after[2 * 192 + 2]), 3);
}

// A weekly security is weekly in MASTER (byte 33) and EMASTER (byte 60); converted over as
// monthly, both records say so.
TEST_F(TransactionTest, ThePeriodIsWrittenByAConversionAndByAReplace) {
    WriteFileBytes(dir / "EMASTER", AgreeingEMaster());
    auto weekly = Existing("NEW");
    weekly->settings.period = msdb::Period::kWeekly;
    ASSERT_EQ(weekly->Run(), 0) << ::testing::PrintToString(notifier.messages);
    EXPECT_EQ(MasterRecordAt(3)[33], 'W');
    EXPECT_EQ(ReadFileBytes(dir / "EMASTER")[3 * 192 + 60], 'W');
    EXPECT_EQ(MasterRecordAt(2)[33], 'D');

    auto monthly = Existing("NEW");
    monthly->settings.period = msdb::Period::kMonthly;
    monthly->settings.replaceExisting = true;
    ASSERT_EQ(monthly->Run(), 0) << ::testing::PrintToString(notifier.messages);
    EXPECT_EQ(MasterRecordAt(3)[33], 'M');
    EXPECT_EQ(ReadFileBytes(dir / "EMASTER")[3 * 192 + 60], 'M');
}

TEST_F(TransactionTest, AnEMasterThatDisagreesIsNotFixedAndNothingChanges) {
    std::string emaster = AgreeingEMaster();
    emaster[2 * 192 + 2] = 9;  // another security in slot 2
    WriteFileBytes(dir / "emaster", emaster);
    const Snapshot before = TakeSnapshot(dir.path());
    auto job = Existing("NEW");
    EXPECT_EQ(job->Run(), 1);
    ASSERT_EQ(notifier.messages.size(), 1u);
    EXPECT_EQ(notifier.messages[0].rfind("The EMASTER file " + (dir / "emaster") +
                                             " does not agree with MASTER:\nits record 2 is file "
                                             "number 9, MASTER's is 2.",
                                         0),
              0u)
        << notifier.messages[0];
    Snapshot after = TakeSnapshot(dir.path());
    after.erase("input.txt");
    Snapshot wanted = before;
    wanted.erase("input.txt");
    EXPECT_EQ(after, wanted);
}

TEST_F(TransactionTest, ANewDirectoryGetsAnEMasterOnlyWhenAskedFor) {
    TempDir other;
    auto job = MakeJob(kLine);
    job->settings.directory = other.path();
    job->settings.makeEMaster = true;
    ASSERT_EQ(job->Run(), 0);
    EXPECT_EQ(ListNames(other.path()),
              (std::vector<std::string>{"EMASTER", "F1.DAT", "F1.DOP", "MASTER"}));
    std::string expected = std::string(192, '\0') +
                           msdb::MakeEMasterRecord(1, 7, "XYZ", "XYZ Corp", msdb::ToMbf(990830.0f),
                                                   msdb::ToMbf(990830.0f), kDaily);
    expected[0] = 1;
    expected[2] = 1;
    EXPECT_EQ(ToHex(ReadFileBytes(other / "EMASTER")), ToHex(expected));
}

// A price file of `records` 28-byte records behind its header, which counts them plus one.
std::string PriceFile(int records, char fill) {
    std::string header(28, '\0');
    header[2] = static_cast<char>(records + 1);
    return header + std::string(static_cast<std::size_t>(records) * 28, fill);
}

// One run over a directory of three securities: a record appended to F1.DAT and to F300.MWD in
// place, F5.DAT staged new in pieces and its header patched once they are all there, F2.DAT
// staged whole as a replacement, F5.DOP and MASTER from memory, F3.DAT removed. A file that only
// looks like a staged temporary of another run is there throughout.
class AppendAndStageTest : public ::testing::Test {
protected:
    void Prepare() {
        for (const std::string& name : ListNames(dir.path())) {
            std::filesystem::remove(dir / name);
        }
        WriteFileBytes(dir / "MASTER", "old master");
        WriteFileBytes(dir / "F1.DAT", PriceFile(3, '1'));
        WriteFileBytes(dir / "F300.MWD", PriceFile(2, '3'));
        WriteFileBytes(dir / "F2.DAT", "old F2");
        WriteFileBytes(dir / "F3.DAT", "old F3");
        WriteFileBytes(dir / "F9.DAT.korvex-tmp1", "not this run's");
    }

    static msdb::Status Run(msdb::FileSystem& fs, const std::string& directory) {
        msdb::Transaction transaction(fs, directory);
        transaction.AppendToFile("F1.DAT", 4 * 28, PriceFile(4, '1').substr(0, 28),
                                 std::string(28, 'n'));
        transaction.AppendToFile("f300.mwd", 3 * 28, PriceFile(3, '3').substr(0, 28),
                                 std::string(28, 'm'));
        for (const char* piece : {"header", "-records", "-more records"}) {
            if (msdb::Status s = transaction.StageData("F5.DAT", true, piece); !s.ok()) {
                return s;
            }
        }
        if (msdb::Status s = transaction.StageData("F2.DAT", false, "new F2"); !s.ok()) {
            return s;
        }
        if (msdb::Status s = transaction.PatchStaged("F5.DAT", 0, "HEADER"); !s.ok()) {
            return s;
        }
        transaction.CreateFile("F5.DOP", "dop");
        transaction.RemoveFile("F3.DAT");
        transaction.SetMaster("MASTER", "new master", true, "old master");
        return transaction.Commit();
    }

    TempDir dir;
};

TEST_F(AppendAndStageTest, ACommitAppendsInPlaceAndMovesTheStagedFilesIn) {
    Prepare();
    ASSERT_TRUE(Run(msdb::FileSystem::Default(), dir.path()).ok());
    EXPECT_EQ(ReadFileBytes(dir / "F1.DAT"),
              PriceFile(3, '1').replace(2, 1, "\x05") + std::string(28, 'n'));
    EXPECT_EQ(ReadFileBytes(dir / "F300.MWD"),
              PriceFile(3, '3').replace(28 * 3, 28, std::string(28, 'm')));
    EXPECT_EQ(ReadFileBytes(dir / "F5.DAT"), "HEADER-records-more records");
    EXPECT_EQ(ReadFileBytes(dir / "F2.DAT"), "new F2");
    EXPECT_EQ(ListNames(dir.path()),
              (std::vector<std::string>{"F1.DAT", "F2.DAT", "F300.MWD", "F5.DAT", "F5.DOP",
                                        "F9.DAT.korvex-tmp1", "MASTER", "MASTER.BAK"}));
}

// Killed, failing or losing power at each call in turn (the bytes never synced lost, or all
// written back though no name was): after the next run's recovery every file is exactly as
// before or exactly as after.
TEST_F(AppendAndStageTest, EveryStopLeavesEachFileAsBeforeOrAsAfter) {
    Prepare();
    const Snapshot before = TakeSnapshot(dir.path());
    int calls = 0;
    {
        FaultyFileSystem counting(msdb::FileSystem::Default());
        ASSERT_TRUE(Run(counting, dir.path()).ok());
        calls = counting.operations();
    }
    const Snapshot after = TakeSnapshot(dir.path());
    enum class Fault { kStop, kFail, kCutLost, kCutKept };
    for (Fault fault : {Fault::kStop, Fault::kFail, Fault::kCutLost, Fault::kCutKept}) {
        for (int n = 1; n <= calls; ++n) {
            SCOPED_TRACE("fault " + std::to_string(static_cast<int>(fault)) + " at call " +
                         std::to_string(n));
            Prepare();
            if (fault == Fault::kStop || fault == Fault::kFail) {
                FaultyFileSystem fs(msdb::FileSystem::Default());
                fault == Fault::kStop ? fs.StopAt(n) : fs.FailOperation(n);
                (void)Run(fs, dir.path());
            } else {
                PowerCutFileSystem fs(msdb::FileSystem::Default(), dir.path());
                fs.CutAtOperation(n);
                (void)Run(fs, dir.path());
                fs.Restore(fault == Fault::kCutLost ? PowerCutFileSystem::Unsynced::kLost
                                                    : PowerCutFileSystem::Unsynced::kKept);
            }
            msdb::Recovery recovery;
            ASSERT_TRUE(
                msdb::Transaction(msdb::FileSystem::Default(), dir.path()).Recover(&recovery).ok());
            const Snapshot found = TakeSnapshot(dir.path());
            EXPECT_TRUE(found == before || found == after)
                << ::testing::PrintToString(ListNames(dir.path()));
        }
    }
}

// A journal that the staging began and that is written in several parts, one run appending to
// a thousand files: stopped before it is removed, the next run reads it back whole and finishes.
TEST_F(AppendAndStageTest, ALongJournalBegunByTheStagingReadsBack) {
    auto prepare = [this] {
        Prepare();
        for (int n = 1000; n < 2000; ++n) {
            WriteFileBytes(dir / ("F" + std::to_string(n) + ".MWD"), PriceFile(1, 'x'));
        }
    };
    auto run = [this](msdb::FileSystem& fs) {
        msdb::Transaction transaction(fs, dir.path());
        EXPECT_TRUE(transaction.StageData("F5.DAT", true, "new").ok());
        for (int n = 1000; n < 2000; ++n) {
            transaction.AppendToFile("F" + std::to_string(n) + ".MWD", 2 * 28,
                                     PriceFile(2, 'x').substr(0, 28), std::string(28, 'n'));
        }
        return transaction.Commit();
    };
    prepare();
    int calls = 0;
    {
        FaultyFileSystem counting(msdb::FileSystem::Default());
        ASSERT_TRUE(run(counting).ok());
        calls = counting.operations();
    }
    const Snapshot after = TakeSnapshot(dir.path());
    prepare();
    {
        FaultyFileSystem fs(msdb::FileSystem::Default());
        fs.StopAt(calls - 1);  // the journal's removal, before the last sync
        (void)run(fs);
    }
    msdb::Recovery recovery;
    ASSERT_TRUE(msdb::Transaction(msdb::FileSystem::Default(), dir.path()).Recover(&recovery).ok());
    EXPECT_EQ(recovery.action, msdb::Recovery::Action::kFinished);
    EXPECT_TRUE(TakeSnapshot(dir.path()) == after);
}

// An appended file whose length is not the one read, or that is read-only, refuses the run before
// anything is written; so does a staged new file that is there.
TEST_F(AppendAndStageTest, AChangedOrReadOnlyFileRefusesTheRun) {
    Prepare();
    const Snapshot before = TakeSnapshot(dir.path());
    msdb::Transaction changed(msdb::FileSystem::Default(), dir.path());
    changed.AppendToFile("F1.DAT", 5 * 28, std::string(28, 'h'), std::string(28, 'n'));
    msdb::Status s = changed.Commit();
    EXPECT_TRUE(s.IsBusy());
    EXPECT_EQ(s.message(), "The file " + (dir / "F1.DAT") +
                               " is 112 bytes long, not 140 as when it was read: another program "
                               "changed it.");
    std::filesystem::permissions(
        dir / "F1.DAT", std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    msdb::Transaction readOnly(msdb::FileSystem::Default(), dir.path());
    readOnly.AppendToFile("F1.DAT", 4 * 28, std::string(28, 'h'), std::string(28, 'n'));
    s = readOnly.Commit();
    EXPECT_NE(s.message().find(dir / "F1.DAT" + " is read-only"), std::string::npos) << s.message();
    std::filesystem::permissions(dir / "F1.DAT", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    msdb::Transaction exists(msdb::FileSystem::Default(), dir.path());
    EXPECT_TRUE(exists.StageData("f2.dat", true, "x").IsExists());
    EXPECT_TRUE(exists.Commit().IsExists());
    EXPECT_EQ(TakeSnapshot(dir.path()), before);
}

// A file that a run would change twice, in any letter case, refuses the run before anything is
// written: a staged file replaced as well, an appended file removed as well.
TEST_F(AppendAndStageTest, AFileChangedTwiceRefusesTheRun) {
    Prepare();
    const Snapshot before = TakeSnapshot(dir.path());
    for (int which = 0; which < 2; ++which) {
        msdb::Transaction twice(msdb::FileSystem::Default(), dir.path());
        if (which == 0) {
            ASSERT_TRUE(twice.StageData("F2.DAT", false, "new F2").ok());
            twice.ReplaceFile("f2.dat", "again");
        } else {
            twice.AppendToFile("F1.DAT", 4 * 28, std::string(28, 'h'), std::string(28, 'n'));
            twice.RemoveFile("f1.DAT");
        }
        const msdb::Status s = twice.Commit();
        EXPECT_NE(s.message().find("twice in one run"), std::string::npos) << s.message();
        EXPECT_EQ(TakeSnapshot(dir.path()), before);
    }
}

// A file that the caller read and kept open is measured again when it is written: another
// program's append in between refuses the run, and leaves that program's bytes.
TEST_F(AppendAndStageTest, AKeptFileThatAnotherProgramChangedRefusesTheRun) {
    Prepare();
    msdb::FileAsRead asRead;
    ASSERT_TRUE(msdb::FileSystem::Default().OpenForUpdate(dir / "F1.DAT", &asRead.file).ok());
    ASSERT_TRUE(asRead.file->Info(&asRead.info).ok());
    asRead.prefix = PriceFile(3, '1').substr(0, 28);
    WriteFileBytes(dir / "F1.DAT", PriceFile(3, '1') + "another program's");
    if (std::filesystem::file_size(dir / "F1.DAT") == 4 * 28) {
        GTEST_SKIP() << "Windows keeps other programs from writing to the file kept open";
    }
    const Snapshot before = TakeSnapshot(dir.path());
    msdb::Transaction transaction(msdb::FileSystem::Default(), dir.path());
    transaction.AppendToFile("F1.DAT", 4 * 28, std::string(28, 'h'), std::string(28, 'n'),
                             std::move(asRead));
    const msdb::Status s = transaction.Commit();
    EXPECT_TRUE(s.IsBusy()) << s.message();
    EXPECT_EQ(TakeSnapshot(dir.path()), before);
}

// The journal lists each appended file's length and first bytes, and the ending of the staged
// temporaries; what it reads back is what was written, and a line that no run writes is refused.
// The journal of the largest run there can be (every security MASTER and XMASTER hold, each
// appended to with its header, and a staged file beside it) reads back; one longer than any run
// writes is refused.
TEST(JournalTest, TheLargestRunsJournalReadsBack) {
    TempDir dir;
    std::vector<msdb::JournalEntry> entries = {
        {msdb::JournalEntry::Kind::kStage, "", ".korvex-tmp999", false, 0, ""}};
    for (int n = 1; n <= msdb::kLastXMasterFileNumber; ++n) {
        const std::string mwd = "F" + std::to_string(n) + (n < 256 ? ".DAT" : ".MWD");
        entries.push_back({msdb::JournalEntry::Kind::kAppend, mwd, "", false, 18446744073709551615u,
                           std::string(28, '\x7f')});
        const std::string dop = "F" + std::to_string(n) + ".DOP";
        entries.push_back(
            {msdb::JournalEntry::Kind::kWrite, dop, dop + ".korvex-tmp999", false, 0, ""});
    }
    std::string text = msdb::JournalText(entries);
    ASSERT_LE(text.size(), msdb::kMaxJournalSize);
    auto entryAt = [&entries](std::size_t i) { return entries[i]; };
    EXPECT_EQ(msdb::JournalTextSize(entries.size(), entryAt), text.size());
    WriteFileBytes(dir / "KORVEX.JNL", text);
    msdb::Journal journal;
    ASSERT_TRUE(msdb::ReadJournal(msdb::FileSystem::Default(), dir.path(), &journal).ok());
    EXPECT_EQ(journal.entries.size(), entries.size());
    text.insert(text.size() - 4, msdb::kMaxJournalSize - text.size() + 1, '\n');
    WriteFileBytes(dir / "KORVEX.JNL", text);
    EXPECT_TRUE(msdb::ReadJournal(msdb::FileSystem::Default(), dir.path(), &journal).IsDamaged());
}

TEST(JournalTest, AppendAndStageLinesReadBack) {
    TempDir dir;
    const std::vector<msdb::JournalEntry> entries = {
        {msdb::JournalEntry::Kind::kStage, "", ".korvex-tmp12", false, 0, ""},
        {msdb::JournalEntry::Kind::kWrite, "F5.DAT", "F5.DAT.korvex-tmp12", false, 0, ""},
        {msdb::JournalEntry::Kind::kAppend, "F300.MWD", "", false, 140028, Hex("00 00 6B 13 ff")},
    };
    const std::string text = msdb::JournalText(entries);
    EXPECT_EQ(text,
              "korvex journal 2\nstage 12\nwrite F5.DAT F5.DAT.korvex-tmp12\n"
              "append F300.MWD 140028 00006B13FF\nend\n");
    WriteFileBytes(dir / "KORVEX.JNL", text);
    msdb::Journal journal;
    ASSERT_TRUE(msdb::ReadJournal(msdb::FileSystem::Default(), dir.path(), &journal).ok());
    EXPECT_EQ(journal.entries, entries);
    EXPECT_TRUE(msdb::IsStagedTemporary("f1.dat.korvex-tmp12", entries[0]));
    EXPECT_FALSE(msdb::IsStagedTemporary("F1.DAT.korvex-tmp1", entries[0]));
    EXPECT_FALSE(msdb::IsStagedTemporary("notes.korvex-tmp12", entries[0]));
    for (const char* line : {"append F1.DOP 28 00", "append F1.DAT 1 0000", "append F1.DAT 28 0g",
                             "append F1.DAT -1", "stage 1234", "stage"}) {
        SCOPED_TRACE(line);
        WriteFileBytes(dir / "KORVEX.JNL", std::string("korvex journal 2\n") + line + "\nend\n");
        EXPECT_TRUE(
            msdb::ReadJournal(msdb::FileSystem::Default(), dir.path(), &journal).IsDamaged());
    }
}

}  // namespace
}  // namespace testing_support
