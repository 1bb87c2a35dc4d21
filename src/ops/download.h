#pragma once
// The window's side of a BASIC program download: the file dialog, the .bas file read
// whole, the flags and the pane, and each line sent on the link that is up. What to
// send when, and what an answer means, the core's ProgramDownload decides.

#include "core/exchange.h"
#include "core/program_download.h"

class QString;

namespace vantor {

struct Terminal;
struct Links;

class Download {
public:
    Download(const Terminal& terminal, const Links& links) : t_(terminal), links_(links) {}

    void start();        // "Open File and  Download"
    void sendNextLine(); // ">>"
    void abandon();      // "X"
    void onUdpReply();
    void onSerialReply();

private:
    core::ProgramDownload readProgram(const QString& path);
    // Over UDP an answer's next line goes out over UDP alone; everything else on either link.
    void carryOut(const core::Step& step, bool udpOnly);

    const Terminal& t_;
    const Links& links_;
    core::ProgramDownload exchange_;
};

} // namespace vantor
