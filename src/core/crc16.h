#pragma once
// CRC-16/MODBUS: reflected polynomial 0xA001, initial value 0xFFFF, no final XOR,
// computed bit by bit. The string form is the two bytes as they go on the wire,
// low byte first.

#include <cstdint>
#include <string>
#include <string_view>

namespace vantor::core {

std::uint16_t crc16Value(std::string_view bytes);
std::string CRC16(std::string_view bytes);

} // namespace vantor::core
