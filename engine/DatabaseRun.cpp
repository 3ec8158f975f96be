#include "engine/DatabaseRun.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <iostream>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "engine/InputScan.h"
#include "engine/Messages.h"
#include "msdb/ContentHash.h"
#include "msdb/MasterTree.h"
#include "msdb/Reader.h"
#include "msdb/SecurityFiles.h"

namespace engine {
namespace {

using Action = SecurityOutcome::Action;

class StderrNotifier final : public Notifier {
public:
    void ShowMessage(const std::string& text) override { std::cerr << "korvex: " << text << '\n'; }
};

std::string Upper(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return upper;
}

// The text of a symbol or name up to its first space or NUL, in upper case: two texts that
// SecurityMatches or XMaster::Matches finds equal share it.
std::string FirstWord(std::string_view text) {
    const std::size_t end = std::min(text.find(' '), text.find('\0'));
    return Upper(text.substr(0, end));
}

std::string Field(const msdb::MasterRecord& record, std::size_t offset, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(record.data()) + offset, size);
}

// The record bytes of `record`, the fields switched on in canonical order, behind `bytes`: all of
// them, as they lie in the record, when `fieldsOn` is null.
void AppendRecord(std::string* bytes, const PriceRecord& record, const PerField<bool>* fieldsOn) {
    static_assert(sizeof record.values.values == msdb::kPriceFieldCount * msdb::kFieldSize);
    if (fieldsOn == nullptr) {
        bytes->append(reinterpret_cast<const char*>(record.values.values.data()),
                      sizeof record.values.values);
        return;
    }
    char fields[sizeof record.values];
    std::size_t size = 0;
    for (PriceField field : msdb::kPriceFields) {
        if ((*fieldsOn)[field]) {
            std::memcpy(fields + size, record.values[field].data(), msdb::kFieldSize);
            size += msdb::kFieldSize;
        }
    }
    bytes->append(fields, size);
}

std::string DayText(const msdb::MbfBytes& date) {
    std::optional<msdb::CalendarDay> day = msdb::StoredDateToDay(date);
    return day ? msdb::IsoDateText(*day) : std::string("no date");
}

msdb::MbfBytes DateOf(std::string_view record) {
    msdb::MbfBytes date{};
    std::memcpy(date.data(), record.data(), date.size());
    return date;
}

std::string FieldList(const PerField<bool>& fields) {
    std::string text;
    for (PriceField field : msdb::kPriceFields) {
        if (fields[field]) {
            text += (text.empty() ? "" : ", ") + std::string(msdb::kPriceFieldLabels[field]);
        }
    }
    return text;
}

// The records a file's reading thread gathers are freed by the thread that writes them out, into
// the reading thread's own heap, which glibc gives back to the system as soon as 128 kB lie free
// at its top: at every file of a batch, each time with the other cores' address caches flushed,
// and the pages faulted in again for the next file. Memory freed is kept for the next file
// instead, up to 16 MB.
void KeepFreedMemory() {
#if defined(__GLIBC__)
    static const bool kept = mallopt(M_TRIM_THRESHOLD, 16 << 20) == 1;
    (void)kept;
#endif
}

// True for the time of an end-of-day line: empty, or midnight written as digits with or without
// colons (000000, 00:00, 0).
bool IsMidnight(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == '0' || c == ':'; });
}

