// The settings store: sections and entries of text in the per-user store, integers as decimal
// text, silent failures, and the one-time import of an old INI profile. The same tests run against
// the INI file and the Windows registry; those about the file itself run where the file is the
// store.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "tests/support/TestSupport.h"
#include "ui/PlatformSettingsStore.h"

namespace testing_support {
namespace {

#ifdef _WIN32
// A key of its own for each test, under HKEY_CURRENT_USER (and HKEY_LOCAL_MACHINE, where a test
// puts the machine's values), removed with everything in it afterwards.
std::string FreshKeyPath() {
    static int count = 0;
    return "Software\\Halvorn\\KorvexTest\\" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++count);
}
#endif

// A store on a root that CreateRoot has just made: a settings file in folders that did not exist,
// or on Windows a new registry key.
class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        bool createdNew = false;
        ASSERT_TRUE(store.CreateRoot(path, &createdNew));
        ASSERT_TRUE(createdNew);
#ifndef _WIN32
        ASSERT_TRUE(FileExists(path));
#endif
    }
#ifdef _WIN32
    void TearDown() override {
        for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            RegDeleteTreeA(hive, path.c_str());
        }
    }
#endif

    // What a second store on the same file reads, so that only the file can carry the value.
    std::string ReadFresh(const std::string& section, const std::string& entry) {
        ui::PlatformSettingsStore other;
        bool createdNew = true;
        EXPECT_TRUE(other.CreateRoot(path, &createdNew));
        EXPECT_FALSE(createdNew);
        return other.ReadString(section, entry, "<absent>");
    }

    void Import(const std::string& profile) {
        WriteFileBytes(dir / "Korvex.INI", profile);
        store.ImportIniProfile(dir / "Korvex.INI");
        EXPECT_EQ(ReadFileBytes(dir / "Korvex.INI"), profile);
    }

    TempDir dir;
    std::string folder = dir / "config/Halvorn";
#ifdef _WIN32
    std::string path = FreshKeyPath();
#else
    std::string path = folder + "/Korvex.ini";
#endif
    ui::PlatformSettingsStore store;
};

TEST_F(RegistryStoreTest, FreshFileGivesDefaultsAndWritesCreateTheSection) {
    EXPECT_EQ(store.ReadString("Setting", "DateFormat", "MMDDYY"), "MMDDYY");
    EXPECT_EQ(store.ReadInt("Setting", "DateCol", 1), 1);
    EXPECT_TRUE(store.WriteInt("Setting", "SkipRows", 12));
    EXPECT_EQ(store.ReadInt("Setting", "SkipRows", 0), 12);
    EXPECT_EQ(store.ReadInt("Screen", "SkipRows", 5), 5);
    EXPECT_EQ(ReadFresh("Setting", "SkipRows"), "12");
}

TEST_F(RegistryStoreTest, IntegersAreWrittenAsDecimalText) {
    const std::pair<int, std::string> cases[] = {
        {0, "0"}, {7, "7"}, {-42, "-42"}, {INT_MAX, "2147483647"}, {INT_MIN, "-2147483648"}};
    for (const auto& [value, text] : cases) {
        ASSERT_TRUE(store.WriteInt("Screen", "cx", value));
        EXPECT_EQ(store.ReadString("Screen", "cx", "<absent>"), text);
        EXPECT_EQ(store.ReadInt("Screen", "cx", 99), value);
    }
}

TEST_F(RegistryStoreTest, ReadIntTakesTheLeadingIntegerOrGivesTheDefault) {
    const std::pair<std::string, int> cases[] = {
        {" 7", 7},   {"12abc", 12}, {"-5", -5}, {"+3", 3},    {"007", 7},   {"\t\n 9x", 9},
        {"0x1A", 0}, {"abc", -99},  {"", -99},  {"- 5", -99}, {"x12", -99}, {"-", -99}};
    for (const auto& [text, expected] : cases) {
        ASSERT_TRUE(store.WriteString("Setting", "DateCol", text));
        EXPECT_EQ(store.ReadInt("Setting", "DateCol", -99), expected) << '"' << text << '"';
    }
}

