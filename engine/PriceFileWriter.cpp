#include "engine/PriceFileWriter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace engine {
namespace {

// How much of the buffer is made present at a time, ahead of the records written into it.
constexpr std::size_t kPopulateStep = 64 * 1024;

// Makes the whole pages of `size` bytes at `begin` present in one call. A fresh page otherwise
// costs a fault when it is first written, and in a virtual machine the 350 faults of a 50,000-line
// file took longer than all the parsing. Elsewhere, or where the kernel cannot (before Linux
// 5.14), the pages come one fault at a time as before.
void Populate(char* begin, std::size_t size) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    static const auto kPage = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const std::uintptr_t first =
        (reinterpret_cast<std::uintptr_t>(begin) + kPage - 1) / kPage * kPage;
    const std::uintptr_t last = (reinterpret_cast<std::uintptr_t>(begin) + size) / kPage * kPage;
    if (first < last) {
        (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
    }
#else
    (void)begin;
    (void)size;
#endif
}

}  // namespace

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
    // The record is put together first and appended in one piece; with every field on, it is
    // the record's values as they lie.
    static_assert(sizeof record.values.values == msdb::kPriceFieldCount * msdb::kFieldSize);
    std::array<char, msdb::kPriceFieldCount * msdb::kFieldSize> bytes;
    std::size_t length = 0;
    if (recordLength_ == bytes.size()) {
        std::memcpy(bytes.data(), record.values.values.data(), bytes.size());
        length = bytes.size();
    } else {
        for (PriceField field : msdb::kPriceFields) {
            if (fieldsOn_[field]) {
                std::memcpy(bytes.data() + length, record.values[field].data(), msdb::kFieldSize);
                length += msdb::kFieldSize;
            }
        }
    }
    if (bytes_.size() + length > populated_) {
        const std::size_t step = std::min(kPopulateStep, bytes_.capacity() - populated_);
        Populate(bytes_.data() + populated_, step);
        populated_ += step;
    }
    bytes_.append(bytes.data(), length);
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