std::string Plural(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

// The securities the directory's MASTER tree and its XMASTER hold, found by symbol as the
// duplicate check of a single conversion finds them.
class DatabaseRun::Index {
public:
    struct Match {
        bool own = false;      // in the directory's own MASTER or XMASTER
        bool xmaster = false;  // in XMASTER
        std::size_t record = 0;
        std::string directory;  // of a MASTER record
    };

    void AddMaster(const std::string& directory, std::size_t record,
                   const msdb::MasterRecord& bytes, bool own) {
        const std::size_t at = masterRecords_.size();
        masterRecords_.push_back({directory, record, bytes, own});
        byWord_[FirstWord(Field(bytes, msdb::kSymbolOffset, msdb::kSymbolFieldSize))].push_back(at);
        const std::string name = FirstWord(Field(bytes, msdb::kNameOffset, msdb::kNameFieldSize));
        if (name != FirstWord(Field(bytes, msdb::kSymbolOffset, msdb::kSymbolFieldSize))) {
            byWord_[name].push_back(at);
        }
    }

    // The securities of the directory's XMASTER, in the order of their records. A directory may
    // list tens of thousands: they are kept in a few bytes each, their texts together in one
    // string, and found through one sorted list of symbols and names.
    void SetXMaster(const std::vector<msdb::XMasterEntry>& entries) {
        xmasterEntries_.clear();
        xmasterEntries_.reserve(entries.size());
        xmasterTexts_.clear();
        xmasterKeys_.clear();
        xmasterKeys_.reserve(entries.size());
        for (const msdb::XMasterEntry& entry : entries) {
            const auto at = static_cast<std::uint32_t>(xmasterEntries_.size());
            xmasterEntries_.push_back({static_cast<std::uint32_t>(entry.recordNumber),
                                       static_cast<std::uint32_t>(xmasterTexts_.size()),
                                       static_cast<std::uint8_t>(entry.symbol.size()),
                                       static_cast<std::uint8_t>(entry.name.size()),
                                       static_cast<std::uint16_t>(entry.fileNumber),
                                       static_cast<std::uint8_t>(entry.fieldCount), entry.period,
                                       entry.firstDate, entry.lastDate});
            xmasterTexts_ += entry.symbol;
            xmasterTexts_ += entry.name;
            xmasterKeys_.push_back({at, false});
            if (msdb::CompareNoCase(entry.name, entry.symbol) != 0) {
                xmasterKeys_.push_back({at, true});
            }
        }
        xmasterTexts_.shrink_to_fit();
        std::stable_sort(
            xmasterKeys_.begin(), xmasterKeys_.end(),
            [this](const Key& a, const Key& b) { return Before(KeyText(a), KeyText(b)); });
    }

    std::vector<Match> Find(const std::string& symbol) const {
        std::vector<Match> matches;
        if (auto it = byWord_.find(FirstWord(symbol)); it != byWord_.end()) {
            for (std::size_t at : it->second) {
                const MasterEntry& entry = masterRecords_[at];
                if (msdb::SecurityMatches(entry.bytes, symbol)) {
                    matches.push_back({entry.own, false, entry.record, entry.directory});
                }
            }
        }
        auto [from, to] = std::equal_range(xmasterKeys_.begin(), xmasterKeys_.end(),
                                           std::string_view(symbol), Compare{this});
        for (auto it = from; it != to; ++it) {
            const XEntry& entry = xmasterEntries_[it->at];
            if (msdb::XMaster::Matches(SymbolOf(entry), NameOf(entry), symbol)) {
                matches.push_back({true, true, entry.record, {}});
            }
        }
        return matches;
    }

    std::optional<msdb::XMasterEntry> XMasterEntry(std::size_t record) const {
        auto it = std::lower_bound(
            xmasterEntries_.begin(), xmasterEntries_.end(), record,
            [](const XEntry& entry, std::size_t number) { return entry.record < number; });
        if (it == xmasterEntries_.end() || it->record != record) {
            return std::nullopt;
        }
        msdb::XMasterEntry entry;
        entry.recordNumber = it->record;
        entry.fileNumber = it->fileNumber;
        entry.symbol = SymbolOf(*it);
        entry.name = NameOf(*it);
        entry.fieldCount = it->fieldCount;
        entry.period = it->period;
        entry.firstDate = it->firstDate;
        entry.lastDate = it->lastDate;
        return entry;
    }

private:
    struct MasterEntry {
        std::string directory;
        std::size_t record;
        msdb::MasterRecord bytes;
        bool own;
    };
    std::vector<MasterEntry> masterRecords_;
    // An XMASTER entry's symbol, or its name.
    struct Key {
        std::uint32_t at;
        bool name;
    };
    // An XMASTER record as the index keeps it: its texts are in xmasterTexts_ from `text`, the
    // symbol and then the name.
    struct XEntry {
        std::uint32_t record;
        std::uint32_t text;
        std::uint8_t symbolSize;
        std::uint8_t nameSize;
        std::uint16_t fileNumber;
        std::uint8_t fieldCount;
        char period;
        msdb::MbfBytes firstDate;
        msdb::MbfBytes lastDate;
    };
    std::string_view SymbolOf(const XEntry& entry) const {
        return std::string_view(xmasterTexts_).substr(entry.text, entry.symbolSize);
    }
    std::string_view NameOf(const XEntry& entry) const {
        return std::string_view(xmasterTexts_)
            .substr(entry.text + entry.symbolSize, entry.nameSize);
    }
    std::string_view KeyText(const Key& key) const {
        const XEntry& entry = xmasterEntries_[key.at];
        return key.name ? NameOf(entry) : SymbolOf(entry);
    }
    static bool Before(std::string_view a, std::string_view b) {
        return msdb::CompareNoCase(a, b) < 0;
    }
    struct Compare {
        const Index* index;
        bool operator()(const Key& key, std::string_view text) const {
            return Before(index->KeyText(key), text);
        }
        bool operator()(std::string_view text, const Key& key) const {
            return Before(text, index->KeyText(key));
        }
    };

    std::vector<XEntry> xmasterEntries_;  // in the order of their records
    std::string xmasterTexts_;
    std::vector<Key> xmasterKeys_;  // in the order of their texts
    std::unordered_map<std::string, std::vector<std::size_t>> byWord_;
};

// One security of the run. A run may hold tens of thousands: its symbol is that of its line of
// the report, at the same place.
struct DatabaseRun::Security {
    std::uint32_t record = 0;  // its MASTER or XMASTER record, from 1, when it is listed already
    std::uint32_t recordLength = 0;
    std::uint32_t at = 0;  // its place in securities_ and in the report
    int fileNumber = 0;
    PerField<bool> fields{};
    Period period = Period::kDaily;
    Action action = Action::kAdded;
    bool inXMaster = false;

    // The price file as the directory holds it, for an update (made by OpenStored): a run that
    // adds securities does not carry room for it.
    struct StoredFile {
        msdb::FileInfo info;  // what GetInfo told of it
        // Its first record, which counts its records: held in place, as every security of an
        // update holds one.
        std::array<char, msdb::kPriceFieldCount * msdb::kFieldSize> headerBytes{};
        std::uint8_t headerSize = 0;
        std::string_view header() const { return {headerBytes.data(), headerSize}; }
        std::unique_ptr<msdb::UpdatableFile> kept;  // open for the commit, when it may be
        std::unique_ptr<std::string> records;       // read when a file gives a day it may hold
        // The records appended: one, as the update of a day appends, held in place.
        class Appended {
        public:
            bool empty() const { return oneSize_ == 0 && !more_; }
            std::string_view bytes() const {
                return more_ ? std::string_view(*more_) : std::string_view(one_.data(), oneSize_);
            }
            void Add(std::string_view next) {
                if (!more_ && oneSize_ == 0 && next.size() <= one_.size()) {
                    std::copy(next.begin(), next.end(), one_.begin());
                    oneSize_ = static_cast<std::uint8_t>(next.size());
                    return;
                }
                if (!more_) {
                    more_ = std::make_unique<std::string>(bytes());
                }
                more_->append(next);
            }
            std::string Take() {
                std::string taken = more_ ? std::move(*more_) : std::string(bytes());
                more_.reset();
                oneSize_ = 0;
                return taken;
            }

        private:
            std::array<char, msdb::kPriceFieldCount * msdb::kFieldSize> one_{};
            std::uint8_t oneSize_ = 0;
            std::unique_ptr<std::string> more_;
        };
        Appended appended;
    };
    std::unique_ptr<StoredFile> onDisk;

    // What it holds after the run.
    std::int64_t stagedCount = 0;  // the count of records its staged header gives
    std::int64_t count = 0;
    msdb::MbfBytes first{};
    msdb::MbfBytes last{};
    float lastValue = 0.0f;
    bool staging = false;  // its price file, written anew, is being staged
};

namespace {

using msdb::HashBytes;
using msdb::kHashStart;

// A file of the system's temporary folder that takes the records of the symbols of a large file
// while it is read (DatabaseRun::kHeldBytes), each part where Write says, until they are taken.
class ScratchFile {
public:
    explicit ScratchFile(std::unique_ptr<msdb::UpdatableFile> file) : file_(std::move(file)) {}

    msdb::Status Write(std::string_view data, std::uint64_t* at) {
        *at = size_;
        msdb::Status s = file_->WriteAt(size_, data);
        if (s.ok()) {
            size_ += data.size();
        }
        return s;
    }
    msdb::Status Read(std::uint64_t at, std::size_t n, char* buffer) {
        std::size_t got = 0;
        msdb::Status s = file_->ReadAt(at, n, buffer, &got);
        if (s.ok() && got != n) {
            s = msdb::Status::IoError("The temporary file ends before the records written to it");
        }
        return s;
    }

private:
    std::unique_ptr<msdb::UpdatableFile> file_;
    std::uint64_t size_ = 0;
};

// One part of a group written out to a ScratchFile: its records of each order, then their lines,
// one after the other from `at`. Small, since a large file makes one for each of its symbols
// every time the records held reach DatabaseRun::kHeldBytes.
struct SpilledPart {
    std::uint64_t at = 0;
    std::uint32_t forward = 0;  // records
    std::uint32_t backward = 0;
};

template <typename T>
void AppendRaw(std::string* bytes, const std::vector<T>& values) {
    bytes->append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}

template <typename T>
const char* TakeRaw(const char* from, std::size_t n, std::vector<T>* values) {
    const std::size_t had = values->size();
    values->resize(had + n);
    std::memcpy(values->data() + had, from, n * sizeof(T));
    return from + n * sizeof(T);
}

}  // namespace

// The lines of one symbol in one file.
struct DatabaseRun::Group {
    std::string symbol;
    std::string name;
    std::optional<Period> period;
    LineNumber periodLine = 0;
    std::string problem;  // why its lines cannot be stored, when the symbol itself is wrong
    RecordOrder order;
    std::string forward;  // the records each order keeps, and their lines
    std::string backward;
    std::vector<LineNumber> forwardLines;
    std::vector<LineNumber> backwardLines;
    LineNumber lastLine = 0;  // the last line of the symbol in the file, when it is known
    // The records and lines written out to `scratch` before those above, in their order.
    std::shared_ptr<ScratchFile> scratch;
    std::vector<SpilledPart> spilled;

    // The bytes its records and lines take in memory.
    std::uint64_t HeldBytes() const {
        return forward.size() + backward.size() +
               (forwardLines.size() + backwardLines.size()) * sizeof(LineNumber);
    }
    // Writes its records and lines out to `to`, letting their memory go.
    msdb::Status Spill(const std::shared_ptr<ScratchFile>& to) {
        std::string bytes = forward + backward;
        AppendRaw(&bytes, forwardLines);
        AppendRaw(&bytes, backwardLines);
        SpilledPart part{0, static_cast<std::uint32_t>(forwardLines.size()),
                         static_cast<std::uint32_t>(backwardLines.size())};
        if (msdb::Status s = to->Write(bytes, &part.at); !s.ok()) {
            return s;
        }
        spilled.push_back(part);
        scratch = to;
        std::string().swap(forward);
        std::string().swap(backward);
        std::vector<LineNumber>().swap(forwardLines);
        std::vector<LineNumber>().swap(backwardLines);
        return msdb::Status::Ok();
    }
    // Reads what was written out back in front of what is in memory; its records are
    // `recordLength` bytes each.
    msdb::Status TakeBack(std::size_t recordLength) {
        Group whole;
        std::string bytes;
        for (const SpilledPart& part : spilled) {
            const std::size_t forwardBytes = part.forward * recordLength;
            const std::size_t backwardBytes = part.backward * recordLength;
            bytes.resize(forwardBytes + backwardBytes +
                         (std::size_t{part.forward} + part.backward) * sizeof(LineNumber));
            if (msdb::Status s = scratch->Read(part.at, bytes.size(), bytes.data()); !s.ok()) {
                return s;
            }
            const char* at = bytes.data();
            whole.forward.append(at, forwardBytes);
            whole.backward.append(at += forwardBytes, backwardBytes);
            at = TakeRaw(at + backwardBytes, part.forward, &whole.forwardLines);
            TakeRaw(at, part.backward, &whole.backwardLines);
        }
        forward.insert(0, whole.forward);
        backward.insert(0, whole.backward);
        forwardLines.insert(forwardLines.begin(), whole.forwardLines.begin(),
                            whole.forwardLines.end());
        backwardLines.insert(backwardLines.begin(), whole.backwardLines.begin(),
                             whole.backwardLines.end());
        spilled.clear();
        scratch.reset();
        return msdb::Status::Ok();
    }
};

// What reading one file gave, for TakeFile to tell and decide.
struct DatabaseRun::FileRead {
    // In the order of their first lines; null for those taken while the file was read.
    std::vector<std::unique_ptr<Group>> groups;
    InputProblems problems;
    std::int64_t leftOut = 0;      // lines whose symbol or period cannot be read
    std::int64_t otherSeries = 0;  // lines passed over for their series
    std::uint64_t size = 0;
    const char* dateCheck = nullptr;  // the message of the first record's date check
    std::string failure;              // the file could not be read: why
    std::optional<std::pair<SettingsField, std::string>> refusal;
    bool stopped = false;     // cancelled, or the run no longer wants it
    bool takeFailed = false;  // a group taken while the file was read stopped the run
};

// How ReadFile hands over each symbol's lines while it reads, once they are all read: the last
// line of each symbol, and what takes its group (false when the run stops there).
struct DatabaseRun::Streaming {
    const std::vector<LineNumber>* lastLines = nullptr;  // of each symbol, in order
    std::function<bool(Group& group, InputProblems* problems)> take;
};

// Reads the files of a run on threads of their own while the run takes them in their order. The
// threads read a few files ahead of the one taken: enough that the run seldom waits for a file,
// few enough that the memory held stays small. A thread starts on the next file when no file is
// held (read or being read, and not yet taken), or when fewer than kFiles are held and their
// sizes and its own come to at most kBytes.
class DatabaseRun::ReadAhead {
public:
    // Reads file `i` into `read`, stopping when `quit` is set; it throws nothing.
    using Reader =
        std::function<void(std::size_t i, FileRead* read, const std::atomic<bool>& quit)>;

    // `sizes` are those of the files, in order.
    ReadAhead(std::vector<std::uint64_t> sizes, unsigned threads, Reader read)
        : sizes_(std::move(sizes)), reader_(std::move(read)) {
        for (unsigned i = 0; i < threads; ++i) {
            std::lock_guard<std::mutex> lock(mutex_);
            ++running_;
            try {
                threads_.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                --running_;  // the system has no thread to spare: fewer read
                break;
            }
        }
    }
    ~ReadAhead() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        room_.notify_all();
        for (std::thread& thread : threads_) {
            thread.join();
        }
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // False when no thread could be started: nothing will be read.
    bool Started() const { return !threads_.empty(); }

    // The next file in order, once it is read.
    FileRead Take() {
        std::unique_lock<std::mutex> lock(mutex_);
        read_.wait(lock, [&] { return ready_.count(taken_) != 0 || running_ == 0; });
        FileRead read;
        if (auto it = ready_.find(taken_); it != ready_.end()) {
            read = std::move(it->second);
            ready_.erase(it);
            heldBytes_ -= sizes_[taken_];
            ++taken_;
        } else {
            read.stopped = true;  // not asked for after a file that stopped the reading
        }
        room_.notify_all();
        return read;
    }

private:
    static constexpr std::size_t kFiles = 8;
    static constexpr std::uint64_t kBytes = 4 << 20;

    void Work() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            room_.wait(lock, [&] {
                return quit_ || claimed_ >= last_ || heldBytes_ == 0 ||
                       (claimed_ < taken_ + kFiles && heldBytes_ + sizes_[claimed_] <= kBytes);
            });
            if (quit_ || claimed_ >= last_) {
                break;
            }
            const std::size_t i = claimed_++;
            heldBytes_ += sizes_[i];
            lock.unlock();
            FileRead read;
            reader_(i, &read, quit_);
            const bool stops = read.stopped || !read.failure.empty() || read.refusal.has_value();
            lock.lock();
            ready_.emplace(i, std::move(read));
            if (stops) {
                last_ = std::min(last_, i + 1);  // the run stops at this file
                room_.notify_all();
            }
            if (i == taken_) {
                read_.notify_one();
            }
        }
        --running_;
        read_.notify_one();
    }

    const std::vector<std::uint64_t> sizes_;
    const Reader reader_;
    std::mutex mutex_;
    std::condition_variable read_;      // the file to be taken next is read, or no thread runs
    std::condition_variable room_;      // a thread may start on the next file, or stop
    std::size_t last_ = sizes_.size();  // the files after it are not read
    std::size_t claimed_ = 0;           // files given to a thread
    std::size_t taken_ = 0;             // files taken by the run
    std::uint64_t heldBytes_ = 0;       // the sizes of the files claimed and not taken
    std::map<std::size_t, FileRead> ready_;
    std::atomic<bool> quit_{false};
    unsigned running_ = 0;
    std::vector<std::thread> threads_;  // last: they start once the rest is made
};

