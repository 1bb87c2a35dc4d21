// RTU reassembly fed in chunks: a frame taken as good has a CRC that checks, and the
// buffer never holds more than one unfinished frame.
#include "core/rtu_reassembly.h"
#include "core/crc16.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantor;
    std::string buffer;
    for (const std::string& chunk : fuzz::pieces(data, size)) {
        buffer += chunk;
        for (core::RtuStep step;
             (step = core::takeRtuFrame(buffer)).kind != core::RtuStep::Kind::Incomplete;) {
            fuzz::check(step.data.size() == std::size_t(step.length), "data is the count long");
            if (step.kind == core::RtuStep::Kind::Good)
                fuzz::check(step.crcCalc == step.crcRecv, "a good frame's CRC checks");
        }
        fuzz::check(buffer.size() < 255 + 5, "at most one unfinished frame is kept");
    }
    return 0;
}
