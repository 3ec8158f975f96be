#include "engine/PriceFileWriter.h"

namespace engine {

PriceFileWriter::PriceFileWriter(const PerField<bool>& fieldsOn) : fieldsOn_(fieldsOn) {
    int fieldCount = 0;
    for (bool on : fieldsOn_.values) {
        fieldCount += on ? 1 : 0;
    }
    bytes_ = msdb::MakeDatHeader(fieldCount);
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