std::int64_t RunReport::Count(Action action) const {
    return std::count_if(securities.begin(), securities.end(),
                         [action](const SecurityOutcome& s) { return s.action == action; });
}

std::string RunReport::Text(bool verbose, bool dryRun) const {
    std::int64_t added = 0;
    std::int64_t replaced = 0;
    std::int64_t appended = 0;
    std::int64_t held = 0;
    for (const SecurityOutcome& s : securities) {
        (s.action == Action::kAdded      ? added
         : s.action == Action::kReplaced ? replaced
                                         : appended) += s.records;
        held += s.daysHeld;
    }
    const char* records[] = {"price record", "price records"};
    std::string text = std::string(dryRun ? "Would change the securities of " : "Securities of ") +
                       directory + ": " + std::to_string(Count(Action::kAdded)) + " added (" +
                       Plural(added, records[0], records[1]) + "), " +
                       std::to_string(Count(Action::kUpdated)) + " updated (" +
                       Plural(appended, records[0], records[1]) + " appended, " +
                       Plural(held, "day", "days") + " already held), " +
                       std::to_string(Count(Action::kReplaced)) + " replaced (" +
                       Plural(replaced, records[0], records[1]) + "), " +
                       std::to_string(Count(Action::kUnchanged)) + " unchanged.";
    if (otherSeries > 0) {
        text += " " + Plural(otherSeries, "line", "lines") + " of other series " +
                (otherSeries == 1 ? "was" : "were") + " passed over.";
    }
    if (!accepted.empty()) {
        std::string sentence = accepted;
        sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
        text += " " + sentence + ".";
    }
    if (!verbose) {
        return text;
    }
    for (const SecurityOutcome& s : securities) {
        text += "\n  " + s.symbol + ": ";
        switch (s.action) {
            case Action::kAdded:
            case Action::kReplaced:
                text += std::string(s.action == Action::kAdded ? "added, " : "replaced, ") +
                        Plural(s.records, "price record", "price records") + " in " + s.FileName();
                break;
            case Action::kUpdated:
                text += "updated, " + Plural(s.records, "price record", "price records") +
                        " appended to " + s.FileName();
                break;
            case Action::kUnchanged:
                text += "unchanged, " + s.FileName();
                break;
        }
        text += " (" + DayText(s.firstDate) + " to " + DayText(s.lastDate) + ")";
        if (s.daysHeld > 0) {
            text += "; " + Plural(s.daysHeld, "day", "days") + " already held";
        }
        if (s.reversed) {
            text += "; newest day first in the file";
        }
    }
    return text;
}

DatabaseRun::DatabaseRun(ConversionSettings settings, std::vector<InputFile> inputs,
                         std::map<std::string, std::string> names, const JobServices& services)
    : settings_(std::move(settings)),
      inputs_(std::move(inputs)),
      names_(std::move(names)),
      target_(services.fileSystem != nullptr ? *services.fileSystem : msdb::FileSystem::Default()) {
    static StderrNotifier stderrNotifier;
    fs_ = services.fileSystem != nullptr ? services.fileSystem : &msdb::FileSystem::Default();
    notifier_ = services.notifier != nullptr ? services.notifier : &stderrNotifier;
    clock_ = services.clock != nullptr ? services.clock : &Clock::System();
    lockWait_ = services.lockWait;
    cancel_ = services.cancel;
    progress_ = services.progress;
    committing_ = services.committing;
    directory_ = settings_.directory;
}

DatabaseRun::~DatabaseRun() = default;

void DatabaseRun::Tell(const std::string& text) {
    lastMessage_ = text;
    notifier_->ShowMessage(text);
}

void DatabaseRun::Refuse(SettingsField field, const std::string& text) {
    refused_ = ConversionJob::Refusal{field, PriceField::kDate, text};
    Tell(text);
}

std::string DatabaseRun::PathInDirectory(const std::string& name) const {
    return msdb::JoinPath(directory_, name);
}

std::string DatabaseRun::PriceFileName(const Security& security) const {
    return security.inXMaster ? msdb::MwdFileName(security.fileNumber)
                              : msdb::DatFileName(security.fileNumber);
}

std::string_view DatabaseRun::BySymbol::operator[](std::size_t i) const {
    return (*securities)[i].symbol;
}

const std::string& DatabaseRun::SymbolOf(const Security& security) const {
    return report_.securities[security.at].symbol;
}

std::string SecurityOutcome::FileName() const {
    return inXMaster ? msdb::MwdFileName(fileNumber) : msdb::DatFileName(fileNumber);
}

bool DatabaseRun::Stopped() {
    if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) {
        cancelled_ = true;
    }
    return cancelled_;
}

DirectoryEffect DatabaseRun::Effect() const {
    DirectoryEffect effect = target_.Effect();
    effect.directory = directory_;
    return effect;
}

RunResult DatabaseRun::Result() const {
    return RunResult::Of(succeeded_, cancelled_, changed_, lastMessage_, refused_,
                         [this] { return report_.Text(false, settings_.dryRun); });
}

int DatabaseRun::Run() {
    const int result = RunSteps();
    target_.Release();
    succeeded_ = result == 0;
    return result;
}

int DatabaseRun::RunSteps() {
    if (CheckSettings() != 0 || PrepareDirectory() != 0) {
        return 1;
    }
    for (const InputFile& input : inputs_) {
        msdb::FileInfo info;
        inputSizes_.push_back(fs_->GetInfo(input.path, &info).ok() ? info.size : 0);
        totalBytes_ += inputSizes_.back();
    }
    if (ReadFiles() != 0) {
        return 1;
    }
    if (!duplicates_.empty()) {
        std::string list;
        for (std::size_t i = 0; i < duplicates_.size() && i < 5; ++i) {
            list += (i == 0 ? "" : ", ") + duplicates_[i];
        }
        if (duplicates_.size() > 5) {
            list += " and " + std::to_string(duplicates_.size() - 5) + " more";
        }
        Refuse(SettingsField::kSymbol,
               std::string(messages::kDuplicateSymbol) + ": " + directory_ + " holds " + list +
                   " already. Add the new days to securities already there (--update), or "
                   "replace them (--replace).");
        return 1;
    }
    if (Decide(problems_) != 0) {
        return 1;
    }
    if (report_.securities.empty()) {
        Tell("The input files hold no price records.");
        return 1;
    }
    // Every symbol has found its security: the listings it was found in make room for the
    // backups and the journal that the commit reads and writes.
    bySymbol_.Clear();
    index_.reset();
    if (WriteDirectoryFiles() != 0) {
        return 1;
    }
    // All the securities hold has gone to the transaction and the report: what the commit does
    // with it takes room of its own, about a kilobyte a security.
    securities_.clear();
    securities_.shrink_to_fit();
    if (settings_.dryRun) {
        wouldSucceed_ = true;
        return 0;
    }
    if (Stopped()) {
        return 1;  // the last moment at which stopping changes nothing
    }
    if (committing_) {
        committing_();
    }
    return Commit();
}

int DatabaseRun::CheckSettings() {
    const std::vector<SettingsProblem> problems = settings_.Validate();
    for (const SettingsProblem& problem : problems) {
        // The symbols and names are each file's, checked as they are read.
        if (problem.field == SettingsField::kSymbol || problem.field == SettingsField::kName) {
            continue;
        }
        Refuse(problem.field, problem.message);
        return 1;
    }
    if (settings_.FieldCount() < 2) {
        Refuse(SettingsField::kColumn, messages::kMoreColumns);
        return 1;
    }
    if (inputs_.empty()) {
        Tell("No input file was given.");
        return 1;
    }
    if (settings_.update && settings_.replaceExisting) {
        Refuse(SettingsField::kMaster,
               "A run either adds new days to the securities already there or replaces them, "
               "not both.");
        return 1;
    }
    for (const InputFile& input : inputs_) {
        if (settings_.columns.symbol == 0 && NormalizeSymbol(input.symbol).empty()) {
            Refuse(SettingsField::kSymbol, "The file " + input.path +
                                               " has no symbol column and no symbol is given "
                                               "for it.");
            return 1;
        }
    }
    const CalendarDate today = clock_->Today();
    today_ = msdb::DayNumberToMbfDate(
        msdb::TwoDigitYearToDayNumber(today.year % 100, today.month % 100, today.day % 100));
    return 0;
}