TEST_F(RegistryStoreTest, TextOfTwoHundredSixtyBytesOrMoreReadsAsAbsent) {
    const std::string longest(ui::PlatformSettingsStore::kMaxValueLength - 1, 'a');
    ASSERT_TRUE(store.WriteString("Setting", "Path", longest));
    EXPECT_EQ(store.ReadString("Setting", "Path", "d"), longest);
    for (std::size_t length : {std::size_t{260}, std::size_t{1000}}) {
        ASSERT_TRUE(store.WriteString("Setting", "Path", std::string(length, 'b')));
        EXPECT_EQ(store.ReadString("Setting", "Path", "d"), "d") << length;
    }
    ASSERT_TRUE(store.WriteString("Setting", "SkipRows", "1" + std::string(259, '0')));
    EXPECT_EQ(store.ReadInt("Setting", "SkipRows", 4), 4);
    ASSERT_TRUE(store.WriteString("Setting", "Path", "short"));
    EXPECT_EQ(store.ReadString("Setting", "Path", "d"), "short");
}

TEST_F(RegistryStoreTest, NamesMatchWithoutRegardToAsciiCase) {
    ASSERT_TRUE(store.WriteString("Setting", "Path", "/first"));
    EXPECT_EQ(store.ReadString("SETTING", "path", "d"), "/first");
    ASSERT_TRUE(store.WriteString("setting", "PATH", "/second"));
    EXPECT_EQ(store.ReadString("Setting", "Path", "d"), "/second");
    EXPECT_EQ(ReadFresh("sEtTiNg", "pAtH"), "/second");
    // Bytes outside ASCII are compared as they are.
    ASSERT_TRUE(store.WriteString("\xC4rger", "\xE9t\xE9", "upper"));
    ASSERT_TRUE(store.WriteString("\xE4rger", "\xC9t\xC9", "lower"));
    EXPECT_EQ(store.ReadString("\xC4rger", "\xE9t\xE9", "d"), "upper");
    EXPECT_EQ(store.ReadString("\xE4rger", "\xC9t\xC9", "d"), "lower");
}

