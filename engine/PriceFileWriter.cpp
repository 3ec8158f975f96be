#include "engine/PriceFileWriter.h"

namespace engine {

PriceFileWriter::PriceFileWriter(const PerField<bool>& fieldsOn) : fieldsOn_(fieldsOn) {
    int fieldCount = 0;
    for (bool on : fieldsOn_.values) {
        fieldCount += on ? 1 : 0;
    }
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

void PriceFileWriter::SetRecordCount(std::uint16_t recordCount) {
    msdb::WriteLastRecordNumber(&bytes_, static_cast<std::uint16_t>(recordCount + 1));
}

}  // namespace engine