int DatabaseRun::PrepareDirectory() {
    if (std::optional<std::string> problem = target_.Resolve(settings_.directory)) {
        Refuse(SettingsField::kDirectory, *problem);
        return 1;
    }
    directory_ = target_.path();
    report_.directory = directory_;
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
    index_ = std::make_unique<Index>();
    filesToKeepOpen_ = settings_.update ? fs_->FilesToKeepOpen() : 0;
    xmasterUsed_.assign(msdb::kLastXMasterFileNumber + 1, false);
    std::vector<std::string> names;  // those of EMASTER and XMASTER, in any case
    msdb::Status listed = fs_->ForEachEntry(directory_, [&](std::string_view name) {
        if (std::optional<int> number = msdb::SecurityFileNumber(name)) {
            numbersOnDisk_[static_cast<std::size_t>(*number)] = true;
        } else if (std::optional<int> big = msdb::XMasterFileNumber(name)) {
            xmasterUsed_[static_cast<std::size_t>(*big)] = true;
        }
        if (msdb::EqualsNoCase(name, msdb::kEMasterFileName) ||
            msdb::EqualsNoCase(name, msdb::kXMasterFileName)) {
            names.emplace_back(name);
        }
    });
    if (!listed.ok()) {
        Tell(listed.message());
        return 1;
    }
    if (settings_.master == MasterChoice::kMakeNew) {
        if (exists) {
            Refuse(SettingsField::kMaster, messages::kMasterExists);
            return 1;
        }
        master_ = msdb::Master(masterPath_);
        for (std::string_view other : {msdb::kEMasterFileName, msdb::kXMasterFileName}) {
            if (msdb::FindNameNoCase(names, other)) {
                Refuse(SettingsField::kMaster, "New Master chosen but an " + std::string(other) +
                                                   " already exists in " + directory_ + ".");
                return 1;
            }
        }
        if (settings_.makeEMaster) {
            emaster_ = msdb::EMaster(PathInDirectory(std::string(msdb::kEMasterFileName)));
        }
        return 0;
    }
    if (!exists) {
        Refuse(SettingsField::kMaster, messages::kNoMasterFile);
        return 1;
    }
    if (std::optional<std::string> problem = target_.ReadMaster(&master_)) {
        Tell(*problem);
        return 1;
    }
    masterBefore_ = std::string(master_.bytes());
    if (msdb::Status s = master_.CheckConsistent(); !s.ok()) {
        Tell(s.message());
        return 1;
    }
    const std::optional<std::string> emasterName =
        msdb::FindNameNoCase(names, msdb::kEMasterFileName);
    msdb::Status s;
    if (emasterName) {
        emaster_.emplace();
        s = msdb::EMaster::Read(*fs_, PathInDirectory(*emasterName), &*emaster_);
        if (s.ok()) {
            emasterBefore_ = std::string(emaster_->bytes());
            s = emaster_->CheckAgrees(master_);
        }
    }
    if (!s.ok()) {
        Tell("The EMASTER file of " + directory_ + " cannot be used.\n" + s.message());
        return 1;
    }
    msdb::XMaster xmaster;
    if (s = msdb::ReadXMasterOf(*fs_, directory_, &xmaster); s.ok()) {
        if (s = xmaster.Check(); !s.ok()) {
            Tell(s.message());
            return 1;
        }
        xmasterBefore_.emplace(xmaster.bytes().size(), HashBytes(xmaster.bytes()));
        const std::vector<msdb::XMasterEntry> entries = xmaster.Entries();
        int highest = msdb::kFirstXMasterFileNumber - 1;
        for (const msdb::XMasterEntry& entry : entries) {
            xmasterUsed_[static_cast<std::size_t>(entry.fileNumber)] = true;
            highest = std::max(highest, entry.fileNumber);
        }
        index_->SetXMaster(entries);
        xmaster_.emplace(xmaster.path(),
                         std::string(xmaster.bytes().substr(0, msdb::kXMasterRecordSize)),
                         xmaster.RecordsPresent(), highest);
    } else if (!s.IsNotFound()) {
        Tell("The XMASTER file of " + directory_ + " cannot be read.\n" + s.message());
        return 1;
    }
    // Every security of the MASTER tree, sub-directories included: a symbol that one of them
    // holds is never added twice.
    class Collect final : public msdb::MasterTreeVisitor {
    public:
        Collect(Index& index, std::string own) : index_(index), own_(std::move(own)) {}
        void OnMaster(const std::string&, const msdb::Status& status,
                      const msdb::Master&) override {
            if (!status.ok() && !status.IsNotFound() && unreadable.empty()) {
                unreadable = status.message();
            }
        }
        bool OnSecurity(const std::string& directory, std::size_t recordNumber,
                        msdb::RecordBytes record) override {
            msdb::MasterRecord bytes{};
            std::copy(record.begin(), record.end(), bytes.begin());
            const std::string where = msdb::JoinPath(directory, "");
            index_.AddMaster(where, recordNumber, bytes, where == own_);
            return false;
        }
        std::string unreadable;

    private:
        Index& index_;
        std::string own_;
    };
    Collect collect(*index_, msdb::JoinPath(directory_, ""));
    msdb::WalkMasterTree(*fs_, directory_, collect);
    if (!collect.unreadable.empty()) {
        Tell(
            "The securities of the directory could not all be read to look for the symbols of "
            "the run.\n" +
            collect.unreadable);
        return 1;
    }
    return 0;
}

// Reads the input files and takes each in their order. With more than one, and a file system that
// lets several threads call it, other threads read the next files while this one writes out the
// securities of the last: reading is mostly work for the processor, and writing for the file
// system. The files held beside the one taken are one, or a few small ones (ReadAhead).
int DatabaseRun::ReadFiles() {
    auto report = [this](std::uint64_t bytes) { ReportBytes(bytes); };
    // A large file with a symbol column is read twice (LastLines, then ReadFile), each read
    // counting for half of its progress; its symbols' lines go out while it is read.
    auto streamed = [&](std::size_t i) {
        return settings_.columns.symbol != 0 && inputs_[i].symbol.empty() &&
               inputSizes_[i] >= streamedFileSize_;
    };
    auto oneAtATime = [&] {
        for (std::size_t i = 0; i < inputs_.size(); ++i) {
            const InputFile& input = inputs_[i];
            FileRead read;
            std::optional<LastLinesFound> lastLines;
            std::uint64_t before = 0;
            if (streamed(i)) {
                lastLines = LastLines(input, [&](std::uint64_t bytes) {
                    if (Stopped()) {
                        return false;
                    }
                    report(bytesDone_ + bytes / 2);
                    return true;
                });
                if (Stopped()) {
                    return 1;
                }
                before = inputSizes_[i] / 2;
                newLeft_ = lastLines ? lastLines->newSymbols : 0;
            }
            const Streaming streaming{lastLines ? &lastLines->lines : nullptr,
                                      [&](Group& group, InputProblems* problems) {
                                          if (read.dateCheck != nullptr) {
                                              Tell(read.dateCheck);  // as TakeFile tells it
                                              read.dateCheck = nullptr;
                                          }
                                          return TakeGroup(input, group, problems) == 0;
                                      }};
            ReadFile(
                input, &read,
                [&](std::uint64_t bytes) {
                    if (Stopped()) {
                        return false;
                    }
                    report(bytesDone_ + before + bytes / 2);
                    return true;
                },
                lastLines ? &streaming : nullptr);
            // Reading a file that is not streamed counts for half of its progress, writing out
            // its securities for the other half.
            if (TakeFile(input, read, lastLines ? read.size : read.size / 2) != 0) {
                return 1;
            }
        }
        return 0;
    };
    bool anyStreamed = false;
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
        anyStreamed = anyStreamed || streamed(i);
    }
    // A large file is not read ahead: it would be held whole beside the one taken.
    if (inputs_.size() < 2 || !fs_->TakesCallsFromManyThreads() || anyStreamed) {
        return oneAtATime();
    }
    // Two threads read (where the processor has two cores or more), and this one writes.
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1U, 2U);
    KeepFreedMemory();
    ReadAhead ahead(
        inputSizes_, threads, [&](std::size_t i, FileRead* read, const std::atomic<bool>& quit) {
            try {
                ReadFile(inputs_[i], read, [&](std::uint64_t) {
                    return !quit.load(std::memory_order_relaxed) &&
                           (cancel_ == nullptr || !cancel_->load(std::memory_order_relaxed));
                });
            } catch (const std::exception& e) {
                // Nothing may leave a thread; here the run stops at this file and says why.
                *read = FileRead{};
                read->failure = "The input file " + inputs_[i].path +
                                " could not be read to its end.\n" + e.what();
            }
        });
    if (!ahead.Started()) {
        return oneAtATime();
    }
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
        FileRead read = ahead.Take();
        if (TakeFile(inputs_[i], read, 0) != 0 || Stopped()) {
            return 1;
        }
    }
    return 0;
}

