#include "rtu_reassembly.h"
#include "crc16.h"

namespace vantor::core {

RtuStep takeRtuFrame(std::string& buffer) {
    RtuStep step;
    if (buffer.size() < 5)
        return step;
    step.length = static_cast<unsigned char>(buffer[2]);
    const std::size_t frameSize = static_cast<std::size_t>(step.length) + 5;
    if (buffer.size() < frameSize)
        return step;
    step.crcCalc = CRC16(std::string_view(buffer).substr(0, step.length + 3));
    step.crcRecv = buffer.substr(step.length + 3, 2);
    step.data = buffer.substr(3, step.length);
    buffer.erase(0, frameSize);
    step.kind = step.crcRecv == step.crcCalc ? RtuStep::Kind::Good : RtuStep::Kind::BadCrc;
    return step;
}

} // namespace vantor::core
