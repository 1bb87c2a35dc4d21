#pragma once
// The inside of BoardEngine, shared by its parts: the lines and their answers
// (board_engine.cpp), the console commands and the program (board_engine_program.cpp),
// the flash disk (board_engine_flash.cpp).

#include "board_engine.h"
#include "flash_read.h"
#include "flash_write.h"
#include "listing_capture.h"
#include "program_download.h"

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::core {

// "%1 of %2" with the texts in order; a text is never scanned for markers again.
std::string format(std::string_view pattern, std::initializer_list<std::string_view> args);
std::string number(std::int64_t n);
// Bytes through the code page, as UTF-8.
std::string pageText(std::string_view bytes, const CodePage& page);
// The same, without the blanks and line ends at its ends.
std::string trimmedText(std::string_view bytes, const CodePage& page);
// "VER", "WRITE": what a line is, for a message.
std::string describeLine(std::string_view line, const CodePage& page);
// "5 s", "0.3 s".
std::string secondsText(int ms);

class BoardEngine::Impl {
public:
    Impl(JobConfig config, JobIo& io, JobStore* store);

    void start();
    void onAnswer(std::string_view reply);
    void tick();
    void fail(JobStatus status, const std::string& what);
    void finish(JobStatus status, const std::string& message = {});
    std::optional<double> deadline() const;

    JobConfig c_;
    JobIo& io_;
    JobStore* store_;
    double now_ = 0;
    JobResult result_;
    JobProgress progress_;
    JobProgress main_;
    std::string lastAnswer_;
    bool timedOut_ = false;
    bool unreachable_ = false; // the system said nothing listens on the board's port
    bool finished_ = false;
    bool owes_ = true;
    bool lostAny_ = false; // a line's answer did not come in time, once at least

private:
    enum class Phase { Opening, Console, Erase, Download, Listing, Put, ReadBack };
    // What a line is, for telling the answers that end it and those that refuse it.
    enum class Kind { Console, Program, Listing, Flash, Close };
    // What a handler makes of one answer to the line in flight.
    enum class Verdict {
        More,     // a part of the answer: the line is still answering
        Answered, // the answer is complete: next_ goes on once the line is settled
        Lost,     // a part of the answer is missing (a READ's data): as if it timed out
        Ended,    // the handler has ended the job
    };
    using Handler = std::function<Verdict(std::string_view)>;

    struct InFlight {
        std::string bytes; // CR LF included, before framing
        Kind kind = Kind::Console;
        bool resendable = false;
        int copies = 0;     // times sent
        int answered = 0;   // copies whose answer is complete
        bool first = false; // the answer has come (the first complete one)
        bool fresh = false; // sent again, and no answer since
        // A CLOSE with a line after it: its late answer would be taken for that line's,
        // so it is waited for as long as any answer; a last CLOSE only for the idle time.
        bool awaited = false;
    };

    std::string_view command() const { return commandName(c_.command); }
    const std::string& where() const { return c_.board; }
    std::string shown(std::string_view reply) const { return shownReply(reply, *c_.codePage); }
    static bool ends(Kind kind, std::string_view reply);
    // A new line; its answers go to `handler`, and next_ (set before, or by the handler)
    // goes on once it is settled.
    void sendLine(std::string line, Kind kind, bool resendable, Handler handler,
                  bool awaited = false);
    void transmit();
    void otherCopyAnswered(std::string_view reply);
    void take(Verdict verdict);
    void onSilence();
    void onQuiet();
    void settle();
    // The line's answer did not come, or came in part: again, start over, or "no answer".
    void lose();
    std::string awaiting() const;
    // How far the job got, and what it leaves on the board and on disk.
    std::string aftermath();
    std::string localAftermath();
    void setProgress(Phase phase, const char* name, std::int64_t done, std::int64_t total,
                     ProgressUnit unit);
    void advance(std::int64_t done);
    bool openLocal();
    bool writeLocal(std::string_view bytes);
    bool restartLocal();
    // Puts a local file in its target's place; false (and failed) when it cannot.
    bool commitLocal();
    // Sends CLOSE, takes its answer (or the board's silence) and goes on with `next`.
    void closeThen(std::function<void()> next, bool awaited = false);
    void startSilence() { silenceAt_ = now_ + c_.timeoutMs; }
    void startQuiet() { quietAt_ = now_ + c_.idleMs; }

    // Console commands: each line and its answer; `then` goes on after the last one
    // instead of finishing.
    void runConsole(std::vector<std::string> lines, bool repeatable,
                    std::function<void()> then = nullptr);
    void nextConsoleLine();
    Verdict consoleAnswer(const std::string& line, std::string_view reply);

    // The program.
    void startDownload();
    void carryOutDownload(const Step& step);
    Verdict downloadAnswer(std::string_view reply);
    void startSave(bool toFile);
    void readListing();
    Verdict saveAnswer(std::string_view reply);
    void verifyListing();
    void confirmListing();
    void commitSave();
    // diff, download --if-changed: the listing read as save reads it, then compared.
    void loadProgram();
    void startCompare();
    void compareListing();
    const char* listingPhase() const;

    // The flash disk.
    void startPut();
    void openPut();
    Verdict putAnswer(std::string_view reply);
    void startGet(bool toFile);
    void openGet();
    Verdict getAnswer(std::string_view reply);
    Verdict refuseFlash(std::string_view reply);
    void sendFlashLine(const std::string& line, Handler handler);
    void verifyFlash();
    // put --if-changed, once the flash file was read (or could not be): the file written
    // when it differs.
    void putAfterCompare();

    std::optional<double> silenceAt_; // no answer at all within the time-out
    std::optional<double> quietAt_;   // the idle time after the last answer
    InFlight line_;
    Handler handler_;
    std::function<void()> next_;
    std::function<void()> restart_; // a flash transfer from its Open line; empty: none
    int owed_ = 0;                  // answers still due to the lines of a transfer given up
    int triesLeft_ = 0;             // copies the current line may still be sent
    int restartsLeft_ = 0;          // times the transfer may still start over
    int restarts_ = 0;
    int waited_ = 0; // time-outs a flash line has waited through
    Phase phase_ = Phase::Opening;
    double firstSentMs_ = -1;

    std::vector<std::string> consoleLines_;
    std::size_t consoleAt_ = 0;
    bool consoleRepeatable_ = false;
    std::function<void()> afterConsole_;

    std::vector<std::string> program_;
    std::optional<ProgramDownload> download_;
    bool lastLineOut_ = false;
    int sent_ = 0;
    ListingCapture capture_;
    std::optional<FlashWrite> write_;
    std::optional<FlashRead> read_;
    bool readLine_ = false;       // the line in flight is a READ, not the Open line
    bool readData_ = false;       // a data reply has come for the READ in flight
    bool badData_ = false;        // and it was not one: a part of it, or other text
    bool freshCapture_ = false;   // a transfer started again, waiting for its first answer
    std::int64_t flashTaken_ = 0; // bytes of the file whose WRITE the board has confirmed
    bool localOpen_ = false;
    bool toFile_ = false;
    bool compare_ = false;      // the listing is read to compare it with the file
    bool flashCompare_ = false; // the flash file is read to compare it with the local one
    std::string captured_;
    // save: the readings of the listing, the longest, and how often it came.
    static constexpr int kReadings = 5;
    static constexpr int kVerifiedReadings = 7;
    std::optional<std::string> longestListing_;
    int agreed_ = 0;
    int listingReads_ = 0;
};

} // namespace vantor::core
