#include "msdb/SecurityFiles.h"

namespace msdb {

std::string DatFileName(int fileNumber) {
    return "F" + std::to_string(fileNumber) + ".DAT";
}
std::string DopFileName(int fileNumber) {
    return "F" + std::to_string(fileNumber) + ".DOP";
}

std::optional<int> SecurityFileNumber(std::string_view name) {
    constexpr int kLastFileNumber = 255;
    if (name.size() < 6 || (name[0] != 'F' && name[0] != 'f') || name[1] == '0') {
        return std::nullopt;
    }
    const std::size_t dot = name.find('.');
    if (dot == std::string_view::npos || dot < 2 || dot > 4 || name.size() - dot != 4) {
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
    if (number > kLastFileNumber ||
        (extension != "DAT" && extension != "DOP" && extension != "MWD")) {
        return std::nullopt;
    }
    return number;
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
