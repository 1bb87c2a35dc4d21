// The host list: reading, writing and reading again gives the same entries.
#include "core/host_list.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantor;
    const std::vector<std::string> entries =
        core::readHostEntries(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const std::string& entry : entries)
        fuzz::check(!entry.empty(), "no empty entry");
    // One entry a line, as written: what was read comes back the same, but for an entry
    // that only quotes could keep whole (a comma, a quote, a line end, blanks at its ends),
    // which plain lines cannot; once written, the list is stable.
    const std::vector<std::string> again = core::readHostEntries(core::writeHostEntries(entries));
    bool plain = true;
    for (const std::string& entry : entries)
        plain = plain && entry.find_first_of(",\"\r\n") == std::string::npos &&
                entry.front() != ' ' && entry.front() != '\t' && entry.back() != ' ' &&
                entry.back() != '\t';
    if (plain)
        fuzz::check(again == entries, "read, write, read gives the same entries");
    fuzz::check(core::readHostEntries(core::writeHostEntries(again)) == again,
                "a written list reads back the same");
    return 0;
}
