#pragma once
// The verdict of one command on one board, with no clock, socket or file of its own: it
// is handed each answer and the time, and the time again when its deadline comes, and it
// answers through JobIo (a line to send, a reply to print, progress) and JobStore (the
// bytes of a local file), and at the end with a JobResult and its message. vantor's
// BoardJob carries it out over a real link and real timers; the simulated world of the
// tests over a modelled link and a virtual clock.
//
//   start ──► first line ──► answers ──► exchange ──► settled ──► next line ... ──► result
//                  └── deadline: the line again (a program line, VER, the listing), the
//                      transfer again from its Open line (flash), or "no answer"
//
// A line is settled by all its answers. A line sent more than once (its answer was late,
// not lost) gets an answer for every copy: the next line goes out only once every copy
// has been answered, or once the board has been quiet for the idle time after the last
// answer (a copy or its answer may have been lost). Any copy's refusal refuses the line.
// So a late answer is never taken for the next line's, as long as it comes within the
// idle time. The answers still due to a flash transfer given up are taken the same way
// before the transfer starts again.
//
// A job that does not end "done" says how far it got and what it left behind: the lines
// or bytes the board took, and a local file left as it was (what came kept beside it).

#include "code_page.h"
#include "protocol.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::core {

enum class JobCommand { Ver, Scan, New, Send, Download, Save, Put, Get, Diff };
enum class JobStatus { Done, Refused, Denied, Mismatch, NoAnswer, Link, File, Interrupted };
enum class ProgressUnit { Lines, Bytes };

// "ver", "download", ...: the command as vantor names it.
std::string_view commandName(JobCommand command);

struct JobProgress {
    std::string phase; // "download", "verify", "save", "put", "get", or the command
    std::int64_t done = 0;
    std::int64_t total = -1; // -1: not known (a listing, a flash file read)
    ProgressUnit unit = ProgressUnit::Bytes;
    // Times the phase began afresh (another reading of the listing, a transfer started
    // over): done goes back only with a new attempt.
    int attempt = 0;
};

struct JobResult {
    JobStatus status = JobStatus::Done;
    std::string message; // UTF-8
    int lines = 0;
    std::int64_t bytes = 0;
    std::string output; // a console command's replies, as they came
    double ms = -1;     // from the first line sent to the first answer; -1: none came
    // A line that may alter the board went out (NEW, a program line, a flash file opened
    // for writing, a console line other than VER): what a rerun would not repeat.
    bool changed = false;
    // diff, and the reading that comes first with ifChanged: whether the board holds the
    // file; none when that could not be told.
    std::optional<bool> same;
    // diff, when not the same: the first differing line of the listing (from 1), that
    // line and the file's there (none past either's end), and the listing against the
    // file as a unified diff. UTF-8.
    int differsAt = 0;
    std::optional<std::string> listedLine, fileLine;
    std::string diff;
};

// The local file of save and get, as the engine sees it. Bytes go into a temporary file
// that takes the target's place only at commit(), so a command that fails never empties
// or half-writes the file the operator had.
class JobStore {
public:
    virtual ~JobStore() = default;
    // False, with errorString(), when the target cannot be written.
    virtual bool open() = 0;
    virtual bool write(std::string_view bytes) = 0;
    // Empties what was written, for a capture that starts again.
    virtual bool restart() = 0;
    virtual bool commit() = 0;
    // Gives up, the target as it was; with `keep`, what was written is kept beside it,
    // whose name (UTF-8) comes back; empty when nothing was kept.
    virtual std::string abandon(bool keep) = 0;
    virtual std::string target() const = 0; // UTF-8
    virtual std::string errorString() const = 0;
    virtual std::int64_t size() const = 0;
    // Whether there was a file to replace at open(), and whether it held anything.
    virtual bool targetExisted() const = 0;
    virtual bool targetHasContent() const = 0;
};

// What the engine asks of the world around it.
class JobIo {
public:
    virtual ~JobIo() = default;
    // A command line, CR LF included, to frame and send. False, with `why` when there is
    // something to say, when it could not be sent.
    virtual bool send(std::string_view line, std::string& why) = 0;
    // The lines a traffic log keeps of what is sent (console lines of send, flash lines).
    virtual void log(std::string_view line) { (void)line; }
    // A reply of a console command, to print as it came.
    virtual void print(std::string_view reply) { (void)reply; }
    virtual void progressed() {}
    virtual void finished(const JobResult& result) { (void)result; }
};

struct JobConfig {
    JobCommand command = JobCommand::Ver;
    Link link = Link::Udp;
    int timeoutMs = 5000;
    int idleMs = 300;
    int retries = 2;
    bool verify = false;
    bool erase = false; // download --new: NEW first
    // download, put: read what the board holds first, and write only when it differs (a
    // download then erases first and verifies).
    bool ifChanged = false;
    std::string board;              // its name in messages (UTF-8)
    std::vector<std::string> lines; // send: the lines, without CR LF
    std::string data;               // download, diff: the .bas file's content; put: the file
    std::string file;               // download, diff, put: the local file as named (UTF-8)
    std::string flashName;          // put, get: the name on the flash disk, as sent
    std::string flashShown;         // put: that name as the operator typed it (UTF-8)
    const CodePage* codePage = &CodePage::defaultPage();
};

class BoardEngine {
public:
    // `store`: the local file of save and get; unused by the other commands.
    BoardEngine(JobConfig config, JobIo& io, JobStore* store = nullptr);
    ~BoardEngine();
    BoardEngine(const BoardEngine&) = delete;
    BoardEngine& operator=(const BoardEngine&) = delete;

    // Times are milliseconds on any clock that only goes forward.
    void start(double now);
    // An answer: a datagram, a serial reply, the data of an RTU frame.
    void answer(std::string_view reply, double now);
    // Called at (or after) deadline(); early calls do nothing.
    void tick(double now);
    // The system said nothing listens on the board's port (UDP).
    void unreachable();
    void linkFailed(std::string_view why, double now);
    void interrupt(double now);

    // When tick() is next due; none while nothing is awaited, and after the end.
    std::optional<double> deadline() const;
    bool finished() const;
    const JobResult& result() const;
    // Where the job is, and where it is in the command's own phase (a download's lines
    // while its listing is read back).
    const JobProgress& progress() const;
    const JobProgress& mainProgress() const;
    // The last answer as it came, and whether a deadline passed since.
    std::string_view lastAnswer() const;
    bool timedOut() const;
    // Once finished: the board may still answer something of this command (a line timed
    // out or went more than once, or the command was cut short), so that whoever speaks
    // to it, or to another device on its line, next waits for the line to be quiet.
    bool owesAnswers() const;

    class Impl;

private:
    std::unique_ptr<Impl> d_;
};

// The text of a message: a reply through the code page, its control characters shown
// as ^X and \xNN so that it can never move a terminal's cursor. UTF-8.
std::string visibleText(std::string_view bytes, const CodePage& page);
// The same, without the blanks and line ends at its ends.
std::string shownReply(std::string_view bytes, const CodePage& page);
// 512 bytes, 1.5 KiB, 2.0 MiB.
std::string sizeText(std::int64_t bytes);

} // namespace vantor::core