// Reads one input file into the lines of each of its symbols. It changes nothing of the run, so
// that it may read the next file on a thread of its own while the run writes out the last; what
// it found is told and decided by TakeFile. Every 1,024 lines it asks `goOn`, with the bytes read
// so far, and stops when told to.
void DatabaseRun::ReadFile(const InputFile& input, FileRead* read,
                           const std::function<bool(std::uint64_t)>& goOn,
                           const Streaming* streaming) const {
    std::unique_ptr<msdb::ReadableFile> file;
    if (msdb::Status s = fs_->OpenForRead(input.path, &file); !s.ok()) {
        read->failure = "The input file " + input.path + " cannot be opened.\n" + s.message();
        return;
    }
    if (msdb::FileInfo info; fs_->GetInfo(input.path, &info).ok()) {
        read->size = info.size;
    }
    ConversionSettings settings = settings_;
    settings.inputPath = input.path;
    auto counting = std::make_unique<CountingFile>(std::move(file));
    const CountingFile* counter = counting.get();
    InputParser parser(settings, std::move(counting));
    const PerField<bool> fieldsOn = settings_.FieldsOn();
    const PerField<bool>* someFieldsOn =
        std::find(fieldsOn.values.begin(), fieldsOn.values.end(), false) != fieldsOn.values.end()
            ? &fieldsOn
            : nullptr;
    const OtherColumns& columns = settings_.columns;
    std::vector<std::unique_ptr<Group>>& groups = read->groups;
    std::unordered_map<std::string, Group*> bySymbol;
    Group* lastGroup = nullptr;  // most lines are of the symbol of the line before
    const std::string fileSymbol = NormalizeSymbol(input.symbol);
    // A file given a symbol of its own despite its symbol column is that one security: the
    // column must then name one security throughout, or the lines of several would be stored
    // as one.
    const bool oneSecurity = columns.symbol != 0 && !fileSymbol.empty();
    std::string columnSymbol;
    std::string onlySymbol;  // what the column names, for oneSecurity
    LineNumber onlyLine = 0;
    bool first = true;
    std::int64_t lines = 0;
    std::size_t untaken = 0;   // the first group not taken yet
    std::size_t nextLast = 0;  // of streaming->lastLines, the first not read yet
    // While symbols go out as they are read, the bytes of the records held for those still to
    // come, and the temporary file that takes them beyond heldBytes_. Without one (or once it
    // fails) everything is held in memory, as for a file that is read whole.
    const std::uint64_t keptBytes =
        static_cast<std::uint64_t>(settings_.FieldCount()) * msdb::kFieldSize + sizeof(LineNumber);
    std::uint64_t held = 0;
    std::shared_ptr<ScratchFile> scratch;
    bool holdAll = streaming == nullptr;
    auto spill = [&] {
        if (scratch == nullptr) {
            std::unique_ptr<msdb::UpdatableFile> opened;
            if (!fs_->OpenScratch(&opened).ok()) {
                holdAll = true;
                return;
            }
            scratch = std::make_shared<ScratchFile>(std::move(opened));
        }
        for (const std::unique_ptr<Group>& group : groups) {
            if (group != nullptr && group->HeldBytes() > 0 && !group->Spill(scratch).ok()) {
                holdAll = true;
                return;
            }
        }
        held = 0;
    };
    // Hands over the groups, in their order, whose last lines are read: false when the run
    // stops at one of them.
    auto takeRead = [&] {
        while (untaken < groups.size() && groups[untaken]->lastLine != 0 &&
               groups[untaken]->lastLine <= parser.LineNumber()) {
            Group* group = groups[untaken].get();
            if (lastGroup == group) {
                lastGroup = nullptr;
            }
            bySymbol.erase(group->symbol);
            held -= std::min(held, group->HeldBytes());
            if (!streaming->take(*group, &parser.problems())) {
                read->takeFailed = true;
                return false;
            }
            groups[untaken++].reset();
        }
        return true;
    };
    auto problem = [&](const char* field, std::string_view text, std::string what) {
        parser.problems().Add({parser.LineNumber(), field, std::string(text), std::move(what)});
    };
    auto refuse = [&](SettingsField field, std::string text) {
        read->refusal = {field, std::move(text)};
    };
    for (;;) {
        if (streaming != nullptr && untaken < groups.size() && !takeRead()) {
            return;
        }
        bool got = false;
        msdb::Status s = parser.NextLine(&got);
        if (!s.ok()) {
            read->failure =
                "The input file " + input.path + " could not be read to its end.\n" + s.message();
            return;
        }
        if (!got) {
            break;
        }
        if ((++lines & 1023) == 0 && !goOn(counter->BytesRead())) {
            read->stopped = true;
            return;
        }
        const PriceRecord record = parser.ReadRecord();
        if (first) {
            read->dateCheck = parser.DateCheckMessage();
        }
        first = false;
        if (columns.symbol != 0) {
            columnSymbol = NormalizeSymbol(parser.ColumnText(columns.symbol));
        }
        if (oneSecurity && !columnSymbol.empty() && columnSymbol != onlySymbol) {
            if (!onlySymbol.empty()) {
                refuse(SettingsField::kSymbol,
                       "Line " + std::to_string(parser.LineNumber()) + " of " + input.path +
                           " is of " + columnSymbol + ", and line " + std::to_string(onlyLine) +
                           " of " + onlySymbol + ": the file holds more than one security, and " +
                           fileSymbol +
                           " names one. Convert it without a symbol of its own to add each of "
                           "its securities.");
                return;
            }
            onlySymbol = columnSymbol;
            onlyLine = parser.LineNumber();
        }
        const std::string& symbol = columns.symbol != 0 && !oneSecurity ? columnSymbol : fileSymbol;
        if (symbol.empty()) {
            problem("symbol", "", "is empty");
            ++read->leftOut;
            continue;
        }
        if (columns.time != 0 && !IsMidnight(parser.ColumnText(columns.time))) {
            refuse(SettingsField::kColumn,
                   "Line " + std::to_string(parser.LineNumber()) + " of " + input.path +
                       " holds the time " + std::string(parser.ColumnText(columns.time)) +
                       ": Korvex converts end-of-day prices, one record a day, week or month, "
                       "whose time is 000000. Intraday prices are a record layout of their own, "
                       "which Korvex does not write.");
            return;
        }
        Group*& group =
            lastGroup != nullptr && lastGroup->symbol == symbol ? lastGroup : bySymbol[symbol];
        if (group == nullptr) {
            groups.push_back(std::make_unique<Group>());
            group = groups.back().get();
            group->symbol = symbol;
            if (std::optional<SettingsProblem> p = CheckLength(SettingsField::kSymbol, symbol)) {
                group->problem = "is longer than the " + std::to_string(limits::kMaxSymbolLength) +
                                 " characters MASTER holds";
            } else if (std::optional<SettingsProblem> q =
                           CheckCodePage(SettingsField::kSymbol, symbol, settings_.codePage)) {
                group->problem = q->message;
            }
        }
        lastGroup = group;
        if (streaming != nullptr) {
            // The line that is its symbol's last (of those the first reading found) tells the
            // group that it is whole.
            const std::vector<LineNumber>& lasts = *streaming->lastLines;
            while (nextLast < lasts.size() && lasts[nextLast] < parser.LineNumber()) {
                ++nextLast;
            }
            if (nextLast < lasts.size() && lasts[nextLast] == parser.LineNumber()) {
                group->lastLine = lasts[nextLast++];
            }
        }
        if (!group->problem.empty()) {
            problem("symbol", symbol, group->problem);
            ++read->leftOut;
            continue;
        }
        if (columns.period != 0) {
            const std::string_view text = parser.ColumnText(columns.period);
            std::string refusal;
            std::optional<Period> period = ReadPeriod(text, &refusal);
            if (text.empty()) {
                problem("period", "", "is empty");
                ++read->leftOut;
                continue;
            }
            if (!period) {
                refuse(SettingsField::kPeriod, "Line " + std::to_string(parser.LineNumber()) +
                                                   " of " + input.path + ": the period " + refusal);
                return;
            }
            if (group->period && *group->period != *period) {
                refuse(SettingsField::kPeriod,
                       "The lines of " + symbol + " in " + input.path + " give two periods, " +
                           std::string(1, static_cast<char>(*group->period)) + " (line " +
                           std::to_string(group->periodLine) + ") and " +
                           std::string(1, static_cast<char>(*period)) + " (line " +
                           std::to_string(parser.LineNumber()) +
                           "): the records of a security share one period.");
                return;
            }
            if (!group->period) {
                group->period = period;
                group->periodLine = parser.LineNumber();
            }
        }
        if (columns.name != 0 && group->name.empty()) {
            group->name = TrimTrailingBlanks(parser.ColumnText(columns.name));
        }
        if (parser.OutOfRange()) {
            continue;
        }
        if (!parser.Usable()) {
            group->order.LeaveOut();
            continue;
        }
        const RecordOrder::Kept kept = group->order.Take(parser, record);
        if (kept.forward) {
            AppendRecord(&group->forward, record, someFieldsOn);
            group->forwardLines.push_back(parser.LineNumber());
        }
        if (kept.backward) {
            AppendRecord(&group->backward, record, someFieldsOn);
            group->backwardLines.push_back(parser.LineNumber());
        }
        if (!holdAll && (held += (kept.forward + kept.backward) * keptBytes) > heldBytes_) {
            spill();
        }
    }
    if (!parser.NotText().empty()) {
        read->failure = "The input file " + input.path +
                        " is not a plain text file: " + parser.NotText() +
                        ".\nSave it as plain text (CSV or TXT, in UTF-8 or your system's code "
                        "page) and convert that file.";
        return;
    }
    read->problems = std::move(parser.problems());
    read->otherSeries = parser.OtherSeriesLines();
}

// The last line of each symbol of a file with a symbol column, read as ReadFile reads the file.
// Nothing when it cannot be read to its end or `goOn` says to stop: its lines are then held as
// any file's are, and ReadFile says what is wrong.
std::optional<DatabaseRun::LastLinesFound> DatabaseRun::LastLines(
    const InputFile& input, const std::function<bool(std::uint64_t)>& goOn) const {
    std::unique_ptr<msdb::ReadableFile> file;
    if (!fs_->OpenForRead(input.path, &file).ok()) {
        return std::nullopt;
    }
    ConversionSettings settings = settings_;
    settings.inputPath = input.path;
    auto counting = std::make_unique<CountingFile>(std::move(file));
    const CountingFile* counter = counting.get();
    InputParser parser(settings, std::move(counting));
    // The last line of each symbol, found by the symbol's hash in a table of slots held in one
    // block, which grows by doubling once half full. Two symbols of one hash would share a slot:
    // the one whose last line comes first is then not told whole, and waits for the file's end.
    using Slot = std::pair<std::uint64_t, LineNumber>;  // hash (0 for none), last line
    std::vector<Slot> table(1024);
    std::size_t used = 0;
    auto slotOf = [&table](std::uint64_t hash) -> Slot& {
        const std::size_t mask = table.size() - 1;
        std::size_t i = hash & mask;
        while (table[i].first != 0 && table[i].first != hash) {
            i = (i + 1) & mask;
        }
        return table[i];
    };
    LastLinesFound found;
    std::string previous;  // the symbol's text on the line before, as the file writes it
    LineNumber* previousLast = nullptr;
    for (std::int64_t lines = 1;; ++lines) {
        bool got = false;
        if (!parser.NextLine(&got).ok()) {
            return std::nullopt;
        }
        if (!got) {
            break;
        }
        if ((lines & 1023) == 0 && !goOn(counter->BytesRead())) {
            return std::nullopt;
        }
        const std::string_view text = parser.ColumnText(settings_.columns.symbol);
        if (previousLast == nullptr || text != previous) {
            previous.assign(text);
            const std::string symbol = NormalizeSymbol(text);
            previousLast = nullptr;
            if (!symbol.empty()) {
                const std::uint64_t hash = std::max<std::uint64_t>(HashBytes(symbol), 1);
                if (slotOf(hash).first == 0) {
                    if (2 * (used + 1) > table.size()) {
                        std::vector<Slot> old(table.size() * 2);
                        old.swap(table);
                        for (const Slot& slot : old) {
                            if (slot.first != 0) {
                                slotOf(slot.first) = slot;
                            }
                        }
                    }
                    slotOf(hash).first = hash;
                    ++used;
                    found.newSymbols += IsNew(symbol) ? 1 : 0;
                }
                previousLast = &slotOf(hash).second;
            }
        }
        if (previousLast != nullptr) {
            *previousLast = parser.LineNumber();
        }
    }
    if (!parser.NotText().empty()) {
        return std::nullopt;
    }
    found.lines.reserve(used);
    for (const Slot& slot : table) {
        if (slot.first != 0) {
            found.lines.push_back(slot.second);
        }
    }
    std::sort(found.lines.begin(), found.lines.end());
    return found;
}

// Tells what reading a file found, and decides and writes out each of its symbols' records.
void DatabaseRun::ReportProgress(int permille) {
    permille = std::clamp(permille, 0, 1000);
    if (progress_ &&
        (permille >= lastPermille_ + 10 || (permille == 1000 && lastPermille_ < 1000))) {
        lastPermille_ = permille;
        progress_(permille);
    }
}

void DatabaseRun::ReportBytes(std::uint64_t bytes) {
    if (totalBytes_ > 0) {
        ReportProgress(
            static_cast<int>(std::min(bytes, totalBytes_) * kTakenPermille / totalBytes_));
    }
}

int DatabaseRun::TakeFile(const InputFile& input, FileRead& read, std::uint64_t counted) {
    if (read.takeFailed) {
        return 1;  // told already
    }
    if (read.dateCheck != nullptr) {
        Tell(read.dateCheck);
    }
    if (read.stopped) {
        Stopped();
        return 1;
    }
    if (!read.failure.empty()) {
        Tell(read.failure);
        return 1;
    }
    if (read.refusal) {
        Refuse(read.refusal->first, read.refusal->second);
        return 1;
    }
    acceptance_.leftOut += read.leftOut;
    report_.otherSeries += read.otherSeries;
    const std::uint64_t before = bytesDone_ + std::min(counted, read.size);
    const std::uint64_t rest = read.size - std::min(counted, read.size);
    bytesDone_ += read.size;
    InputProblems& problems = read.problems;
    const std::size_t groups = read.groups.size();
    // The symbols the run meets for the first time may all be new securities, which XMASTER
    // then takes without growing as each comes.
    newLeft_ = 0;
    if (groups >= kReservedAtOnce) {
        for (const std::unique_ptr<Group>& group : read.groups) {
            if (group != nullptr && IsNew(group->symbol)) {
                ++newLeft_;
            }
        }
    }
    for (std::size_t i = 0; i < groups; ++i) {
        std::unique_ptr<Group>& group = read.groups[i];
        if (group != nullptr && TakeGroup(input, *group, &problems) != 0) {
            return 1;
        }
        group.reset();  // its records are written out
        ReportBytes(before + rest * (i + 1) / groups);
    }
    ReportBytes(bytesDone_);
    if (!problems.empty()) {
        problems_.emplace_back(input.path, std::move(problems));
    }
    return 0;
}

