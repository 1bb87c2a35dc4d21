#include "sim/world/scenario.h"

#include "sim/world/random.h"

#include "core/program_file.h"

#include <algorithm>
#include <array>

namespace vantor::sim::world {

namespace {

using core::JobCommand;

// Statements free of the markers a reply is read by ("OK", "ERROR", "Login"): a listing
// line holding one would end a capture, which is the protocol's limit, not a fault.
constexpr std::array kStatements = {
    "PRINT X", "GOTO 10", "LET A=1", "REM HI THERE", "IF A>2 THEN 30", "FOR I=1 TO 9",
    "NEXT I",  "END",     "A=A+1",   "print \"hi\"", "GOSUB   200",    "RETURN",
};
// Lines without a number: this board refuses RUN and CLEAR, takes UART.
constexpr std::array kUnnumbered = {"UART 2,7", "RUN", "CLEAR"};
// What `send` may send: answered with OK, with a listing and OK, with the version alone
// (no OK), and refused.
constexpr std::array kSendLines = {"UART 2,7", "10 REM SENT", "LIST", "NEW", "VER", "FROB"};

std::string statement(Random& r) {
    return kStatements[std::size_t(r.range(0, int(kStatements.size()) - 1))];
}

std::string fileLine(Random& r) {
    const int kind = r.range(0, 99);
    if (kind < 8)
        return "";
    if (kind < 11)
        return kUnnumbered[std::size_t(r.range(0, int(kUnnumbered.size()) - 1))];
    const int n = r.range(1, 300);
    // Up to three leading zeros go before sending.
    const std::string zeros(r.chance(80) ? std::size_t(r.range(1, 3)) : 0, '0');
    const std::string blank = r.chance(50) ? " " : "";
    const std::string number = blank + zeros + std::to_string(n);
    if (kind < 22)
        return number; // a number alone erases its line
    return number + (r.chance(150) ? "   " : " ") + statement(r);
}

std::string bytes(Random& r, int size) {
    std::string out(std::size_t(size), '\0');
    for (char& c : out)
        c = char(r.range(0, 255));
    return out;
}

int dataSize(Random& r) {
    return r.chance(300) ? r.pick({0, 1, 19, 20, 21, 40, 42, 63}) : r.range(0, 300);
}

void drawFaults(Random& r, Scenario& s) {
    Faults& f = s.faults;
    if (r.chance(300))
        return; // a good share of runs see no fault at all
    if (r.chance(400))
        f.requestLoss = r.range(10, 150);
    if (r.chance(400))
        f.replyLoss = r.range(10, 150);
    if (r.chance(500))
        f.latencyMs = r.range(1, 400);
    if (r.chance(400)) {
        f.stallRate = r.range(20, 250);
        f.stallMs = r.range(50, 2 * s.timeoutMs); // now shorter, now longer than the time-out
    }
    if (!s.udp && r.chance(500)) {
        f.splitRate = r.range(100, 1000);
        f.pauseMs = r.range(1, 40); // around the 20 ms that ends a serial reply
    }
    if (r.chance(300))
        f.readNoData = r.range(20, 300);
    f.crOnly = r.chance(250);
    f.login = r.chance(80);
    if (r.chance(150)) {
        const int which = r.range(0, 9);
        if (which == 0)
            f.refuseAll = true;
        else if (which < 5)
            f.errorOnLine = r.range(1, 10);
        else
            f.flashErrorAfter = r.range(1, 20);
    }
}

void drawProgram(Random& r, Device& d) {
    for (int n = r.range(0, 8); n > 0; --n)
        d.program.push_back(std::to_string(r.range(1, 300)) + " " + statement(r));
}

// One or two more devices on the line, each maybe absent, refusing or late; the board
// drawn first is always there, so that somebody on the line answers.
void drawBus(Random& r, Scenario& s) {
    for (int n = r.range(1, 2); n > 0; --n) {
        Device d;
        do
            d.address = r.range(1, 247);
        while (std::any_of(s.devices.begin(), s.devices.end(),
                           [&d](const Device& o) { return o.address == d.address; }));
        d.absent = r.chance(200);
        d.refusing = r.chance(150);
        if (r.chance(250))
            d.lateMs = r.range(1, 2 * s.timeoutMs); // now within the idle time, now past it
        drawProgram(r, d);
        s.devices.push_back(std::move(d));
    }
    std::sort(s.devices.begin(), s.devices.end(),
              [](const Device& a, const Device& b) { return a.address < b.address; });
}

} // namespace

Scenario drawScenario(std::uint64_t seed) {
    Random r(seed);
    Scenario s;
    s.seed = seed;
    s.command = r.pick({JobCommand::Ver, JobCommand::Scan, JobCommand::New, JobCommand::Send,
                        JobCommand::Download, JobCommand::Download, JobCommand::Download,
                        JobCommand::Save, JobCommand::Save, JobCommand::Put, JobCommand::Put,
                        JobCommand::Get, JobCommand::Get, JobCommand::Diff});
    s.erase = s.command == JobCommand::Download && r.chance(500);
    s.verify = (s.command == JobCommand::Download || s.command == JobCommand::Save ||
                s.command == JobCommand::Put) &&
               r.chance(500);
    // vantor copies files over plain UDP only, as the window does.
    const bool flash = s.command == JobCommand::Put || s.command == JobCommand::Get;
    s.udp = flash || r.chance(500);
    const int framing = flash ? 0 : r.range(0, 9);
    if (s.udp)
        s.framing = framing < 7 ? Framing::Plain : Framing::Gateway;
    else
        s.framing = framing < 4 ? Framing::Plain : framing < 7 ? Framing::Gateway : Framing::Rtu;
    s.devices.emplace_back().address = r.range(1, 247);
    if (!r.chance(400)) {
        s.timeoutMs = r.range(100, 3000);
        s.retries = r.range(0, 4);
        s.idleMs = r.range(20, 1000);
    }
    s.gapMs = s.udp ? 0 : r.range(0, 60);

    drawProgram(r, s.devices.front());
    if (s.command == JobCommand::Get ? r.chance(850) : r.chance(150))
        s.flash = bytes(r, dataSize(r));
    s.local = r.pick({LocalFile::None, LocalFile::Empty, LocalFile::Content});
    for (int n = r.range(0, 12); n > 0; --n)
        s.fileLines.push_back(fileLine(r));
    s.lfOnly = r.chance(200);
    for (int n = r.range(1, 5); n > 0; --n)
        s.sendLines.push_back(r.chance(100) ? "FROB" : kSendLines[std::size_t(r.range(0, 4))]);
    s.data = bytes(r, dataSize(r));
    drawFaults(r, s);
    if (s.framing != Framing::Plain && r.chance(400))
        drawBus(r, s);
    s.ifChanged =
        (s.command == JobCommand::Download || s.command == JobCommand::Put) && r.chance(300);
    // Half the boards that compare hold the file already, as a rerun finds them.
    if ((s.ifChanged || s.command == JobCommand::Diff) && r.chance(500)) {
        if (s.command == JobCommand::Put)
            s.flash = s.data;
        else
            for (Device& d : s.devices) {
                d.program.clear();
                for (const std::string& line : s.fileLines)
                    d.program.push_back(core::stripLeadingZeros(line));
            }
    }
    return s;
}

std::string Scenario::fileContent() const {
    std::string content;
    for (const std::string& line : fileLines)
        content += line + (lfOnly ? "\n" : "\r\n");
    return content;
}

core::JobConfig Scenario::config() const {
    core::JobConfig c;
    c.command = command;
    c.link = udp ? core::Link::Udp : core::Link::Serial;
    c.timeoutMs = timeoutMs;
    c.idleMs = idleMs;
    c.retries = retries;
    c.verify = verify;
    c.erase = erase;
    c.board = "board";
    c.lines = sendLines;
    const bool program = command == JobCommand::Download || command == JobCommand::Diff;
    c.ifChanged = ifChanged;
    c.data = program ? fileContent() : data;
    c.file = program ? "prog.bas" : "data.bin";
    c.flashName = c.flashShown = kFlashName;
    return c;
}

std::string describe(const Scenario& s) {
    std::string out(core::commandName(s.command));
    const auto add = [&out](const char* name, int value, const char* unit = "") {
        if (value != 0)
            out += std::string(" ") + name + " " + std::to_string(value) + unit + ",";
    };
    out += std::string(s.erase ? " --new" : "") + (s.verify ? " --verify" : "") +
           (s.ifChanged ? " --if-changed" : "") + (s.udp ? " over udp" : " over serial") +
           (s.framing == Framing::Plain     ? " plain"
            : s.framing == Framing::Gateway ? " gateway"
                                            : " rtu");
    for (const Device& d : s.devices)
        out += " " + std::to_string(d.address) + (d.absent ? " absent" : "") +
               (d.refusing ? " refusing" : "") +
               (d.lateMs ? " late " + std::to_string(d.lateMs) + " ms" : "") + " (" +
               std::to_string(d.program.size()) + " lines)";
    out += ";";
    add("timeout", s.timeoutMs, " ms");
    add("retries", s.retries);
    add("idle", s.idleMs, " ms");
    add("gap", s.gapMs, " ms");
    out +=
        s.flash ? " flash file " + std::to_string(s.flash->size()) + " bytes," : " no flash file,";
    out += s.local == LocalFile::None    ? " no local file,"
           : s.local == LocalFile::Empty ? " local file empty,"
                                         : " local file with content,";
    if (s.command == core::JobCommand::Download || s.command == core::JobCommand::Diff)
        add("file lines", int(s.fileLines.size()));
    if (s.command == core::JobCommand::Send)
        add("send lines", int(s.sendLines.size()));
    if (s.command == core::JobCommand::Put)
        out += " data " + std::to_string(s.data.size()) + " bytes,";
    out.back() = ';';
    const std::size_t faults = out.size();
    const Faults& f = s.faults;
    add("request loss", f.requestLoss, "/1000");
    add("reply loss", f.replyLoss, "/1000");
    add("latency", f.latencyMs, " ms");
    add("stalls", f.stallRate, "/1000");
    add("of", f.stallMs, " ms");
    add("split", f.splitRate, "/1000");
    add("pauses", f.pauseMs, " ms");
    add("READ without data", f.readNoData, "/1000");
    add("CR only", f.crOnly);
    add("login", f.login);
    add("refuse all", f.refuseAll);
    add("error on line", f.errorOnLine);
    add("flash error after", f.flashErrorAfter);
    if (out.size() == faults)
        out += " no fault,";
    out.pop_back();
    return out;
}

} // namespace vantor::sim::world
