// The number reader behind the RTU address and the COM number: any text gives an address
// from 0 to 255 or Failure 6, and a 16-bit number or Failure 13 or 6.
#include "core/basic_numbers.h"
#include "core/failure.h"
#include "core/framing.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantor;
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const int address = core::rtuAddress(text);
        fuzz::check(address >= 0 && address <= 255, "an address is a byte");
    } catch (const core::Failure& failure) {
        fuzz::check(failure.number() == 6, "an address fails with Overflow only");
    }
    try {
        const int number = core::toInteger16(text);
        fuzz::check(number >= -32768 && number <= 32767, "a 16-bit number");
    } catch (const core::Failure& failure) {
        fuzz::check(failure.number() == 13 || failure.number() == 6, "Type mismatch or Overflow");
    }
    return 0;
}
