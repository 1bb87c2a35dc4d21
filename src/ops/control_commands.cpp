#include "ops/control_commands.h"
#include "core/protocol.h"
#include "ops/links.h"
#include "shell/terminal.h"

namespace vantor {

void ControlCommands::newProgram() {
    send(core::kNewCommand);
}
void ControlCommands::info() {
    send(core::kVersionCommand);
}

void ControlCommands::send(std::string_view line) {
    Gate::Hold hold(t_.gate);
    t_.focusConsole();
    t_.state.SendResult = links_.sendOnEither(wire(line));
}

} // namespace vantor
