// The two files of a security: F<n>.DAT, fixed-length price records behind a header record of the
// same length, and F<n>.DOP, one text line per stored field.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace msdb {

// The seven price fields in their canonical order.
enum PriceField { DATE = 0, OPEN, HIGH, LOW, CLOSE, VOL, OI, kPriceFieldCount };

inline constexpr std::array<std::string_view, kPriceFieldCount> kPriceFieldLabels = {
    "DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"};

// The most price records one security holds: the header counts them plus one in 16 bits.
inline constexpr int kMaxPriceRecords = 65534;

// "F<n>.DAT", "F<n>.DOP", "F<n>.NEW" for file number n, without leading zeros.
std::string DatFileName(int fileNumber);
std::string DopFileName(int fileNumber);
std::string DatTempFileName(int fileNumber);

// A new DAT header record: one 00 00 01 00 slot per stored field, so that lastRecordNumber is 1.
std::string MakeDatHeader(int fieldCount);

// The lastRecordNumber word at byte offset 2 of a DAT header record.
std::uint16_t ReadLastRecordNumber(std::string_view datFile);
void WriteLastRecordNumber(std::string* datFile, std::uint16_t lastRecordNumber);

// The F<n>.DOP text: for each stored field in canonical order a double quote, its label, a double
// quote and ",0,0" for the date or ",4,4" otherwise, each line ending in CR LF.
std::string MakeDopText(const std::array<int, kPriceFieldCount>& fieldOn);

}  // namespace msdb
