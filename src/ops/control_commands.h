#pragma once
// The two one-click commands: erase the controller's program, ask for its version.

namespace vantor {

struct Terminal;
struct Links;

inline constexpr char kNewCommand[] = "NEW\r\n";
inline constexpr char kVersionCommand[] = "VER\r\n";

class ControlCommands {
public:
    ControlCommands(const Terminal& terminal, const Links& links) : t_(terminal), links_(links) {}

    void newProgram(); // "New Programm - wait 20s"
    void info();       // "Info"

private:
    void send(const char* line);

    const Terminal& t_;
    const Links& links_;
};

} // namespace vantor
