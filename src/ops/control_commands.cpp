#include "control_commands.h"
#include "app/terminal.h"
#include "core/protocol.h"
#include "links.h"

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
