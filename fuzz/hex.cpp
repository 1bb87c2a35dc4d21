// Hex digits: any text decodes to bytes, never fails; a Data reply is always 20 bytes, the
// bytes before "ND" at most half the reply; encoding then decoding gives the bytes back.
#include "core/hex.h"
#include "core/flash_lines.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantor;
    const std::string text(reinterpret_cast<const char*>(data), size);
    fuzz::check(core::Decode2(text) >= 0 && core::Decode2(text) <= 255, "Decode2 is a byte");
    fuzz::check(core::decodeDataReply(text).size() == 20, "a Data reply is 20 bytes");
    fuzz::check(core::decodeEndOfData(text).size() <= size / 2, "the end of data is in the reply");
    const std::string line = core::writeLine(text);
    const std::string digits = line.substr(7, line.size() - 8);
    fuzz::check(core::decodeEndOfData(digits + "ND") == text, "hex there and back is the same");
    return 0;
}
