#include "crc16.h"

namespace vantor::core {

std::uint16_t crc16Value(std::string_view bytes) {
    std::uint32_t crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1U) ? (crc >> 1) ^ 0xA001U : crc >> 1;
    }
    return static_cast<std::uint16_t>(crc);
}

std::string CRC16(std::string_view bytes) {
    const std::uint16_t crc = crc16Value(bytes);
    return {static_cast<char>(crc & 0xFF), static_cast<char>(crc >> 8)};
}

} // namespace vantor::core
