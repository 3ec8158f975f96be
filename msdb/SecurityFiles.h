// The two files of a security: F<n>.DAT, fixed-length price records behind a header record of the
// same length, and F<n>.DOP, one text line per stored field.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace msdb {

// The seven price fields in their canonical order.
enum class PriceField { kDate, kOpen, kHigh, kLow, kClose, kVolume, kOpenInterest };

inline constexpr std::size_t kPriceFieldCount = 7;

inline constexpr std::array<PriceField, kPriceFieldCount> kPriceFields = {
    PriceField::kDate,  PriceField::kOpen,   PriceField::kHigh,        PriceField::kLow,
    PriceField::kClose, PriceField::kVolume, PriceField::kOpenInterest};

constexpr std::size_t Index(PriceField field) {
    return static_cast<std::size_t>(field);
}

// One value of type T for each price field, indexed by the field.
template <typename T>
struct PerField {
    std::array<T, kPriceFieldCount> values{};

    constexpr T& operator[](PriceField field) { return values[Index(field)]; }
    constexpr const T& operator[](PriceField field) const { return values[Index(field)]; }
    bool operator==(const PerField&) const = default;
};

inline constexpr PerField<std::string_view> kPriceFieldLabels = {
    {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"}};

// Every value in a price record, and every field of a DAT header record, is four bytes wide.
inline constexpr std::size_t kFieldSize = 4;

// The most price records one security holds: the header counts them plus one in 16 bits.
inline constexpr int kMaxPriceRecords = 65534;

// "F<n>.DAT" and "F<n>.DOP" for file number n, without leading zeros.
std::string DatFileName(int fileNumber);
std::string DopFileName(int fileNumber);

// The file number n of a name F<n>.DAT, F<n>.DOP or F<n>.MWD (any letter case, n from 1 to 255
// without leading zeros), or nothing for any other name.
std::optional<int> SecurityFileNumber(std::string_view name);

// The file number n of a name F<n>.DAT, F<n>.DOP or F<n>.MWD as SecurityFileNumber reads it, but
// for n from 256 to 65535: the files of XMASTER's securities. `extension` gets "DAT", "DOP" or
// "MWD".
std::optional<int> XMasterFileNumber(std::string_view name, std::string* extension = nullptr);

// One bit per stored field, bit 0 for the date and the others in canonical order: XMASTER's
// field mask.
std::uint8_t FieldMask(const PerField<bool>& fieldOn);

// A new DAT header record: one 00 00 01 00 slot per stored field, so that lastRecordNumber is 1.
std::string MakeDatHeader(int fieldCount);

// The lastRecordNumber word at byte offset 2 of a DAT header record.
std::uint16_t ReadLastRecordNumber(std::string_view datFile);
void WriteLastRecordNumber(std::string* datFile, std::uint16_t lastRecordNumber);

// The F<n>.DOP text: for each stored field in canonical order a double quote, its label, a double
// quote and ",0,0" for the date or ",4,4" otherwise, each line ending in CR LF.
std::string MakeDopText(const PerField<bool>& fieldOn);

}  // namespace msdb
