// A run stopped or failing at each of its file-system calls in turn: the next run that writes finds
// the directory exactly as it was before the run, or exactly as the run leaves it, finishes or
// undoes what it finds, and then does its own work; `check` calls the result sound. Also the
// journal's own rules: plain names only, and nothing touched but what it lists.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <functional>
#include <thread>

#include "engine/DatabaseRun.h"
#include "engine/RemoveSecurity.h"
#include "msdb/EMaster.h"
#include "msdb/Journal.h"
#include "tests/cli/RunCli.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/JobFixture.h"
#include "tests/support/PowerCutFileSystem.h"

namespace testing_support {
namespace {

enum class Fault {
    kStop,      // killed before the call, then the directory moved elsewhere
    kFail,      // the call fails with an I/O error, and only that one
    kPowerCut,  // the power goes before the call: only what was synced is kept
};

struct Outcome {
    int result = 0;
    engine::DirectoryEffect effect;
};

// The names of the files that differ between two snapshots.
std::string Differences(const Snapshot& a, const Snapshot& b) {
    std::string text;
    for (const auto& [name, bytes] : a) {
        if (b.count(name) == 0 || b.at(name) != bytes) {
            text += " " + name;
        }
    }
    for (const auto& entry : b) {
        if (a.count(entry.first) == 0) {
            text += " " + entry.first;
        }
    }
    return text;
}

class RecoveryTest : public JobFixture {
protected:
    void SetUp() override { db_ = dir / "db"; }

    const std::string& Db() const { return db_; }
    // A file of the directory, as Korvex names it in its messages.
    std::string At(const std::string& name) const { return NativePath(db_ + "/" + name); }

    void Fresh() {
        std::filesystem::remove_all(Db());
        std::filesystem::create_directory(Db());
    }

    // ABC and DEF with their files, and an EMASTER that agrees, or `count` such securities.
    void Securities(int count) {
        Fresh();
        std::vector<std::string> records;
        std::string emaster(msdb::kEMasterRecordSize, '\0');
        emaster[0] = static_cast<char>(count);
        emaster[2] = static_cast<char>(count);
        for (int n = 1; n <= count; ++n) {
            const std::string symbol =
                count == 2 ? (n == 1 ? "ABC" : "DEF") : "S" + std::to_string(n);
            records.push_back(OtherMasterRecord(n, symbol, symbol + " Inc"));
            emaster += msdb::MakeEMasterRecord(static_cast<std::uint8_t>(n), 5, symbol,
                                               symbol + " Inc", msdb::ToMbf(990101.0f),
                                               msdb::ToMbf(991231.0f), msdb::Period::kDaily);
            WriteFileBytes(At(msdb::DatFileName(n)), msdb::MakeDatHeader(5));
            WriteFileBytes(At(msdb::DopFileName(n)),
                           "\"DATE\",0,0\r\n\"HIGH\",4,4\r\n\"LOW\",4,4\r\n\"CLOSE\",4,4\r\n"
                           "\"VOL\",4,4\r\n");
        }
        WriteFileBytes(At("MASTER"), MasterWith(records));
        WriteFileBytes(At("EMASTER"), emaster);
    }

    Outcome Convert(msdb::FileSystem* fs, const std::string& symbol, const std::string& text,
                    const std::function<void(engine::ConversionSettings&)>& tune) {
        auto job = MakeJob(text, fs);
        job->settings.directory = Db();
        job->settings.symbol = symbol;
        job->settings.master = engine::MasterChoice::kUseExisting;
        tune(job->settings);
        Outcome outcome{job->Run(), {}};
        outcome.effect = job->job->Effect();
        return outcome;
    }

    // The next run: NEXT converted into the directory, into a new MASTER when it has none and
    // will have none once a stopped run is finished.
    int Next() {
        notifier.messages.clear();
        return Convert(nullptr, "NEXT", DailyLines(5),
                       [&](engine::ConversionSettings& s) {
                           s.xmaster = true;  // a full MASTER takes it into XMASTER
                           if (!FileExists(At("MASTER")) && !FileExists(At("KORVEX.CMT"))) {
                               s.master = engine::MasterChoice::kMakeNew;
                           }
                       })
            .result;
    }

