#pragma once
// The simulated controller board: a BASIC program store, a flash disk kept in a host
// folder (or in memory, for a world that runs thousands of boards a second without a
// disk), and an optional login prompt. It owns no transport: a front end hands it one
// command line without its CR LF and sends each returned text, in order, as one datagram
// or one serial burst. Every text it returns ends in CR LF, so a reply never carries half
// a marker.
//
// Faults are injected by options rather than by magic input, so a test or an operator
// can make the board refuse the n-th program line or fail the flash disk mid-transfer.

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::sim {

struct ControllerOptions {
    bool login = false;
    int errorOnLine = 0;            // refuse the n-th program line of the run; 0: never
    int flashErrorAfter = 0;        // refuse every flash-disk command after the first n; 0: never
    std::filesystem::path flashDir; // empty: defaultFlashDir()
    bool refuseAll = false;         // ERROR to every line
    bool memoryFlash = false;       // the flash disk in memory; flashDir unused
    // Every line handled goes here as "NAME LINE", flushed: what a test counts to see
    // what reached the board. None: not written.
    std::shared_ptr<std::ostream> journal;
    std::string name;
};

// A reply of the device at `address` as RTU frames, cut at line ends so that no frame
// starts in the middle of a line (a listing line with "OK" near a frame's start would end
// a capture); only a line longer than a frame is cut inside.
std::string rtuReplyFrames(std::string_view address, std::string_view reply);

// A gateway line "MDC N,REST" read as the board reads it (the keyword in any case, blanks
// around N): N and REST; nothing when the line is no such line or N is no number.
struct MdcLine {
    int device = 0;
    std::string_view rest;
};
std::optional<MdcLine> mdcLine(std::string_view line);

// "vantor-sim-flash" in the system's temporary folder.
std::filesystem::path defaultFlashDir();

class Controller {
public:
    explicit Controller(ControllerOptions options = {});

    std::vector<std::string> handleLine(std::string_view line);

    const std::map<int, std::string>& program() const { return program_; }
    // A numbered line, as if typed in before the run: no login, no fault; false when it
    // holds no line number the board takes.
    bool storeLine(std::string_view line);
    const std::filesystem::path& flashDir() const { return options_.flashDir; }
    // A file of the flash disk, in memory or in the folder; none when it does not exist.
    std::optional<std::string> flashFile(const std::string& name) const;
    // Places a file on the flash disk, as if written before the board's start.
    void putFlashFile(const std::string& name, std::string bytes);

private:
    enum class Login { Prompt, User, Password, Done };
    enum class FlashMode { None, Write, Read };

    std::vector<std::string> answer(std::string_view line);
    std::string answerLogin(std::string_view line);
    std::string programLine(std::string_view line);
    std::vector<std::string> list() const;
    std::vector<std::string> flashCommand(std::string_view keyword, std::string_view argument);
    std::string openWrite(std::string_view argument);
    std::string write(std::string_view argument);
    std::string openRead(std::string_view argument);
    std::vector<std::string> read(std::string_view argument);
    void closeFlash();

    ControllerOptions options_;
    std::map<int, std::string> program_;
    int programLinesSeen_ = 0;

    Login login_ = Login::Prompt;
    std::string loginUser_;

    int flashCommandsAnswered_ = 0;
    FlashMode flashMode_ = FlashMode::None;
    std::ofstream writeFile_;
    std::map<std::string, std::string> memoryFiles_;
    std::string* memoryWrite_ = nullptr; // the file OPENWR opened, in memory
    std::string readData_;
    std::size_t readPos_ = 0;
};

} // namespace vantor::sim
