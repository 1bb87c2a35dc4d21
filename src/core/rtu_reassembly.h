#pragma once
// Reassembly of Modbus RTU reply frames from the bytes the serial poll collects.
// takeRtuFrame looks at the front of the buffer only: it either finds the frame there
// incomplete (the buffer is left alone, more bytes may come) or removes one whole frame
// and reports whether its CRC matched. A wrong byte count misreads what follows until
// the buffer is emptied by a send or by the poll's idle give-up; that is the protocol's
// way of resynchronising, so nothing here tries to be cleverer.

#include <string>

namespace vantor::core {

struct RtuStep {
    enum class Kind { Incomplete, Good, BadCrc };
    Kind kind = Kind::Incomplete;
    int length = 0;      // the byte-count field of the frame at the front
    std::string data;    // the data field of a removed frame
    std::string crcCalc; // CRC16 computed over address, function, count and data
    std::string crcRecv; // the two CRC bytes received
};

RtuStep takeRtuFrame(std::string& buffer);

} // namespace vantor::core
