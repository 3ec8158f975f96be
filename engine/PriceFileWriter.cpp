#include "engine/PriceFileWriter.h"

#include <algorithm>

namespace engine {

PriceFileWriter::PriceFileWriter(const PerField<bool>& fieldsOn) : fieldsOn_(fieldsOn) {
    int fieldCount = 0;
    for (bool on : fieldsOn_.values) {
        fieldCount += on ? 1 : 0;
    }
    recordLength_ = static_cast<std::size_t>(fieldCount) * msdb::kFieldSize;
    // Room for the most records a security holds, taken at once: the address space costs
    // nothing until it is written, where growing by copies would touch every page again.
    bytes_.reserve(static_cast<std::size_t>(msdb::kMaxPriceRecords + 1) * msdb::kFieldSize *
                   static_cast<std::size_t>(fieldCount));
    bytes_.append(msdb::MakeDatHeader(fieldCount));
}

void PriceFileWriter::Append(const PriceRecord& record) {
    for (PriceField field : msdb::kPriceFields) {
        if (fieldsOn_[field]) {
            bytes_.append(reinterpret_cast<const char*>(record.values[field].data()),
                          msdb::kFieldSize);
        }
    }
}

void PriceFileWriter::Reverse() {
    const std::size_t length = recordLength_;
    const std::size_t records = (bytes_.size() - length) / length;
    for (std::size_t i = 0, j = records - (records > 0 ? 1 : 0); i < j; ++i, --j) {
        std::swap_ranges(bytes_.begin() + static_cast<std::ptrdiff_t>(length * (i + 1)),
                         bytes_.begin() + static_cast<std::ptrdiff_t>(length * (i + 2)),
                         bytes_.begin() + static_cast<std::ptrdiff_t>(length * (j + 1)));
    }
}

void PriceFileWriter::SetRecordCount(std::uint16_t recordCount) {
    msdb::WriteLastRecordNumber(&bytes_, static_cast<std::uint16_t>(recordCount + 1));
}

}  // namespace engine
