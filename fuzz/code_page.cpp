// The code pages: bytes to characters to bytes is the identity, on every page.
#include "core/code_page.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantor;
    for (const char* name : {"windows-1251", "latin1", "cp866"}) {
        const core::CodePage* page = core::CodePage::byName(name);
        for (std::size_t i = 0; i < size; ++i)
            fuzz::check(page->fromUnicode(page->toUnicode(data[i])) == data[i],
                        "bytes to text to bytes is the identity");
    }
    return 0;
}
