#include "msdb/SecurityFiles.h"

namespace msdb {

std::string DatFileName(int fileNumber) {
    return "F" + std::to_string(fileNumber) + ".DAT";
}
std::string DopFileName(int fileNumber) {
    return "F" + std::to_string(fileNumber) + ".DOP";
}

namespace {

// The number n of F<n>.DAT, F<n>.DOP or F<n>.MWD, from `first` to `last`, of at most `digits`
// digits without a leading zero.
std::optional<int> FileNumberOf(std::string_view name, int first, int last, std::size_t digits,
                                std::string* extensionOut) {
    if (name.size() < 6 || (name[0] != 'F' && name[0] != 'f') || name[1] == '0') {
        return std::nullopt;
    }
    const std::size_t dot = name.find('.');
    if (dot == std::string_view::npos || dot < 2 || dot > 1 + digits || name.size() - dot != 4) {
        return std::nullopt;
    }
    int number = 0;
    for (char c : name.substr(1, dot - 1)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + (c - '0');
    }
    std::string extension;
    for (char c : name.substr(dot + 1)) {
        extension += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    if (number < first || number > last ||
        (extension != "DAT" && extension != "DOP" && extension != "MWD")) {
        return std::nullopt;
    }
    if (extensionOut != nullptr) {
        *extensionOut = extension;
    }
    return number;
}

}  // namespace

std::optional<int> SecurityFileNumber(std::string_view name) {
    constexpr int kLastFileNumber = 255;
    constexpr std::size_t kDigits = 3;
    return FileNumberOf(name, 1, kLastFileNumber, kDigits, nullptr);
}

std::optional<int> XMasterFileNumber(std::string_view name, std::string* extension) {
    constexpr int kFirst = 256;
    constexpr int kLast = 65535;
    constexpr std::size_t kDigits = 5;
    return FileNumberOf(name, kFirst, kLast, kDigits, extension);
}

std::uint8_t FieldMask(const PerField<bool>& fieldOn) {
    std::uint8_t mask = 0;
    for (PriceField field : kPriceFields) {
        if (fieldOn[field]) {
            mask = static_cast<std::uint8_t>(mask | (1u << Index(field)));
        }
    }
    return mask;
}

std::string MakeDatHeader(int fieldCount) {
    std::string header;
    for (int i = 0; i < fieldCount; ++i) {
        header.append("\x00\x00\x01\x00", 4);
    }
    return header;
}

std::uint16_t ReadLastRecordNumber(std::string_view datFile) {
    auto lo = static_cast<std::uint8_t>(datFile[2]);
    auto hi = static_cast<std::uint8_t>(datFile[3]);
    return static_cast<std::uint16_t>(lo | (hi << 8));
}

void WriteLastRecordNumber(std::string* datFile, std::uint16_t lastRecordNumber) {
    (*datFile)[2] = static_cast<char>(lastRecordNumber & 0xFF);
    (*datFile)[3] = static_cast<char>(lastRecordNumber >> 8);
}

std::string MakeDopText(const PerField<bool>& fieldOn) {
    std::string text;
    for (PriceField field : kPriceFields) {
        if (fieldOn[field]) {
            text += '"';
            text += kPriceFieldLabels[field];
            text += field == PriceField::kDate ? "\",0,0\r\n" : "\",4,4\r\n";
        }
    }
    return text;
}

}  // namespace msdb