int DatabaseRun::TakeGroup(const InputFile& input, Group& group, InputProblems* problems) {
    if (!group.problem.empty()) {
        return 0;
    }
    if (!group.spilled.empty()) {
        const std::size_t recordLength =
            static_cast<std::size_t>(settings_.FieldCount()) * msdb::kFieldSize;
        if (msdb::Status s = group.TakeBack(recordLength); !s.ok()) {
            Tell("The records of " + group.symbol + " in " + input.path +
                 " cannot be read back from the temporary file that held them.\n" + s.message());
            return 1;
        }
    }
    ScanResult scan;
    group.order.Finish(problems, &scan);
    acceptance_.leftOut += scan.leftOut;
    acceptance_.zeroVolumes += scan.zeroVolumes;
    acceptance_.zeroOpenInterests += scan.zeroOpenInterests;
    if (scan.TooMany()) {
        Refuse(SettingsField::kRange,
               "The input file " + input.path + " holds " + std::to_string(scan.recordCount) +
                   " price records of " + group.symbol + ", more than the " +
                   std::to_string(msdb::kMaxPriceRecords) +
                   " that one security holds.\nConvert the records of a range of dates: --from "
                   "DATE and --to DATE, the dates written as YYYY-MM-DD.");
        return 1;
    }
    if (scan.recordCount == 0) {
        return 0;  // its lines' problems say why
    }
    std::optional<std::size_t> at;
    if (SecurityFor(group.symbol, group, input, &at) != 0) {
        return 1;
    }
    if (!at) {
        return 0;  // held already: refused once every file is read
    }
    Security& security = securities_[*at];
    // The records in the order they are stored: a file that lists the newest day first is
    // written oldest first.
    std::string records;
    std::vector<LineNumber> lines;
    if (scan.reversed) {
        const std::size_t n = group.backwardLines.size();
        records.reserve(group.backward.size());
        for (std::size_t i = n; i-- > 0;) {
            records.append(group.backward, i * security.recordLength, security.recordLength);
        }
        lines.assign(group.backwardLines.rbegin(), group.backwardLines.rend());
    } else {
        records = std::move(group.forward);
        lines = std::move(group.forwardLines);
    }
    group.forward.clear();
    group.backward.clear();
    SecurityOutcome& outcome = report_.securities[security.at];
    outcome.reversed = outcome.reversed || scan.reversed;
    if (security.action == Action::kUpdated) {
        const int appended = Append(security, records, lines, problems);
        // Let go, and read again should a later file need them: held for every security of a
        // run, they would take the size of the whole database.
        security.onDisk->records.reset();
        return appended;
    }
    // A security written anew: a later file's records of it follow those before.
    const msdb::MbfBytes firstDate = DateOf(records);
    if (security.count > 0 && !(msdb::FromMbf(firstDate) > security.lastValue)) {
        Refuse(SettingsField::kRange,
               "The records of " + group.symbol + " in " + input.path + " start on " +
                   DayText(firstDate) + ", not after " + DayText(security.last) +
                   ", the last day of an earlier file of the run: give the files in the order of "
                   "their dates.");
        return 1;
    }
    const std::int64_t n = static_cast<std::int64_t>(records.size() / security.recordLength);
    if (security.count + n > msdb::kMaxPriceRecords) {
        Refuse(SettingsField::kRange,
               "The files of the run hold more price records of " + group.symbol + " than the " +
                   std::to_string(msdb::kMaxPriceRecords) + " that one security holds.");
        return 1;
    }
    if (security.count == 0) {
        security.first = firstDate;
    }
    security.last =
        DateOf(std::string_view(records).substr(records.size() - security.recordLength));
    security.lastValue = msdb::FromMbf(security.last);
    security.count += n;
    outcome.records += static_cast<std::int32_t>(n);
    return Stage(security, std::move(records));
}

// The records of a security written anew go to its price file's temporary as each file gives
// them, behind a header with the count of the first; a later file's records change the count
// once every file is read.
int DatabaseRun::Stage(Security& security, std::string bytes) {
    if (settings_.dryRun) {
        return 0;
    }
    const std::string name = PriceFileName(security);
    const bool create = security.action == Action::kAdded;
    msdb::Status s = msdb::Status::Ok();
    if (!security.staging) {
        security.staging = true;
        // Its DOP is made now too, while the next input file is being read, rather than with
        // the directory's files at the end.
        const std::string dop = msdb::DopFileName(security.fileNumber);
        s = target_.transaction().StageData(dop, create, msdb::MakeDopText(security.fields));
        if (!s.ok()) {
            Tell("The file " + PathInDirectory(dop) + " of " + SymbolOf(security) +
                 " cannot be written.\n" + s.message());
            return 1;
        }
        std::string header = msdb::MakeDatHeader(settings_.FieldCount());
        msdb::WriteLastRecordNumber(&header, static_cast<std::uint16_t>(security.count + 1));
        security.stagedCount = security.count;
        bytes.insert(0, header);
    }
    if (s.ok()) {
        s = target_.transaction().StageData(name, create, bytes);
    }
    if (!s.ok()) {
        Tell("The price file " + PathInDirectory(name) + " of " + SymbolOf(security) +
             " cannot be written.\n" + s.message());
        return 1;
    }
    return 0;
}

int DatabaseRun::SecurityFor(const std::string& symbol, const Group& group, const InputFile& input,
                             std::optional<std::size_t>* at) {
    const Period period = group.period.value_or(settings_.period);
    if (const std::optional<std::size_t> it = bySymbol_.Find(symbol)) {
        Security& security = securities_[*it];
        if (security.period != period) {
            Refuse(SettingsField::kPeriod,
                   "The files of the run give " + symbol + " in two periods, " +
                       std::string(1, static_cast<char>(security.period)) + " and " +
                       std::string(1, static_cast<char>(period)) + " (in " + input.path +
                       "): the records of a security share one period.");
            return 1;
        }
        *at = *it;
        return 0;
    }
    // Listed with its line of the report, and taken back should it not be made.
    *at = securities_.size();
    SecurityOutcome& outcome = report_.securities.emplace_back();
    outcome.symbol = symbol;
    Security* security = &securities_.emplace_back();
    security->at = static_cast<std::uint32_t>(**at);
    security->period = period;
    bool held = false;
    const int made = MakeSecurity(*security, group, input, &held);
    if (made != 0 || held) {
        securities_.pop_back();
        report_.securities.pop_back();
        at->reset();
        return made;
    }
    outcome.action = security->action;
    outcome.fileNumber = security->fileNumber;
    outcome.inXMaster = security->inXMaster;
    bySymbol_.Insert(**at);
    return 0;
}

// What a security new to the run is: added, or found in the directory to be updated or
// replaced. One that the directory holds already and that the run neither updates nor replaces
// is `*held`, and goes to duplicates_.
int DatabaseRun::MakeSecurity(Security& security, const Group& group, const InputFile& input,
                              bool* held) {
    const std::string symbol = SymbolOf(security);
    // Its symbol and name as MASTER's code page writes them: needed only to list it.
    std::string stored;
    std::string name;
    (void)msdb::EncodeText(symbol, settings_.codePage, &stored);
    // A name given to a file read as one security wins over its name column.
    const bool oneSecurity = settings_.columns.symbol != 0 && !input.symbol.empty();
    std::string nameText = oneSecurity && !input.name.empty() ? input.name : group.name;
    if (nameText.empty()) {
        if (auto named = names_.find(symbol); named != names_.end()) {
            nameText = named->second;
        } else if (settings_.columns.symbol == 0 || oneSecurity) {
            nameText = input.name;
        }
    }
    if (std::optional<SettingsProblem> problem =
            CheckCodePage(SettingsField::kName, nameText, settings_.codePage)) {
        Refuse(SettingsField::kName, "The name of " + symbol + ": " + problem->message);
        return 1;
    }
    // Whole: MASTER keeps its first 16 characters, EMASTER and XMASTER as many as they hold.
    (void)msdb::EncodeText(nameText, settings_.codePage, &name);

    const std::vector<Index::Match> matches = index_->Find(stored);
    if (!matches.empty() && !settings_.update && !settings_.replaceExisting) {
        duplicates_.push_back(symbol);
        *held = true;
        return 0;
    }
    if (matches.size() > 1) {
        Refuse(SettingsField::kSymbol, "The symbol " + symbol + " matches " +
                                           std::to_string(matches.size()) + " securities of " +
                                           directory_ + "; only one can be updated or replaced.");
        return 1;
    }
    if (!matches.empty() && !matches.front().own) {
        Refuse(SettingsField::kSymbol,
               "The security " + symbol + " is listed in the sub-directory " +
                   matches.front().directory + ", not in " + directory_ +
                   " itself; only a security of the directory's own MASTER or XMASTER can be "
                   "updated or replaced.");
        return 1;
    }
    // Two symbols of the run that find the same security (one by its symbol, one by its name)
    // would both write it.
    if (!matches.empty() && !Claim(matches.front().xmaster, matches.front().record)) {
        Refuse(SettingsField::kSymbol, "The symbol " + symbol + " finds a security of " +
                                           directory_ +
                                           " that another symbol of the run finds too.");
        return 1;
    }
    security.fields = settings_.FieldsOn();
    security.recordLength = static_cast<std::uint32_t>(settings_.FieldCount() * msdb::kFieldSize);
    if (matches.empty()) {
        security.action = Action::kAdded;
        return AddNew(security, stored, name);
    }
    security.action = settings_.update ? Action::kUpdated : Action::kReplaced;
    security.inXMaster = matches.front().xmaster;
    security.record = static_cast<std::uint32_t>(matches.front().record);
    return security.action == Action::kUpdated ? OpenStored(security)
                                               : Replace(security, stored, name);
}

// True when neither the run nor the directory holds `symbol` yet.
bool DatabaseRun::IsNew(const std::string& symbol) const {
    if (bySymbol_.Find(symbol)) {
        return false;
    }
    std::string stored;
    (void)msdb::EncodeText(symbol, settings_.codePage, &stored);  // as SecurityFor
    return index_->Find(stored).empty();
}

