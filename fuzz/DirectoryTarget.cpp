// fuzz_directory: an arbitrary MetaStock-format directory tree read by the tree walks, looked up,
// listed, exported, checked, and then extended by a conversion that uses its MASTER.
//
// The input is a list of pieces separated by kSeparator. The first byte of a piece picks a path of
// kEntries (byte - 'A', modulo their number) and the rest of the piece is that file's contents;
// directory and link entries ignore their contents. So a packed tree reads as "A<MASTER bytes>",
// separator, "B<F1.DAT bytes>", and so on. Whatever the MASTER files say, nothing outside the tree
// may be read as part of it or written.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ConversionJob.h"
#include "fuzz/FuzzSupport.h"
#include "msdb/Encoding.h"
#include "msdb/FileSystem.h"
#include "msdb/Master.h"
#include "msdb/MasterTree.h"
#include "msdb/Reader.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSeparator = "\n~~~\n";

enum class Kind { File, Directory, Link };

struct Entry {
    Kind kind;
    const char* path;
    const char* target;  // of a link
};

// The paths a piece can fill, picked by 'A' + index. Among them: a sub-directory tree two levels
// deep and a second one, a MASTER in another letter case, temporaries of an interrupted run, a
// directory where a price file belongs, and links that lead back into the tree or out of it.
constexpr Entry kEntries[] = {
    {Kind::File, "MASTER", nullptr},            // A
    {Kind::File, "F1.DAT", nullptr},            // B
    {Kind::File, "F1.DOP", nullptr},            // C
    {Kind::File, "F2.DAT", nullptr},            // D
    {Kind::File, "F2.DOP", nullptr},            // E
    {Kind::File, "SUB/MASTER", nullptr},        // F
    {Kind::File, "SUB/F1.DAT", nullptr},        // G
    {Kind::File, "SUB/F1.DOP", nullptr},        // H
    {Kind::File, "SUB/INNER/MASTER", nullptr},  // I
    {Kind::File, "SUB/INNER/F1.DAT", nullptr},  // J
    {Kind::File, "SUB/INNER/F1.DOP", nullptr},  // K
    {Kind::File, "OTHER/MASTER", nullptr},      // L
    {Kind::File, "OTHER/F2.DAT", nullptr},      // M
    {Kind::File, "OTHER/F2.DOP", nullptr},      // N
    {Kind::File, "master", nullptr},            // O
    {Kind::File, "F255.DAT", nullptr},          // P
    {Kind::File, "MASTER.~NU", nullptr},        // Q
    {Kind::File, "F1.NEW", nullptr},            // R
    {Kind::Directory, "F3.DAT", nullptr},       // S
    {Kind::Link, "LOOP", "."},                  // T
    {Kind::Link, "UP", ".."},                   // U
    {Kind::Link, "SUB/BACK", ".."},             // V
    {Kind::File, "F3.DOP", nullptr},            // W
    {Kind::File, "SUB/F2.DAT", nullptr},        // X
    {Kind::File, "SUB/F2.DOP", nullptr},        // Y
    {Kind::Link, "OTHER/TWIN", "../SUB"},       // Z
};
constexpr std::size_t kEntryCount = sizeof kEntries / sizeof kEntries[0];

// The price file that the conversion into the tree reads: CCYYMMDD dates, all seven fields.
constexpr std::string_view kPrices =
    "20261201,10.5,11,10.25,10.75,120000,310\n"
    "20261202,10.75,11.5,10.5,11.25,98000,305\n"
    "20261203,11.25,11.25,10,10.5,143500,299\n";

void Build(const std::string& tree, std::string_view data) {
    for (std::string_view piece : fuzz::SplitAt(data, kSeparator)) {
        if (piece.empty()) {
            continue;
        }
        const Entry& entry = kEntries[static_cast<std::uint8_t>(piece.front() - 'A') % kEntryCount];
        fs::path path = fs::path(tree) / entry.path;
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        if (fs::exists(fs::symlink_status(path, ec))) {
            continue;  // a second piece for the same path keeps the first
        }
        switch (entry.kind) {
            case Kind::File:
                fuzz::WriteFile(path.string(), piece.substr(1));
                break;
            case Kind::Directory:
                fs::create_directory(path, ec);
                break;
            case Kind::Link:
                fs::create_directory_symlink(entry.target, path, ec);
                break;
        }
    }
}

