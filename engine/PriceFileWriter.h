// The price-file writer: the bytes of a security's F<n>.DAT, a header record and then one price
// record per line in the order of the input, each holding the fields switched on in canonical
// order. They are held in memory (a security holds at most 65,534 records) and written to the
// directory in one piece when the run commits.
#pragma once

#include <cstdint>
#include <string>

#include "engine/InputParser.h"
#include "msdb/SecurityFiles.h"

namespace engine {

class PriceFileWriter {
public:
    // A price file of `fieldsOn` fields whose header counts no price record yet.
    explicit PriceFileWriter(const PerField<bool>& fieldsOn);

    // Adds one record behind those before it.
    void Append(const PriceRecord& record);

    // Turns the order of the records round, the last first.
    void Reverse();

    // Sets the header's lastRecordNumber to `recordCount` + 1, kept to 16 bits.
    void SetRecordCount(std::uint16_t recordCount);

    const std::string& bytes() const { return bytes_; }

    // The bytes, handed over without a copy; the writer is empty after.
    std::string TakeBytes() { return std::move(bytes_); }

private:
    PerField<bool> fieldsOn_;
    std::size_t recordLength_ = 0;
    std::string bytes_;
    std::size_t populated_ = 0;  // the bytes of bytes_'s room made present ahead of the writes
};

}  // namespace engine