// True the first time a symbol of the run finds the listed security of MASTER's or XMASTER's
// `record`.
bool DatabaseRun::Claim(bool xmaster, std::size_t record) {
    constexpr auto kMasterRecords = static_cast<std::size_t>(msdb::kMaxSecurities) + 1;
    const std::size_t at = (xmaster ? kMasterRecords : 0) + record;
    if (at >= claimed_.size()) {
        claimed_.resize(at + 1 + (xmaster ? 0 : kMasterRecords), false);
    }
    const bool first = !claimed_[at];
    claimed_[at] = true;
    return first;
}

// A security new to the directory: listed in MASTER under the lowest free file number (one that
// no record uses and no file on disk has), or, with MASTER full, in XMASTER.
int DatabaseRun::AddNew(Security& security, const std::string& stored, const std::string& name) {
    const int fieldCount = settings_.FieldCount();
    std::optional<std::uint8_t> number;
    if (master_.header().recordCount < msdb::kMaxSecurities) {
        number = master_.LowestFreeFileNumber(numbersOnDisk_);
    }
    if (number) {
        if (msdb::Status s = master_.AddRecord(msdb::MakeMasterRecord(
                *number, fieldCount, name, stored, today_, today_, security.period));
            !s.ok()) {
            Tell(s.message());
            return 1;
        }
        if (emaster_) {
            emaster_->AddRecord(master_, *number, fieldCount, stored, name, today_, today_,
                                security.period);
        }
        security.fileNumber = *number;
        return 0;
    }
    if (!xmaster_ && !settings_.xmaster) {
        Tell(messages::kTooManySecurities);
        Refuse(SettingsField::kMaster, messages::kXMasterNeeded);
        return 1;
    }
    if (!xmaster_) {
        xmaster_.emplace(PathInDirectory(std::string(msdb::kXMasterFileName)));
    }
    if (stored.size() > msdb::kXMasterSymbolWidth) {
        Refuse(SettingsField::kSymbol,
               "MASTER of " + directory_ + " is full, and XMASTER holds symbols of at most " +
                   std::to_string(msdb::kXMasterSymbolWidth) + " characters: " +
                   SymbolOf(security) + " has " + std::to_string(stored.size()) + ".");
        return 1;
    }
    while (nextXMasterNumber_ <= msdb::kLastXMasterFileNumber &&
           xmasterUsed_[static_cast<std::size_t>(nextXMasterNumber_)]) {
        ++nextXMasterNumber_;
    }
    if (nextXMasterNumber_ > msdb::kLastXMasterFileNumber) {
        Tell("No file number from " + std::to_string(msdb::kFirstXMasterFileNumber) + " to " +
             std::to_string(msdb::kLastXMasterFileNumber) + " is free in " + directory_ + ".");
        return 1;
    }
    if (newLeft_ >= kReservedAtOnce) {
        xmaster_->Reserve(xmaster_->RecordsPresent() + newLeft_);
    }
    newLeft_ = 0;
    if (msdb::Status s = xmaster_->AddRecord(nextXMasterNumber_, msdb::FieldMask(security.fields),
                                             stored, name, today_, today_, security.period);
        !s.ok()) {
        Tell(s.message());
        return 1;
    }
    xmasterUsed_[static_cast<std::size_t>(nextXMasterNumber_)] = true;
    security.record = static_cast<std::uint32_t>(xmaster_->RecordsPresent());
    security.inXMaster = true;
    security.fileNumber = nextXMasterNumber_;
    return 0;
}

// A security listed already, converted over: it keeps its file number and its place, and its
// name when the run gives none (`name` empty).
int DatabaseRun::Replace(Security& security, const std::string& stored, std::string name) {
    const bool keepName = name.empty();
    const int fieldCount = settings_.FieldCount();
    if (security.inXMaster) {
        const std::optional<msdb::XMasterEntry> entry = index_->XMasterEntry(security.record);
        if (stored.size() > msdb::kXMasterSymbolWidth) {
            Refuse(SettingsField::kSymbol, "XMASTER holds symbols of at most " +
                                               std::to_string(msdb::kXMasterSymbolWidth) +
                                               " characters: " + SymbolOf(security) + " has " +
                                               std::to_string(stored.size()) + ".");
            return 1;
        }
        security.fileNumber = entry->fileNumber;
        if (keepName) {
            name = entry->name;
        }
        xmaster_->ReplaceRecord(security.record, security.fileNumber,
                                msdb::FieldMask(security.fields), stored, name, today_, today_,
                                security.period);
        return 0;
    }
    const msdb::RecordBytes record = master_.Record(security.record);
    const std::uint8_t number = record[msdb::kFileNumberOffset];
    security.fileNumber = number;
    if (keepName) {
        name = TrimTrailingBlanks(
            std::string(reinterpret_cast<const char*>(record.data()) + msdb::kNameOffset,
                        msdb::kNameFieldSize));
        name.resize(std::min(name.size(), name.find('\0')));
    }
    master_.ReplaceRecord(security.record, msdb::MakeMasterRecord(number, fieldCount, name, stored,
                                                                  today_, today_, security.period));
    if (emaster_) {
        emaster_->ReplaceRecord(security.record, number, fieldCount, stored, name, today_, today_,
                                security.period);
    }
    return 0;
}

// A security listed already, to which the run adds days: its price file as it stands, which
// must hold the fields the run reads, in the time frame the run gives.
int DatabaseRun::OpenStored(Security& security) {
    security.onDisk = std::make_unique<Security::StoredFile>();
    int fieldCount = 0;
    char period = 0;
    if (security.inXMaster) {
        const std::optional<msdb::XMasterEntry> entry = index_->XMasterEntry(security.record);
        security.fileNumber = entry->fileNumber;
        security.first = entry->firstDate;
        security.last = entry->lastDate;
        fieldCount = entry->fieldCount;
        period = entry->period;
    } else {
        const msdb::RecordBytes record = master_.Record(security.record);
        security.fileNumber = record[msdb::kFileNumberOffset];
        fieldCount = record[msdb::kFieldCountOffset];
        std::copy_n(record.begin() + msdb::kFirstDateOffset, 4, security.first.begin());
        std::copy_n(record.begin() + msdb::kLastDateOffset, 4, security.last.begin());
        period = static_cast<char>(record[msdb::kPeriodOffset]);
    }
    const std::string name = PriceFileName(security);
    const std::string path = PathInDirectory(name);
    if ((period == 'D' || period == 'W' || period == 'M') &&
        period != static_cast<char>(security.period)) {
        Refuse(SettingsField::kPeriod, SymbolOf(security) + " holds prices of the period " +
                                           std::string(1, period) + ", the file gives " +
                                           std::string(1, static_cast<char>(security.period)) +
                                           ": new days are added in the security's own period.");
        return 1;
    }
    std::string dop;
    std::optional<msdb::FieldSet> fields;
    if (msdb::ReadWholeFile(*fs_, PathInDirectory(msdb::DopFileName(security.fileNumber)), &dop)
            .ok()) {
        fields = msdb::FieldsFromDop(dop);
    }
    if (!fields) {
        fields = msdb::FieldsFromCount(fieldCount);
    }
    if (!fields) {
        Tell("The fields that " + path + " of " + SymbolOf(security) + " holds cannot be told.");
        return 1;
    }
    if (*fields != security.fields) {
        Refuse(SettingsField::kColumn,
               SymbolOf(security) + " holds the fields " + FieldList(*fields) + " in " + path +
                   "; the run reads " + FieldList(security.fields) +
                   ". New days are added in the fields the security holds: read the columns "
                   "that give them.");
        return 1;
    }
    security.recordLength =
        static_cast<std::uint32_t>(msdb::CountFields(*fields) * msdb::kFieldSize);
    msdb::FileInfo& info = security.onDisk->info;
    if (msdb::Status s = ReadStoredHeader(path, security); !s.ok()) {
        Tell("The price file of " + SymbolOf(security) + " cannot be read.\n" + s.message());
        return 1;
    }
    const int lastRecord = security.onDisk->header().size() == security.recordLength
                               ? msdb::ReadLastRecordNumber(security.onDisk->header())
                               : 0;
    if (lastRecord < 1 ||
        info.size != static_cast<std::uint64_t>(lastRecord) * security.recordLength) {
        Tell("The price file " + path + " of " + SymbolOf(security) + " holds " +
             std::to_string(info.size) + " bytes, which is not what its header counts (" +
             std::to_string(lastRecord) + " records of " + std::to_string(security.recordLength) +
             " bytes): new days are not added to it. 'korvex-cli check' tells more.");
        return 1;
    }
    security.count = std::max(lastRecord - 1, 0);
    security.lastValue = security.count > 0 ? msdb::FromMbf(security.last) : 0.0f;
    if (security.count > 0 && security.lastValue <= 0.0f) {
        // A listing without the last date: the price file's last record tells it.
        if (LoadStored(security) != 0) {
            return 1;
        }
        security.last =
            DateOf(std::string_view(*security.onDisk->records)
                       .substr(security.onDisk->records->size() - security.recordLength));
        security.lastValue = msdb::FromMbf(security.last);
    }
    return 0;
}

// The price file's header and what GetInfo tells of it. A run that will write keeps the file
// open for its commit, while it may: opening thousands of files by their paths a second time
// would cost about as much as appending to them.
msdb::Status DatabaseRun::ReadStoredHeader(const std::string& path, Security& security) {
    Security::StoredFile& onDisk = *security.onDisk;
    const std::size_t wanted =
        std::min<std::size_t>(security.recordLength, onDisk.headerBytes.size());
    if (!settings_.dryRun && filesKeptOpen_ < filesToKeepOpen_ &&
        fs_->OpenForUpdate(path, &onDisk.kept, &onDisk.info).ok()) {
        std::size_t got = 0;
        msdb::Status s = onDisk.kept->ReadAt(0, wanted, onDisk.headerBytes.data(), &got);
        onDisk.headerSize = static_cast<std::uint8_t>(got);
        if (s.ok()) {
            ++filesKeptOpen_;
            return s;
        }
        onDisk.kept.reset();
    }
    // Opened to read only: a read-only file, one behind a symbolic link, or one more than the run
    // may keep open. The commit opens it again, or says why it cannot.
    std::string header;
    msdb::Status s = msdb::ReadFilePrefix(*fs_, path, wanted, &header, &onDisk.info);
    onDisk.headerSize = static_cast<std::uint8_t>(header.size());
    std::copy(header.begin(), header.end(), onDisk.headerBytes.begin());
    return s;
}

