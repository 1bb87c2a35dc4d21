#include "control_commands.h"
#include "app/terminal.h"
#include "links.h"

namespace vantor {

void ControlCommands::newProgram() {
    send(kNewCommand);
}
void ControlCommands::info() {
    send(kVersionCommand);
}

void ControlCommands::send(const char* line) {
    Gate::Hold hold(t_.gate);
    t_.focusConsole();
    t_.state.SendResult = links_.sendOnEither(QByteArray(line));
}

} // namespace vantor
