#pragma once
// BASIC program download, stop and wait: line 1 goes out at the start, and every reply
// holding "OK" releases the next line. "ERROR" ends it (the controller refused the line
// in flight), and over UDP so does a login prompt. The download is complete as soon as
// its last line is out; the answer to that line is ordinary text for whoever shows it.
//
//   start ──► line 1 ──"OK"──► line 2 ... ──"OK"──► last line: Done
//                  └──"ERROR"──► Failed      └──"Login"/"Passwor" (UDP)──► Denied

#include "exchange.h"
#include "protocol.h"

#include <string>
#include <string_view>
#include <vector>

namespace vantor::core {

class ProgramDownload {
public:
    explicit ProgramDownload(std::vector<std::string> lines = {});
    // The lines of a .bas file's content, leading zeros stripped; Failure 9 above 2048 lines.
    static ProgramDownload fromFile(std::string_view content);

    // Sends line 1; a program without lines sends nothing and is Done at once.
    Step start();
    // The next line now, without waiting for an answer (">>").
    Step sendNext();
    Step onReply(std::string_view reply, Link link);

    bool running() const { return running_; }
    // The line sent last (1-based); 0 before the start and after completion.
    int position() const { return pos_; }
    int count() const { return static_cast<int>(lines_.size()); }

private:
    Step advance();

    std::vector<std::string> lines_;
    int pos_ = 0;
    bool running_ = false;
};

} // namespace vantor::core
