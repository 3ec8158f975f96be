// The input parser: the lines of a text price file, read by the conversion settings into the
// values of price records.
#pragma once

#include <memory>
#include <string>

#include "engine/ConversionSettings.h"
#include "engine/TextInput.h"
#include "msdb/Encoding.h"
#include "msdb/FileSystem.h"

namespace engine {

// The values of one price record, each in its stored form; the fields switched off hold zeros.
struct PriceRecord {
    PerField<msdb::MbfBytes> values{};
};

class InputParser {
public:
    InputParser(const ConversionSettings& settings, std::unique_ptr<msdb::ReadableFile> file);

    // Moves to the next line that holds a field, skipping the heading lines first; `*got` is false
    // at the end of the file. A line that holds more fields than the slots is read from its first
    // kFieldSlotCount; a line with fewer keeps the texts that earlier lines left in the other
    // slots.
    [[nodiscard]] msdb::Status NextLine(bool* got);

    // The price record of the line NextLine moved to. A field that cannot be read is stored as 0
    // (a date as four zero bytes) and noted.
    PriceRecord ReadRecord();

    // The number (from 1) of the line in which the last line read starts.
    int LineNumber() const { return reader_.LineNumber(); }

    // The message of the date check of the first record: its date field holds a character that
    // the date format does not expect. Null when the check passed or no record was read yet.
    const char* DateCheckMessage() const { return dateCheckMessage_; }

    // The number of fields that could not be read, and the message that tells the user about them
    // (where the first one was).
    int UnreadableCount() const { return unreadable_.count; }
    std::string UnreadableMessage() const;

private:
    struct Unreadable {
        int count = 0;
        int line = 0;
        PriceField field = PriceField::kDate;
        int column = 0;
    };

    void NoteUnreadable(PriceField field);
    const std::string& Slot(PriceField field) const;

    const ConversionSettings& settings_;
    LineReader reader_;
    FieldSlots slots_;
    bool skipped_ = false;
    int recordsRead_ = 0;
    const char* dateCheckMessage_ = nullptr;
    Unreadable unreadable_;
};

}  // namespace engine
