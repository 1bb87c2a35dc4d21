#pragma once
// What an exchange with the controller answers to each event: a plain result that its
// caller carries out. An exchange never sends, writes, shows or waits by itself, so the
// window and the command-line tool drive the same exchanges, and a test drives them
// with nothing but strings.

#include "protocol.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vantor::core {

enum class Outcome {
    Running, // waiting for the next reply
    Done,    // finished as it should
    Failed,  // the controller refused ("ERROR")
    Denied,  // the controller asks for a login the terminal cannot give
};

struct PaneEffect {
    enum class Kind { None, Append, Replace };
    Kind kind = Kind::None;
    std::string text;
};

struct Step {
    std::string send;  // a command line to send, CR LF included; empty: nothing to send
    std::string store; // bytes to add to the local file
    PaneEffect pane;
    std::optional<std::int32_t> progress; // the progress bar's new value
    Outcome outcome = Outcome::Running;

    bool finished() const { return outcome != Outcome::Running; }
};

// A step that only sends `line`, followed by CR LF.
inline Step sending(std::string line) {
    Step step;
    step.send = std::move(line) + std::string(kLineEnd);
    return step;
}

} // namespace vantor::core