    // The run as it is tried: before each call in turn stopped, failed or cut, for every fault.
    void Sweep(const std::function<void()>& prepare,
               const std::function<Outcome(msdb::FileSystem*)>& run,
               std::initializer_list<Fault> faults = {Fault::kStop, Fault::kFail,
                                                      Fault::kPowerCut}) {
        const std::string db = Db();
        const std::string moved = dir / "moved";
        prepare();
        const Snapshot before = TakeSnapshot(db);
        ASSERT_EQ(Next(), 0) << ::testing::PrintToString(notifier.messages);
        const Snapshot beforeNext = TakeSnapshot(db);
        prepare();
        int calls = 0;
        {
            FaultyFileSystem counting(msdb::FileSystem::Default());
            ASSERT_EQ(run(&counting).result, 0) << ::testing::PrintToString(notifier.messages);
            calls = counting.operations();
        }
        const Snapshot complete = TakeSnapshot(db);
        ASSERT_EQ(Next(), 0);
        const Snapshot completeNext = TakeSnapshot(db);
        // The points, for the figures of scripts/reliability.sh.
        calls_ += (calls_.empty() ? "" : " / ") + std::to_string(calls);
        RecordProperty("calls", calls_);
        RecordProperty("faults", faults.size() == 3 ? "stopped, failed, cut" : "stopped, failed");
        for (Fault fault : faults) {
            for (int n = 1; n <= calls; ++n) {
                SCOPED_TRACE("fault " + std::to_string(static_cast<int>(fault)) + " at call " +
                             std::to_string(n));
                prepare();
                notifier.messages.clear();
                if (fault == Fault::kPowerCut) {
                    PowerCutFileSystem fs(msdb::FileSystem::Default(), db);
                    fs.CutAtOperation(n);
                    (void)run(&fs);
                    fs.Restore();
                } else {
                    FaultyFileSystem fs(msdb::FileSystem::Default());
                    fault == Fault::kStop ? fs.StopAt(n) : fs.FailOperation(n);
                    const Outcome outcome = run(&fs);
                    SCOPED_TRACE(fs.log()[static_cast<std::size_t>(n - 1)]);
                    ExpectTheTruthIsTold(outcome, before, complete);
                }
                if (fault == Fault::kStop) {
                    // Moved while it waited for the next run: the journal names no paths.
                    std::filesystem::rename(db, moved);
                    db_ = moved;
                }
                ASSERT_EQ(Next(), 0) << ::testing::PrintToString(notifier.messages);
                const Snapshot after = TakeSnapshot(Db());
                EXPECT_TRUE(after == beforeNext || after == completeNext)
                    << "differs from before + next in" << Differences(after, beforeNext)
                    << "; from complete + next in" << Differences(after, completeNext);
                const CliOutcome checked = RunCli({"check", Db()});
                EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
                if (fault == Fault::kStop) {
                    std::filesystem::rename(moved, db);
                    db_ = db;
                }
            }
        }
    }

    // A run's last words say what is so, also when every call from one on fails (as on a disk
    // that turns read-only): nothing changed only when nothing was; what is left is there; a run
    // that committed and finished is complete.
    void ExpectTheTruthIsTold(const Outcome& outcome, const Snapshot& before,
                              const Snapshot& complete) {
        const Snapshot after = TakeSnapshot(Db());
        if (outcome.result != 0) {
            EXPECT_FALSE(outcome.effect.committed);
            const std::string last = engine::NotChangedMessage(outcome.effect);
            if (last.starts_with("Nothing in ")) {
                EXPECT_EQ(Differences(after, before), "") << last;
            }
            for (const std::string& name : outcome.effect.leftovers) {
                EXPECT_TRUE(after.count(name) != 0) << name;
            }
        } else if (outcome.effect.finished) {
            EXPECT_EQ(Differences(after, complete), "");
        } else {
            EXPECT_TRUE(after.count("KORVEX.CMT") != 0);
        }
    }

