#include "flash_lines.h"
#include "hex.h"

namespace vantor::core {

namespace {
std::string quoted(std::string_view command, std::string_view text) {
    std::string line(command);
    line.push_back('"');
    line.append(text);
    line.push_back('"');
    return line;
}

std::string decodePairs(std::string_view reply, std::size_t count) {
    std::string bytes;
    bytes.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t at = 2 * k;
        const std::string_view pair = at < reply.size() ? reply.substr(at, 2) : std::string_view();
        bytes.push_back(static_cast<char>(Decode2(pair)));
    }
    return bytes;
}
} // namespace

std::string openWriteLine(std::string_view name) {
    return quoted("OPENWR ", name);
}
std::string openReadLine(std::string_view name) {
    return quoted("OPENRD ", name);
}

std::string writeLine(std::string_view piece) {
    std::string line = "WRITE \"";
    line.reserve(line.size() + 2 * piece.size() + 1);
    for (char byte : piece)
        appendHexByte(line, static_cast<unsigned char>(byte));
    line.push_back('"');
    return line;
}

std::string decodeDataReply(std::string_view reply) {
    return decodePairs(reply, kFlashRead);
}

std::string decodeEndOfData(std::string_view reply) {
    const std::size_t nd = reply.find("ND");
    if (nd == std::string_view::npos)
        return {};
    return decodePairs(reply, nd / 2);
}

} // namespace vantor::core