bool IsInside(const std::string& path, const std::string& root) {
    std::error_code ec;
    std::string canonical = fs::canonical(path.empty() ? "." : path, ec).string();
    return !ec && (canonical == root || canonical.rfind(root + "/", 0) == 0);
}

// The symbol of the first record of the tree's MASTER, when it has one.
std::string FirstSymbol(const std::string& tree) {
    std::optional<std::string> path;
    msdb::Master master;
    if (!msdb::LocateMaster(msdb::FileSystem::Default(), tree, &path).ok() || !path ||
        !msdb::Master::Read(msdb::FileSystem::Default(), *path, &master).ok() ||
        master.RecordsPresent() == 0) {
        return "KVX";
    }
    return msdb::DescribeSecurity(tree, 1, master.Record(1)).symbol;
}

void LookUp(const std::string& start, const std::string& root, const std::string& symbol) {
    std::optional<msdb::FoundSecurity> found =
        msdb::FindSecurity(msdb::FileSystem::Default(), start, symbol);
    if (found && !IsInside(found->directory, root)) {
        fuzz::Fail("FindSecurity found " + symbol + " outside the tree, in " + found->directory);
    }
}

// Fails when the walk reaches a MASTER outside the tree.
class StaysInside final : public msdb::MasterTreeVisitor {
public:
    explicit StaysInside(const std::string& tree) : tree_(tree) {}
    void OnMaster(const std::string& directory, const msdb::Status&, const msdb::Master&) override {
        if (!IsInside(directory, tree_)) {
            fuzz::Fail("the walk left the tree for " + directory);
        }
    }
    bool OnSecurity(const std::string&, std::size_t, msdb::RecordBytes) override { return false; }

private:
    const std::string& tree_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    fuzz::ScratchDir scratch;
    const std::string tree = scratch / "tree";
    const std::string prices = scratch / "prices.csv";
    fs::create_directory(tree);
    fuzz::WriteFile(prices, kPrices);
    Build(tree, bytes);

    StaysInside visitor(tree);
    msdb::WalkMasterTree(msdb::FileSystem::Default(), tree, visitor);

    const std::string symbol = FirstSymbol(tree);
    for (const std::string& wanted :
         {symbol, std::string("KVX"), std::string("SUB"), std::string(""), std::string("A B")}) {
        LookUp(tree, tree, wanted);
    }
    std::error_code ec;
    fs::current_path(tree, ec);
    LookUp("", tree, symbol);  // from the current directory

    fuzz::RunCli({"list", tree});
    fuzz::RunCli({"list", tree, "--json"});
    const std::size_t format = size % (msdb::kDateFormatNames.size() + 1);
    if (format == 0) {
        fuzz::RunCli({"export", tree, symbol});
    } else {
        fuzz::RunCli({"export", tree, symbol, "--date-format",
                      std::string(msdb::kDateFormatNames[format - 1])});
    }
    fuzz::RunCli({"check", tree});

    fuzz::JobSeams seams;
    int result = 0;
    {
        engine::ConversionSettings settings;
        settings.inputPath = prices;
        settings.directory = tree;
        settings.symbol = "ZZFUZZ";
        settings.name = "Fuzz Added";
        settings.dateFormat = engine::DateFormat::CCYYMMDD;
        engine::JobServices services = seams.Services();
        services.lockWait = std::chrono::milliseconds(0);
        engine::ConversionJob job(settings, services);
        result = job.Run();
    }
    if (result != 0 && seams.notifier.messages.empty()) {
        fuzz::Fail("the conversion into the tree failed without telling why");
    }
    fuzz::RunCli({"check", tree});

    // Nothing beside the tree may have been made or changed.
    const std::string name = fs::path(scratch.path()).filename().string();
    if (fuzz::ListNames(fuzz::ScratchDir::Base()) != std::vector<std::string>{name} ||
        fuzz::ListNames(scratch.path()) != std::vector<std::string>{"prices.csv", "tree"} ||
        fs::file_size(prices, ec) != kPrices.size()) {
        fuzz::Fail("something outside the tree was written");
    }
    return 0;
}
