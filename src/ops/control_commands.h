#pragma once
// The two one-click commands: erase the controller's program, ask for its version.

#include <string_view>

namespace vantor {

struct Terminal;
struct Links;

class ControlCommands {
public:
    ControlCommands(const Terminal& terminal, const Links& links) : t_(terminal), links_(links) {}

    void newProgram(); // "New Programm - wait 20s"
    void info();       // "Info"

private:
    void send(std::string_view line);

    const Terminal& t_;
    const Links& links_;
};

} // namespace vantor