int DatabaseRun::LoadStored(Security& security) {
    if (security.onDisk->records) {
        return 0;
    }
    std::string bytes;
    if (msdb::Status s =
            msdb::ReadWholeFile(*fs_, PathInDirectory(PriceFileName(security)), &bytes);
        !s.ok()) {
        Tell("The price file of " + SymbolOf(security) + " cannot be read.\n" + s.message());
        return 1;
    }
    bytes.resize(std::min<std::size_t>(bytes.size(), security.onDisk->info.size));
    bytes.erase(0, std::min<std::size_t>(bytes.size(), security.recordLength));
    security.onDisk->records = std::make_unique<std::string>(std::move(bytes));
    return 0;
}

// The records of an update: those dated after the last day the security holds are appended;
// those of days it holds are passed over when they equal the stored ones, and are problems when
// they differ or fall on a day before its last that it does not hold.
int DatabaseRun::Append(Security& security, const std::string& records,
                        const std::vector<LineNumber>& lines, InputProblems* problems) {
    SecurityOutcome& outcome = report_.securities[security.at];
    const std::size_t length = security.recordLength;
    for (std::size_t i = 0, at = 0; at + length <= records.size(); ++i, at += length) {
        const std::string_view record = std::string_view(records).substr(at, length);
        const msdb::MbfBytes date = DateOf(record);
        const float value = msdb::FromMbf(date);
        if (value > security.lastValue) {
            if (security.count >= msdb::kMaxPriceRecords) {
                Refuse(SettingsField::kRange, SymbolOf(security) + " would hold more than the " +
                                                  std::to_string(msdb::kMaxPriceRecords) +
                                                  " price records that one security holds.");
                return 1;
            }
            security.onDisk->appended.Add(record);
            if (security.count == 0) {
                security.first = date;
            }
            ++security.count;
            security.last = date;
            security.lastValue = value;
            ++outcome.records;
            continue;
        }
        // A day the security may hold: stored before the run, or appended by an earlier file.
        if (LoadStored(security) != 0) {
            return 1;
        }
        std::optional<std::string_view> held;
        for (std::string_view part :
             {std::string_view(*security.onDisk->records), security.onDisk->appended.bytes()}) {
            const std::size_t n = part.size() / length;
            std::size_t low = 0;
            std::size_t high = n;
            while (low < high) {
                const std::size_t middle = (low + high) / 2;
                if (msdb::FromMbf(DateOf(part.substr(middle * length))) < value) {
                    low = middle + 1;
                } else {
                    high = middle;
                }
            }
            if (low < n && msdb::FromMbf(DateOf(part.substr(low * length))) == value) {
                held = part.substr(low * length, length);
                break;
            }
        }
        const LineNumber line = i < lines.size() ? lines[i] : 0;
        if (held && *held == record) {
            ++outcome.daysHeld;
            continue;
        }
        ++updateLeftOut_;
        if (!held) {
            problems->Add({line, "date", DayText(date),
                           "lies before " + DayText(security.last) + ", the last day " +
                               SymbolOf(security) + " holds, and is not a day it holds"});
            continue;
        }
        std::string what = "differs from the record " + SymbolOf(security) + " holds for that day:";
        std::size_t offset = msdb::kFieldSize;
        for (PriceField field : msdb::kPriceFields) {
            if (field == PriceField::kDate || !security.fields[field]) {
                continue;
            }
            msdb::MbfBytes stored{};
            msdb::MbfBytes given{};
            std::memcpy(stored.data(), held->data() + offset, msdb::kFieldSize);
            std::memcpy(given.data(), record.data() + offset, msdb::kFieldSize);
            if (stored != given) {
                what += " " + std::string(FieldName(field)) + " stored " +
                        msdb::FullNumber(msdb::FromMbf(stored)) + ", in the file " +
                        msdb::FullNumber(msdb::FromMbf(given)) + ";";
            }
            offset += msdb::kFieldSize;
        }
        what.pop_back();
        problems->Add({line, "date", DayText(date), what});
    }
    return 0;
}

int DatabaseRun::Decide(const std::vector<std::pair<std::string, InputProblems>>& problems) {
    if (problems.empty()) {
        return 0;
    }
    std::string list;
    for (const auto& [path, fileProblems] : problems) {
        list += (list.empty() ? "" : "\n") + fileProblems.Message(path);
    }
    ScanResult acceptance = acceptance_;
    acceptance.leftOut += updateLeftOut_;
    const std::string consequences = WhatAcceptingDoes(acceptance);
    if (settings_.acceptProblems) {
        Tell(list + "\nThe problems are accepted, as asked: " + consequences + ".");
        report_.accepted = WhatAcceptingDoes(acceptance, true);
        return 0;
    }
    std::optional<bool> answer =
        notifier_->Ask(list + "\n\nStore the files anyway? " + consequences + ".");
    if (!answer) {
        Tell(list + "\nNothing was converted.");
    }
    if (answer.value_or(false)) {
        report_.accepted = WhatAcceptingDoes(acceptance, true);
        return 0;
    }
    const InputProblem& first = problems.front().second.first().front();
    refused_ = ConversionJob::Refusal{
        first.field == "date" ? SettingsField::kDateFormat : SettingsField::kColumn,
        PriceField::kDate, list + "\nNothing was converted."};
    return 1;
}

// Everything the run changes, handed to the transaction: each security's price file (written
// anew, or with the new days appended), its dates in MASTER, EMASTER or XMASTER, and those.
// XMASTER, and its backup when there was one, are staged a part at a time (a directory of
// 65,000 securities has an XMASTER of 9.7 MB), the records the run leaves alone copied from the
// file: refused when the file is no longer as the run read it.
msdb::Status DatabaseRun::StageXMaster(const std::string& name) {
    msdb::Transaction& transaction = target_.transaction();
    std::unique_ptr<msdb::ReadableFile> file;
    std::size_t size = 0;
    std::uint64_t hash = kHashStart;
    const std::string backup = name + std::string(msdb::kBackupSuffix);
    auto read = [&](std::size_t n, char* buffer, std::size_t* got) {
        msdb::Status s = file->Read(n, buffer, got);
        if (s.ok() && *got > 0) {
            const std::string_view bytes(buffer, *got);
            size += bytes.size();
            hash = HashBytes(bytes, hash);
            s = transaction.StageData(backup, false, bytes);
        }
        return s;
    };
    if (xmasterBefore_) {
        if (msdb::Status s = fs_->OpenForRead(xmaster_->path(), &file); !s.ok()) {
            return s;
        }
    }
    msdb::Status s = xmaster_->Write(read, [&](std::string_view part) {
        return transaction.StageData(name, !xmasterBefore_, part);
    });
    if (s.ok() && xmasterBefore_) {
        char rest = 0;
        std::size_t got = 0;
        s = read(1, &rest, &got);  // the file has grown when it has more
        if (s.ok() && std::pair(size, hash) != *xmasterBefore_) {
            s = msdb::Status::Busy("The file " + xmaster_->path() +
                                   " is not as when it was read: another program changed it.");
        }
    }
    return s;
}

int DatabaseRun::WriteDirectoryFiles() {
    bool masterChanged = false;
    bool xmasterChanged = false;
    msdb::Transaction& transaction = target_.transaction();
    while (!securities_.empty()) {
        Security security = std::move(securities_.front());  // let go at the end
        securities_.pop_front();
        SecurityOutcome& outcome = report_.securities[security.at];
        outcome.total = static_cast<std::int32_t>(security.count);
        outcome.firstDate = security.first;
        outcome.lastDate = security.last;
        if (security.action == Action::kUpdated && security.onDisk->appended.empty()) {
            outcome.action = Action::kUnchanged;
            continue;
        }
        (security.inXMaster ? xmasterChanged : masterChanged) = true;
        if (security.inXMaster) {
            xmaster_->SetRecordDates(security.record, security.first, security.last);
        } else {
            const auto number = static_cast<std::uint8_t>(security.fileNumber);
            master_.SetDates(number, security.first, security.last);
            if (emaster_) {
                emaster_->SetDates(number, security.first, security.last);
            }
        }
        if (settings_.dryRun) {
            continue;
        }
        const std::string name = PriceFileName(security);
        if (security.action == Action::kUpdated) {
            std::string header(security.onDisk->header());
            msdb::WriteLastRecordNumber(&header, static_cast<std::uint16_t>(security.count + 1));
            transaction.AppendToFile(
                name, security.onDisk->info.size, std::move(header),
                security.onDisk->appended.Take(),
                msdb::FileAsRead{security.onDisk->info, std::string(security.onDisk->header()),
                                 std::move(security.onDisk->kept)});
            continue;
        }
        if (security.stagedCount == security.count) {
            continue;  // its header counts its records already
        }
        std::string header = msdb::MakeDatHeader(settings_.FieldCount());
        msdb::WriteLastRecordNumber(&header, static_cast<std::uint16_t>(security.count + 1));
        if (msdb::Status s = transaction.PatchStaged(name, 0, header); !s.ok()) {
            Tell("The price file " + PathInDirectory(name) + " of " + SymbolOf(security) +
                 " cannot be written.\n" + s.message());
            return 1;
        }
        // Its DOP was staged with its first records.
    }
    nothingToCommit_ = !masterChanged && !xmasterChanged;
    if (settings_.dryRun || nothingToCommit_) {
        return 0;
    }
    if (xmasterChanged) {
        if (msdb::Status s = StageXMaster(msdb::FileNameOf(xmaster_->path())); !s.ok()) {
            Tell(s.message());
            return 1;
        }
    }
    if (masterChanged) {
        if (emaster_) {
            const std::string name = msdb::FileNameOf(emaster_->path());
            if (emasterBefore_) {
                transaction.ReplaceFile(name, std::string(emaster_->bytes()));
                transaction.AddBackup(name, *emasterBefore_);
            } else {
                transaction.CreateFile(name, std::string(emaster_->bytes()));
            }
        }
        transaction.SetMaster(msdb::FileNameOf(masterPath_), std::string(master_.bytes()),
                              masterBefore_.has_value(), masterBefore_);
    }
    return 0;
}

int DatabaseRun::Commit() {
    if (nothingToCommit_) {
        return 0;
    }
    target_.transaction().SetProgress([this](std::size_t done, std::size_t total) {
        ReportProgress(kTakenPermille + static_cast<int>(done * (1000 - kTakenPermille) /
                                                         std::max<std::size_t>(total, 1)));
    });
    std::optional<std::string> problem = target_.Commit("conversion");
    changed_ = target_.Effect().committed;
    if (problem) {
        Tell(*problem);
    }
    return changed_ ? 0 : 1;
}

}  // namespace engine
