// The four exchanges fed random replies: a download sends only the lines it was given, a
// capture stores nothing but whole replies, a flash read stores at most 20 bytes a Data
// reply (the last ones, before "ND", come from the reply), a flash write sends only WRITE lines of
// at most 21 bytes.
#include "core/flash_read.h"
#include "core/flash_write.h"
#include "core/listing_capture.h"
#include "core/program_download.h"
#include "fuzz_support.h"

#include <set>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantor;
    const std::vector<std::string> replies = fuzz::pieces(data, size);
    const std::vector<std::string> lines{"10 A", "", "20 B", "30 C"};
    const std::set<std::string> allowed{"10 A\r\n", "\r\n", "20 B\r\n", "30 C\r\n"};
    core::ProgramDownload download(lines);
    const core::ListingCapture capture;
    core::FlashRead read("F");
    core::FlashWrite write(std::string(50, 'x'), "F");
    std::size_t sent = download.start().send.empty() ? 0 : 1;
    for (const std::string& reply : replies) {
        const core::Link link = reply.size() % 2 ? core::Link::Udp : core::Link::Serial;
        const core::Step d = reply == "\x01" ? download.sendNext() : download.onReply(reply, link);
        if (!d.send.empty()) {
            fuzz::check(allowed.count(d.send) == 1, "a download sends only its own lines");
            fuzz::check(++sent <= lines.size(), "a download sends each line once");
        }
        const core::Step c = capture.onReply(reply, link);
        fuzz::check(c.store.empty() || c.store == reply, "a capture stores whole replies");
        const core::Step r = read.onReply(reply);
        if (r.outcome == core::Outcome::Running)
            fuzz::check(r.store.size() <= 20, "a flash read stores at most 20 bytes a Data reply");
        else
            fuzz::check(r.store.size() <= reply.size() / 2, "the last bytes come from the reply");
        fuzz::check(read.counter() >= 0 && read.counter() < 100, "the counter runs modulo 100");
        const core::Step w = write.onReply(reply);
        fuzz::check(w.send.empty() || (w.send.rfind("WRITE \"", 0) == 0 && w.send.size() <= 52),
                    "a flash write sends WRITE lines of 21 bytes at most");
        fuzz::check(write.position() <= write.total() + 1, "a flash write stays within its file");
    }
    return 0;
}
