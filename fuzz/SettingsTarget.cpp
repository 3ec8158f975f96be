// fuzz_settings: the settings store over an arbitrary settings file and an arbitrary old INI
// profile, driven by a list of reads and writes; every value written must read back.
//
// The input is three pieces separated by kSeparator: the settings file, the INI profile and the
// operations. The first byte of the operations says whether the settings file exists before
// CreateRoot (bit 0) and whether the profile is imported (bit 1). Then each operation is a byte (0
// ReadString, 1 ReadInt, 2 WriteString, 3 WriteInt, modulo 4), a section and an entry name (a
// length byte, modulo 25, and the bytes), and for a write the value: two length bytes (the low byte
// and one more bit, so 0 to 511) and the text, or four bytes of an int.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "ui/PlatformSettingsStore.h"

namespace {

constexpr std::string_view kSeparator = "\n~~~\n";
constexpr const char* kAbsent = "\x01(absent)";
constexpr int kAbsentInt = -424242;

// Names compare without regard to the case of ASCII letters, as the store compares them.
std::string Folded(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

struct Written {
    std::string section;
    std::string entry;
    std::string text;
    bool isInt = false;
    int value = 0;
};

// Reads back what was written last under a name: the text itself when it is short enough to be
// kept, else the caller's default.
void Expect(ui::PlatformSettingsStore& store, const Written& w) {
    std::string expected =
        w.text.size() < ui::PlatformSettingsStore::kMaxValueLength ? w.text : std::string(kAbsent);
    std::string got = store.ReadString(w.section, w.entry, kAbsent);
    if (got != expected) {
        fuzz::Fail("[" + w.section + "] " + w.entry + " was written as '" + w.text +
                   "' but reads back as '" + got + "'");
    }
    if (w.isInt && store.ReadInt(w.section, w.entry, kAbsentInt) != w.value) {
        fuzz::Fail("[" + w.section + "] " + w.entry + " was written as the number " +
                   std::to_string(w.value) + " but reads back otherwise");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string_view> pieces =
        fuzz::SplitAt(std::string_view(reinterpret_cast<const char*>(data), size), kSeparator);
    pieces.resize(3);
    fuzz::ByteReader ops(pieces[2]);
    const std::uint8_t flags = ops.Byte();

    fuzz::ScratchDir scratch;
    const std::string settingsPath = scratch / "Halvorn/Korvex.ini";
    const std::string profilePath = scratch / "Korvex.INI";
    if ((flags & 1) != 0) {
        std::filesystem::create_directory(scratch / "Halvorn");
        fuzz::WriteFile(settingsPath, pieces[0]);
    }

    ui::PlatformSettingsStore store;
    bool createdNew = false;
    if (!store.CreateRoot(settingsPath, &createdNew)) {
        fuzz::Fail("CreateRoot cannot make " + settingsPath);
    }
    if (createdNew == ((flags & 1) != 0)) {
        fuzz::Fail(
            "CreateRoot says the settings file was made new when it was not, or not "
            "when it was");
    }
    if ((flags & 2) != 0) {
        fuzz::WriteFile(profilePath, pieces[1]);
        store.ImportIniProfile(profilePath);
    }

    std::map<std::pair<std::string, std::string>, Written> written;
    while (!ops.empty()) {
        const int op = ops.Byte() % 4;
        Written w;
        w.section = ops.Text(24);
        w.entry = ops.Text(24);
        switch (op) {
            case 0:
                (void)store.ReadString(w.section, w.entry, kAbsent);
                continue;
            case 1:
                (void)store.ReadInt(w.section, w.entry, kAbsentInt);
                continue;
            case 2: {
                std::size_t length = ops.Byte();
                length += (ops.Byte() & 1) != 0 ? 256 : 0;
                w.text = ops.Take(length);
                if (!store.WriteString(w.section, w.entry, w.text)) {
                    fuzz::Fail("a value could not be written to " + settingsPath);
                }
                break;
            }
            default: {
                std::string bytes = ops.Take(4);
                std::uint32_t bits = 0;
                std::memcpy(&bits, bytes.data(), bytes.size());
                w.isInt = true;
                w.value = static_cast<int>(bits);
                w.text = std::to_string(w.value);
                if (!store.WriteInt(w.section, w.entry, w.value)) {
                    fuzz::Fail("a number could not be written to " + settingsPath);
                }
                break;
            }
        }
        Expect(store, w);
        written[{Folded(w.section), Folded(w.entry)}] = w;
    }
    for (const auto& [name, w] : written) {
        Expect(store, w);
    }
    return 0;
}