    std::string db_;
    std::string calls_;
};

TEST_F(RecoveryTest, ANewDirectoryWithAndWithoutEMaster) {
    for (bool emaster : {false, true}) {
        SCOPED_TRACE(emaster ? "with EMASTER" : "without EMASTER");
        Sweep([&] { Fresh(); },
              [&](msdb::FileSystem* fs) {
                  return Convert(fs, "XYZ", DailyLines(300), [&](engine::ConversionSettings& s) {
                      s.master = engine::MasterChoice::kMakeNew;
                      s.makeEMaster = emaster;
                  });
              });
    }
}

TEST_F(RecoveryTest, AnAdditionToFiftySecuritiesWithEMaster) {
#ifdef _WIN32
    constexpr int kSecurities = 5;  // each file costs Wine many times what it costs Linux
#else
    constexpr int kSecurities = 50;
#endif
    Sweep([&] { Securities(kSecurities); },
          [&](msdb::FileSystem* fs) {
              return Convert(fs, "XYZ", DailyLines(300), [](engine::ConversionSettings&) {});
          });
}

TEST_F(RecoveryTest, AReplaceAndARemoval) {
    Sweep([&] { Securities(2); },
          [&](msdb::FileSystem* fs) {
              return Convert(fs, "DEF", DailyLines(300),
                             [](engine::ConversionSettings& s) { s.replaceExisting = true; });
          });
    Sweep([&] { Securities(2); },
          [&](msdb::FileSystem* fs) {
              engine::JobServices services;
              services.fileSystem = fs;
              services.notifier = &notifier;
              engine::RemovalReport report;
              const int result = engine::RemoveSecurity(Db(), "DEF", services, &report);
              return Outcome{result, report.effect};
          });
}

// The 256th security: a new XMASTER, F256.MWD and F256.DOP, MASTER and EMASTER left as they are.
// Each point makes 255 securities' files afresh, which under Wine takes minutes for the three
// faults: there the run is stopped only, the fault that recovery has to finish or undo.
TEST_F(RecoveryTest, AnAdditionPastMastersLimitToANewXMaster) {
    const auto prepare = [&] { Securities(msdb::kMaxSecurities); };
    const auto run = [&](msdb::FileSystem* fs) {
        return Convert(fs, "XYZ", DailyLines(300),
                       [](engine::ConversionSettings& s) { s.xmaster = true; });
    };
#ifdef _WIN32
    Sweep(prepare, run, {Fault::kStop});
#else
    Sweep(prepare, run);
#endif
}

// One run that updates ABC and DEF and adds GHI, from a file whose symbol column interleaves them;
// then read twice, as a large file is, GHI's lines going out while the file is read.
TEST_F(RecoveryTest, AnUpdateAndAnAdditionInOneRun) {
    for (bool streamed : {false, true}) {
        SCOPED_TRACE(streamed ? "read twice" : "read once");
        Sweep([&] { Securities(2); },
              [&](msdb::FileSystem* fs) {
                  WriteFileBytes(dir / "day.txt",
                                 streamed ? "GHI,010224,3,2,2.5,10\nABC,010224,2,1,1.5,100\n"
                                            "DEF,010224,4,3,3.5,20\nABC,010324,2,1,1.75,100\n"
                                          : "ABC,010224,2,1,1.5,100\nGHI,010224,3,2,2.5,10\n"
                                            "DEF,010224,4,3,3.5,20\nABC,010324,2,1,1.75,100\n");
                  engine::ConversionSettings settings;
                  settings.directory = Db();
                  settings.update = true;
                  settings.columns.symbol = 1;
                  for (engine::PriceField field : msdb::kPriceFields) {
                      settings.fields[field] = {false, 1};
                  }
                  settings.fields[engine::PriceField::kDate] = {true, 2};
                  settings.fields[engine::PriceField::kHigh] = {true, 3};
                  settings.fields[engine::PriceField::kLow] = {true, 4};
                  settings.fields[engine::PriceField::kClose] = {true, 5};
                  settings.fields[engine::PriceField::kVolume] = {true, 6};
                  engine::JobServices services;
                  services.fileSystem = fs;
                  services.notifier = &notifier;
                  services.clock = &clock;
                  engine::DatabaseRun run(settings, {{dir / "day.txt", {}, {}}}, {}, services);
                  run.SetStreamedFileSize(streamed ? 1 : engine::DatabaseRun::kStreamedFileSize);
                  run.SetHeldBytes(streamed ? 1 : engine::DatabaseRun::kHeldBytes);
                  const int result = run.Run();
                  return Outcome{result, run.Effect()};
              });
    }
}

// Through the command line, a security past MASTER's 255: refused without --xmaster with nothing
// changed; with it, listed, exported and checked exactly as converted; then removed again.
TEST_F(RecoveryTest, ASecurityPastMastersLimitMakesTheRoundTrip) {
    Securities(msdb::kMaxSecurities);
    WriteFileBytes(dir / "big.csv", "083099,7.25\n083199,7.5\n");
    const std::vector<std::string> convert = {"convert",   dir / "big.csv", "--dir",  Db(),
                                              "--symbol",  "BIG",           "--name", "Big Co",
                                              "--columns", "date=1,close=2"};
    const Snapshot full = TakeSnapshot(Db());
    const CliOutcome refused = RunCli(convert);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("give --xmaster on the command line"), std::string::npos)
        << refused.err;
    EXPECT_EQ(TakeSnapshot(Db()), full);

