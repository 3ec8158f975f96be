// The settings store on Windows, as the registry shows it: sections as subkeys of the user's key,
// entries as REG_SZ text in UTF-16, and the machine-wide key read where the user's has nothing.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "ui/PlatformSettingsStore.h"

namespace {

// A value as the registry holds it: its type and its UTF-16 text.
struct RawValue {
    DWORD type = REG_NONE;
    std::wstring text;
};

std::optional<RawValue> ReadRaw(HKEY hive, const std::wstring& key, const std::wstring& name) {
    RawValue value;
    wchar_t buffer[512] = {};
    DWORD size = sizeof buffer;
    if (RegGetValueW(hive, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &value.type,
                     buffer, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.text.assign(buffer, size / sizeof(wchar_t));
    if (!value.text.empty() && value.text.back() == L'\0') {
        value.text.pop_back();
    }
    return value;
}

std::wstring TextOf(HKEY hive, const std::wstring& key, const std::wstring& name) {
    std::optional<RawValue> value = ReadRaw(hive, key, name);
    return value ? value->text : L"<absent>";
}

void WriteRaw(HKEY hive, const std::wstring& key, const std::wstring& name, DWORD type,
              const void* data, DWORD size) {
    HKEY handle = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(hive, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr),
        ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(handle, name.c_str(), 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(handle);
}

void WriteText(HKEY hive, const std::wstring& key, const std::wstring& name,
               const std::wstring& text) {
    WriteRaw(hive, key, name, REG_SZ, text.c_str(),
             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

class WindowsRegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        bool createdNew = false;
        ASSERT_TRUE(store.CreateRoot(path, &createdNew));
        ASSERT_TRUE(createdNew);
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, wpath.c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, wpath.c_str());
    }

    std::string path =
        "Software\\Halvorn\\KorvexTest\\Registry-" + std::to_string(GetCurrentProcessId());
    std::wstring wpath = std::wstring(path.begin(), path.end());
    ui::PlatformSettingsStore store;
};

TEST_F(WindowsRegistryStoreTest, EntriesAreTextValuesOfSectionKeysUnderTheUsersKey) {
    ASSERT_TRUE(store.WriteInt("Screen", "cx", 640));
    ASSERT_TRUE(store.WriteString("Setting", "Name", "Z\xC3\xBCrich \xE2\x82\xAC"));
    std::optional<RawValue> cx = ReadRaw(HKEY_CURRENT_USER, wpath + L"\\Screen", L"cx");
    ASSERT_TRUE(cx);
    EXPECT_EQ(cx->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(cx->text, L"640");
    EXPECT_EQ(TextOf(HKEY_CURRENT_USER, wpath + L"\\Setting", L"Name"), L"Z\u00FCrich \u20AC");
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, wpath + L"\\Screen", L"cx"));

    // What another program (or regedit) writes there is read as UTF-8; values of other types are
    // not text and read as absent.
    WriteText(HKEY_CURRENT_USER, wpath + L"\\Setting", L"Path", L"C:\\Daten\\\u00C4pfel");
    EXPECT_EQ(store.ReadString("Setting", "Path", "d"), "C:\\Daten\\\xC3\x84pfel");
    const DWORD number = 12;
    WriteRaw(HKEY_CURRENT_USER, wpath + L"\\Setting", L"SkipRows", REG_DWORD, &number,
             sizeof number);
    EXPECT_EQ(store.ReadInt("Setting", "SkipRows", 3), 3);
}

TEST_F(WindowsRegistryStoreTest, MachineValuesAreReadWhereTheUserHasNoneAndNeverWritten) {
    // Under Wine the test may write HKEY_LOCAL_MACHINE; on Windows only an administrator may.
    HKEY probe = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, wpath.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &probe, nullptr) != ERROR_SUCCESS) {
        GTEST_SKIP() << "HKEY_LOCAL_MACHINE cannot be written here to set up the machine's values";
    }
    RegCloseKey(probe);
    WriteText(HKEY_LOCAL_MACHINE, wpath + L"\\Setting", L"DateFormat", L"YYMMDD");
    WriteText(HKEY_LOCAL_MACHINE, wpath + L"\\Setting", L"Symbol", L"MACHINE");
    WriteText(HKEY_LOCAL_MACHINE, wpath + L"\\Setting", L"SkipRows", L"4");
    WriteText(HKEY_LOCAL_MACHINE, wpath + L"\\Machine Only", L"x", L"1");
    ASSERT_TRUE(store.WriteString("Setting", "Symbol", "USER"));

    EXPECT_EQ(store.ReadString("Setting", "DateFormat", "d"), "YYMMDD");
    EXPECT_EQ(store.ReadString("Setting", "Symbol", "d"), "USER");
    EXPECT_EQ(store.ReadInt("Setting", "SkipRows", 0), 4);
    EXPECT_EQ(store.ReadInt("Machine Only", "x", 0), 1);
    EXPECT_EQ(store.ReadString("Setting", "Absent", "d"), "d");

    // A write goes to the user's key and hides the machine's value from then on.
    ASSERT_TRUE(store.WriteString("Setting", "DateFormat", "MMDDYY"));
    EXPECT_EQ(store.ReadString("Setting", "DateFormat", "d"), "MMDDYY");
    EXPECT_EQ(TextOf(HKEY_LOCAL_MACHINE, wpath + L"\\Setting", L"DateFormat"), L"YYMMDD");
    EXPECT_EQ(TextOf(HKEY_CURRENT_USER, wpath + L"\\Setting", L"DateFormat"), L"MMDDYY");
    EXPECT_EQ(TextOf(HKEY_LOCAL_MACHINE, wpath + L"\\Setting", L"Symbol"), L"MACHINE");
}

TEST_F(WindowsRegistryStoreTest, TheRootIsMadeOnceAndSectionNamesNeedNoRules) {
    ui::PlatformSettingsStore other;
    bool createdNew = true;
    ASSERT_TRUE(other.CreateRoot(path, &createdNew));
    EXPECT_FALSE(createdNew);
    // A backslash would split a key name, and a key cannot be unnamed: both still make one section.
    ASSERT_TRUE(store.WriteString("a\\b", "x", "split?"));
    ASSERT_TRUE(store.WriteString("", "x", "unnamed"));
    EXPECT_EQ(other.ReadString("a\\b", "x", "d"), "split?");
    EXPECT_EQ(other.ReadString("a", "x", "d"), "d");
    EXPECT_EQ(other.ReadString("", "x", "d"), "unnamed");
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, wpath + L"\\a\\b", L"x"));
}

}  // namespace
