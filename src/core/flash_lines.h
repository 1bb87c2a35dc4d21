#pragma once
// The command lines of the controller's flash disk (without their CR LF) and the
// decoding of its replies.
//
//   OPENWR "name"   WRITE "0A1BFF..." (21 bytes a line)   CLOSE
//   OPENRD "name"   READ 20"   -> 40 hex digits, then "OK"; the last digits end in "ND"

#include <string>
#include <string_view>

namespace vantor::core {

constexpr std::size_t kFlashPiece = 21; // bytes per WRITE line
constexpr std::size_t kFlashRead = 20;  // bytes per data reply
inline constexpr std::string_view kReadLine = "READ 20\"";
inline constexpr std::string_view kCloseCommand = "CLOSE\r\n";

std::string openWriteLine(std::string_view name);
std::string openReadLine(std::string_view name);
// The WRITE line of one piece of the file.
std::string writeLine(std::string_view piece);
// Exactly 20 bytes decoded from the front of a data reply; missing or foreign
// characters count 0.
std::string decodeDataReply(std::string_view reply);
// The bytes before the first "ND" of an end-of-data reply (an odd digit is dropped).
std::string decodeEndOfData(std::string_view reply);

} // namespace vantor::core