TEST_F(RegistryStoreTest, AnyTextInNamesAndValuesReadsBackExactly) {
    struct Case {
        std::string section, entry, value;
    };
    const Case cases[] = {
        {"Setting", "a", "plain"},
        {"Setting", "Path", ""},
        {"[Setting]", "a=b", "x=y"},
        {"Multi\nLine", "Ent\r\nry", "line1\nline2\r\n"},
        {" padded ", " key ", "  both ends  "},
        {"back\\slash", "\\", "C:\\dir\\"},
        {"", "unnamed", "in the section named by the empty text"},
        {"Setting", ";semi#hash", ";not a comment"},
        {"Tab\tbed", "q\"uote", "\"quoted\" 'single'"},
        {"High\x01\x7F\xFF", "\xFE\x80", "\x01\x7F\xFF\xC3\xA9"},
        {"Setting", "b", "\n[Screen]\nx=5\n"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(store.WriteString(c.section, c.entry, c.value)) << c.section << '/' << c.entry;
    }
    for (const Case& c : cases) {
        EXPECT_EQ(store.ReadString(c.section, c.entry, "<absent>"), c.value) << c.entry;
        EXPECT_EQ(ReadFresh(c.section, c.entry), c.value) << c.entry;
    }
    // Nothing leaks from one name into another.
    EXPECT_EQ(store.ReadString("Screen", "x", "<absent>"), "<absent>");
    EXPECT_EQ(store.ReadString("Setting", "a=b", "<absent>"), "<absent>");
    EXPECT_EQ(store.ReadString("Setting", "key", "<absent>"), "<absent>");
    EXPECT_EQ(store.ReadString("padded", " key ", "<absent>"), "<absent>");
}

#ifndef _WIN32
TEST_F(RegistryStoreTest, EveryReadReadsTheFileAndEveryWriteReplacesIt) {
    ASSERT_TRUE(store.WriteString("Setting", "Symbol", "ONE"));
    const std::string saved = ReadFileBytes(path);
    ui::PlatformSettingsStore other;
    bool createdNew = true;
    ASSERT_TRUE(other.CreateRoot(path, &createdNew));
    EXPECT_FALSE(createdNew);
    EXPECT_EQ(other.Path(), path);
    EXPECT_EQ(ReadFileBytes(path), saved);
    ASSERT_TRUE(other.WriteString("Setting", "Symbol", "TWO"));
    EXPECT_EQ(store.ReadString("Setting", "Symbol", "d"), "TWO");
    WriteFileBytes(path, saved);
    EXPECT_EQ(store.ReadString("Setting", "Symbol", "d"), "ONE");

    std::filesystem::remove_all(dir / "config");
    EXPECT_EQ(store.ReadString("Setting", "Symbol", "d"), "d");
    ASSERT_TRUE(store.WriteString("Setting", "Name", "Acme"));
    EXPECT_EQ(ReadFresh("Setting", "Name"), "Acme");
    EXPECT_EQ(ReadFresh("Setting", "Symbol"), "<absent>");
    EXPECT_EQ(ListNames(folder), std::vector<std::string>{"Korvex.ini"});  // no temporary left
}

TEST_F(RegistryStoreTest, UnwritablePlaceFailsSilentlyAndChangesNothing) {
    WriteFileBytes(dir / "blocker", "not a folder");
    const std::string blocked = dir / "blocker/sub/Korvex.ini";
    ui::PlatformSettingsStore other;
    bool createdNew = false;
    EXPECT_FALSE(other.CreateRoot(blocked, &createdNew));
    EXPECT_EQ(other.Path(), blocked);
    EXPECT_FALSE(other.WriteString("Setting", "Path", "/x"));
    EXPECT_FALSE(other.WriteInt("Setting", "SkipOn", 1));
    EXPECT_EQ(other.ReadInt("Setting", "SkipOn", 3), 3);
    EXPECT_EQ(ReadFileBytes(dir / "blocker"), "not a folder");
    EXPECT_EQ(ListNames(dir.path()), (std::vector<std::string>{"blocker", "config"}));
}

TEST_F(RegistryStoreTest, SettingsFileThatCannotBeReadIsNeverReplaced) {
    // A folder where the file should be.
    const std::string folderPath = dir / "taken.ini";
    std::filesystem::create_directory(folderPath);
    ui::PlatformSettingsStore other;
    bool createdNew = false;
    other.CreateRoot(folderPath, &createdNew);
    EXPECT_FALSE(createdNew);
    EXPECT_FALSE(other.WriteString("Setting", "Path", "/x"));
    EXPECT_TRUE(std::filesystem::is_directory(folderPath));
    EXPECT_EQ(other.ReadString("Setting", "Path", "d"), "d");

    // A file without read permission; the superuser reads it all the same.
    if (geteuid() == 0) {
        return;
    }
    ASSERT_TRUE(store.WriteString("Setting", "Path", "/kept"));
    const std::string before = ReadFileBytes(path);
    ASSERT_EQ(chmod(path.c_str(), 0200), 0);
    EXPECT_FALSE(store.WriteString("Setting", "Name", "lost"));
    EXPECT_EQ(store.ReadString("Setting", "Path", "d"), "d");
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(ReadFileBytes(path), before);
}
#endif

#ifndef _WIN32
// Sets or clears an environment variable for one test and puts the old value back afterwards.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        Set(name, value);
    }
    ~EnvVar() { Set(m_name, m_old ? m_old->c_str() : nullptr); }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    static void Set(const char* name, const char* value) {
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }

    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(RegistryStoreDefaultPath, FollowsTheEnvironmentInOrder) {
    EnvVar home("HOME", "/home/tester");
    EnvVar xdg("XDG_CONFIG_HOME", "/xdg");
    {
        EnvVar settings("KORVEX_SETTINGS", "/elsewhere/k.ini");
        EXPECT_EQ(ui::PlatformSettingsStore::DefaultPath(), "/elsewhere/k.ini");
    }
    EnvVar settings("KORVEX_SETTINGS", nullptr);
    EXPECT_EQ(ui::PlatformSettingsStore::DefaultPath(), "/xdg/Halvorn/Korvex.ini");
    EnvVar noXdg("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(ui::PlatformSettingsStore::DefaultPath(), "/home/tester/.config/Halvorn/Korvex.ini");
}
#endif

TEST_F(RegistryStoreTest, ImportFollowsTheProfileLineRules) {
    ASSERT_TRUE(store.WriteString("setting", "dateformat", "MMDDYY"));
    ASSERT_TRUE(store.WriteString("Setting", "Symbol", "KEPT"));
    Import(
        "early=dropped\n"
        "  [ Setting ]  \n"
        "DateFormat=YYMMDD\n"
        "SkipRows=12\n"
        "a = b\n"
        "two==equals\n"
        "   padded=inner  blanks stay   \n"
        "[Setting] goes on\n"
        "[Other]x=1\n"
        "no equals here\n"
        "\t[\tScreen\t]\t\n"
        "x=10\n"
        "[]\n"
        "top=level\n"
        "[Screen]\r\n"
        "cx=640 \r\n");
    EXPECT_EQ(store.ReadString("Setting", "early", "none"), "none");
    EXPECT_EQ(store.ReadString("", "early", "none"), "none");
    EXPECT_EQ(store.ReadString("Setting", "DateFormat", "d"), "YYMMDD");
    EXPECT_EQ(store.ReadInt("Setting", "SkipRows", 0), 12);
    EXPECT_EQ(store.ReadString("Setting", "Symbol", "d"), "KEPT");
    EXPECT_EQ(store.ReadString("Setting", "a ", "d"), " b");
    EXPECT_EQ(store.ReadString("Setting", "a", "none"), "none");
    EXPECT_EQ(store.ReadString("Setting", "two", "d"), "=equals");
    EXPECT_EQ(store.ReadString("Setting", "padded", "d"), "inner  blanks stay");
    EXPECT_EQ(store.ReadString("Setting", "[Other]x", "d"), "1");
    EXPECT_EQ(store.ReadString("Other", "x", "none"), "none");
    EXPECT_EQ(store.ReadInt("Screen", "x", 0), 10);
    EXPECT_EQ(store.ReadString("", "top", "d"), "level");
    EXPECT_EQ(store.ReadString("Screen", "top", "none"), "none");
    EXPECT_EQ(store.ReadString("Screen", "cx", "d"), "640");
    EXPECT_EQ(ReadFresh("Screen", "x"), "10");
}

TEST_F(RegistryStoreTest, ImportReadsALineOfMoreThan519CharactersAsSeveralLines) {
    const std::string head(519, 'p');
    Import("[S]\n" + head + "k=v\n");
    EXPECT_EQ(store.ReadString("S", "k", "none"), "v");
    EXPECT_EQ(store.ReadString("S", head + "k", "none"), "none");
}

TEST_F(RegistryStoreTest, ImportOfAMissingProfileChangesNothing) {
    ASSERT_TRUE(store.WriteString("Setting", "Path", "/data"));
#ifndef _WIN32
    const std::string before = ReadFileBytes(path);
#endif
    store.ImportIniProfile(dir / "missing/Korvex.INI");
    std::filesystem::create_directory(dir / "folder.ini");
    store.ImportIniProfile(dir / "folder.ini");
    EXPECT_EQ(store.ReadString("Setting", "Path", "d"), "/data");
#ifndef _WIN32
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_EQ(ListNames(folder), std::vector<std::string>{"Korvex.ini"});
#endif
}

}  // namespace
}  // namespace testing_support