    std::vector<std::string> withXMaster = convert;
    withXMaster.push_back("--xmaster");
    const CliOutcome added = RunCli(withXMaster);
    ASSERT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(added.out, "Converted 2 price records of BIG into " + At("F256.MWD") +
                             " (1999-08-30 to 1999-08-31).\n");
    const CliOutcome listed = RunCli({"list", Db(), "--csv"});
    EXPECT_TRUE(listed.out.ends_with("\n.,F256,BIG,Big Co,DATE CLOSE,1999-08-30,1999-08-31,2,D\n"))
        << listed.out;
    EXPECT_EQ(RunCli({"export", Db(), "big"}).out, "Date,Close\n1999-08-30,7.25\n1999-08-31,7.5\n");
    const CliOutcome checked = RunCli({"check", Db()});
    EXPECT_EQ(checked.out, Db() + ": sound; 256 securities checked\n") << checked.err;

    const std::string xmaster = ReadFileBytes(At("XMASTER"));
    const CliOutcome removed = RunCli({"remove", Db(), "big"});
    ASSERT_EQ(removed.status, 0) << removed.err;
    EXPECT_EQ(removed.out, "Removed big (F256.MWD) from " + Db() + ".\n");
    EXPECT_EQ(ReadFileBytes(At("XMASTER.BAK")), xmaster);
    EXPECT_EQ(ToHex(ReadFileBytes(At("XMASTER"))),
              ToHex(Hex("5D FE 58 4D 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01") +
                    std::string(130, '\0')));
    Snapshot after = TakeSnapshot(Db());
    after.erase("XMASTER");
    after.erase("XMASTER.BAK");
    EXPECT_EQ(after, full);
    EXPECT_EQ(RunCli({"check", Db()}).status, 0);
}

// The new MASTER is byte for byte the old one (same name, dates and field count), but the
// fields differ: only the journal can tell whether the run committed.
TEST_F(RecoveryTest, AReplaceThatLeavesMasterAsItWas) {
    const std::string input = DailyLines(300, ",1,2,3,4,5");
    auto fields = [&](engine::ConversionSettings& s, std::initializer_list<engine::PriceField> on) {
        for (engine::PriceField field : msdb::kPriceFields) {
            s.fields[field] = {false, 1};
        }
        int column = 1;
        for (engine::PriceField field : on) {
            s.fields[field] = {true, column++};
        }
    };
    using F = engine::PriceField;
    auto prepare = [&] {
        Fresh();
        ASSERT_EQ(Convert(nullptr, "SAME", input,
                          [&](engine::ConversionSettings& s) {
                              s.master = engine::MasterChoice::kMakeNew;
                              fields(s, {F::kDate, F::kOpen, F::kHigh, F::kLow, F::kClose});
                          })
                      .result,
                  0);
    };
    auto replace = [&](msdb::FileSystem* fs) {
        return Convert(fs, "SAME", input, [&](engine::ConversionSettings& s) {
            s.replaceExisting = true;
            fields(s, {F::kDate, F::kHigh, F::kLow, F::kClose, F::kVolume});
        });
    };
    prepare();
    const std::string master = ReadFileBytes(At("MASTER"));
    ASSERT_EQ(replace(nullptr).result, 0);
    ASSERT_EQ(ReadFileBytes(At("MASTER")), master);
    Sweep(prepare, replace);
}

#ifndef _WIN32
// A MASTER that is a symbolic link: a run stopped while its target was replaced leaves nothing
// beside the target that stands in a later run's way.
TEST_F(RecoveryTest, AMasterThatIsALink) {
    TempDir elsewhere;
    Sweep(
        [&] {
            Securities(2);
            std::filesystem::remove_all(elsewhere / "real");
            std::filesystem::create_directory(elsewhere / "real");
            std::filesystem::rename(At("MASTER"), elsewhere / "real/MASTER");
            std::filesystem::create_symlink(elsewhere / "real/MASTER", At("MASTER"));
        },
        [&](msdb::FileSystem* fs) {
            return Convert(fs, "XYZ", DailyLines(300), [](engine::ConversionSettings&) {});
        },
        {Fault::kStop, Fault::kFail});  // the power-cut model keeps one directory only
    EXPECT_TRUE(std::filesystem::is_symlink(At("MASTER")));
}
#endif

// The files involved are named by check until the next run, or recover, deals with them.
TEST_F(RecoveryTest, CheckNamesAStoppedRunAndRecoverFinishesOrUndoesIt) {
    for (bool committed : {false, true}) {
        SCOPED_TRACE(committed ? "after the commit" : "before it");
        Securities(2);
        int stopAt = 0;
        {
            FaultyFileSystem counting(msdb::FileSystem::Default());
            ASSERT_EQ(Convert(&counting, "XYZ", DailyLines(30), [](auto&) {}).result, 0);
            const std::vector<std::string>& log = counting.log();
            for (std::size_t i = 0; i < log.size() && stopAt == 0; ++i) {
                if (log[i].starts_with("rename") && log[i].ends_with("KORVEX.CMT")) {
                    stopAt = static_cast<int>(i) + (committed ? 3 : 1);  // after the sync
                }
            }
        }
        Securities(2);
        FaultyFileSystem stopped(msdb::FileSystem::Default());
        stopped.StopAt(stopAt);
        (void)Convert(&stopped, "XYZ", DailyLines(30), [](auto&) {});
        const CliOutcome checked = RunCli({"check", Db()});
        EXPECT_EQ(checked.status, committed ? 1 : 0) << checked.out;
        const std::string journal = At(committed ? "KORVEX.CMT" : "KORVEX.JNL");
        EXPECT_NE(checked.out.find(journal + (committed ? ": a run was stopped after its commit"
                                                        : ": note: a run was stopped before")),
                  std::string::npos)
            << checked.out;
        EXPECT_NE(checked.out.find(committed ? "F3.DAT.korvex-tmp becomes F3.DAT"
                                             : "removing: F3.DOP.korvex-tmp, F3.DAT.korvex-tmp"),
                  std::string::npos)
            << checked.out;
        const CliOutcome recovered = RunCli({"recover", Db()});
        EXPECT_EQ(recovered.status, 0);
        EXPECT_EQ(recovered.out.rfind("The run that was stopped in " + Db() +
                                          (committed ? " after its commit was finished ("
                                                     : " before its commit was undone ("),
                                      0),
                  0u)
            << recovered.out;
        EXPECT_EQ(
            RunCli({"check", Db()}).out,
            Db() + ": sound; " + (committed ? "3 securities checked\n" : "2 securities checked\n"));
        EXPECT_EQ(RunCli({"recover", Db()}).out,
                  "No run was stopped in " + Db() + "; there is nothing to recover.\n");
    }
}

// Without a MASTER, check still names what a stopped run left: its journal, or price files.
TEST_F(RecoveryTest, CheckOfADirectoryWithoutMasterNamesWhatIsThere) {
    Fresh();
    WriteFileBytes(At("F1.DAT"), msdb::MakeDatHeader(7));
    WriteFileBytes(At("F1.DAT.korvex-tmp"), "new");
    WriteFileBytes(At("KORVEX.JNL"), "korvex journal 2\nwrite F1.DAT F1.DAT.korvex-tmp\nend\n");
    const CliOutcome checked = RunCli({"check", Db()});
    EXPECT_EQ(checked.status, 2);
    EXPECT_EQ(checked.out, At("KORVEX.JNL") +
                               ": note: a run was stopped before its commit; the "
                               "directory's files are as they were, and the next run into " +
                               Db() + ", or 'korvex-cli recover " + Db() +
                               "', undoes it by removing: F1.DAT.korvex-tmp, KORVEX.JNL\n" +
                               At("F1.DAT") +
                               ": note: there is no MASTER to list file number 1 (an "
                               "interrupted conversion may have left it)\n");
    // A stopped run of many securities: the first ten of its files and how many more, there and
    // when the files are removed.
    std::filesystem::remove(At("F1.DAT"));
    std::string journal = "korvex journal 2\n";
    for (int n = 1; n <= 12; ++n) {
        const std::string name = "F" + std::to_string(n) + ".DAT";
        WriteFileBytes(At(name + ".korvex-tmp"), "new");
        journal += "write " + name + " " + name + ".korvex-tmp\n";
    }
    WriteFileBytes(At("KORVEX.JNL"), journal + "end\n");
    const std::string many = RunCli({"check", Db()}).out;
    EXPECT_NE(many.find(", F9.DAT.korvex-tmp, F10.DAT.korvex-tmp and 3 more\n"), std::string::npos)
        << many;
    const std::string recovered = RunCli({"recover", Db()}).out;
    EXPECT_NE(recovered.find(", F9.DAT.korvex-tmp, F10.DAT.korvex-tmp and 3 more removed)"),
              std::string::npos)
        << recovered;
}

// A journal that no run of Korvex can have written stops every run that writes, and nothing is
// touched: not the files it names, not the directory's own.
TEST_F(RecoveryTest, APlantedJournalChangesNothing) {
    TempDir outside;
    WriteFileBytes(outside / "notes", "mine");
    const std::string escape = "../" + std::filesystem::path(outside.path()).filename().string();
    const struct {
        const char* file;
        std::string text;
    } planted[] = {
        {"KORVEX.JNL",
         "korvex journal 1\nmaster " + Db() + "/MASTER 1\nold " + escape + "/notes\n"},
        {"KORVEX.CMT", "korvex journal 2\nwrite " + escape + "/notes x.korvex-tmp\nend\n"},
        {"KORVEX.CMT", "korvex journal 2\nwrite " + outside.path() + "/notes x.korvex-tmp\nend\n"},
        {"KORVEX.JNL", "korvex journal 2\nwrite F1.DAT notes\nend\n"},
        {"KORVEX.CMT", "korvex journal 2\nremove MASTER\nend\n"},
        {"KORVEX.CMT", "korvex journal 2\nremove F1.DAT\n"},  // a committed journal is whole
    };
    for (const auto& [file, text] : planted) {
        SCOPED_TRACE(text);
        Securities(2);
        WriteFileBytes(dir / "input.txt", DailyLines(5));
        WriteFileBytes(At(file), text);
        const Snapshot before = TakeSnapshot(Db());
        const CliOutcome converted = RunCli({"convert", dir / "input.txt", "--dir", Db(),
                                             "--symbol", "XYZ", "--date-format", "MMDDYY"});
        EXPECT_EQ(converted.status, 1);
        EXPECT_NE(converted.err.find("korvex: The journal " + At(file) +
                                     " is not one that Korvex wrote: "),
                  std::string::npos)
            << converted.err;
        EXPECT_NE(converted.err.find("korvex: Nothing in " + Db() + " was changed."),
                  std::string::npos);
        EXPECT_EQ(RunCli({"convert", dir / "input.txt", "--dir", Db(), "--symbol", "XYZ",
                          "--date-format", "MMDDYY", "--dry-run"})
                      .status,
                  1);  // as a real run would
        EXPECT_EQ(TakeSnapshot(Db()), before);
        EXPECT_EQ(ReadFileBytes(outside / "notes"), "mine");
        EXPECT_EQ(RunCli({"check", Db()}).status, 1);
    }
}

// The user's own files with the endings of temporaries are never taken for a run's, and a
// directory of such a name stands in no run's way.
TEST_F(RecoveryTest, FilesNamedLikeTemporariesAreLeftAlone) {
    Securities(2);
    WriteFileBytes(At("F3.DAT.korvex-tmp"), "mine");
    WriteFileBytes(At("MASTER.korvex-old"), "mine too");
    std::filesystem::create_directory(At("MASTER.korvex-tmp"));
    std::filesystem::create_directory(At("F3.DOP.korvex-tmp"));
    ASSERT_EQ(Next(), 0) << ::testing::PrintToString(notifier.messages);
    EXPECT_EQ(ReadFileBytes(At("F3.DAT.korvex-tmp")), "mine");
    EXPECT_EQ(ReadFileBytes(At("MASTER.korvex-old")), "mine too");
    EXPECT_TRUE(std::filesystem::is_directory(At("MASTER.korvex-tmp")));
    EXPECT_TRUE(FileExists(At("F3.DAT")));
    const CliOutcome checked = RunCli({"check", Db()});
    EXPECT_EQ(checked.status, 0);
    EXPECT_NE(checked.out.find(At("F3.DAT.korvex-tmp") + ": note: no journal lists it"),
              std::string::npos)
        << checked.out;
}

// check takes the lock shared: a run's commit, which moves several files one after another, is
// never read half done.
TEST_F(RecoveryTest, CheckWaitsForARunThatHoldsTheDirectory) {
    Securities(2);
    std::unique_ptr<msdb::DirectoryLock> held;
    ASSERT_TRUE(msdb::FileSystem::Default().LockDirectory(Db(), &held).ok());
    // Half of a commit: the new F3 files in place, MASTER still to come.
    WriteFileBytes(At("F3.DAT"), msdb::MakeDatHeader(7));
    WriteFileBytes(At("MASTER.korvex-tmp"), "new");
    WriteFileBytes(At("KORVEX.CMT"),
                   "korvex journal 2\nwrite F3.DAT F3.DAT.korvex-tmp\n"
                   "write MASTER MASTER.korvex-tmp\nend\n");
    std::thread commit([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        for (const char* name : {"F3.DAT", "MASTER.korvex-tmp", "KORVEX.CMT"}) {
            std::filesystem::remove(At(name));  // undone, as if it had never been
        }
        held.reset();
    });
    const CliOutcome checked = RunCli({"check", Db()});
    commit.join();
    EXPECT_EQ(checked.out, Db() + ": sound; 2 securities checked\n");
}

}  // namespace
}  // namespace testing_support
