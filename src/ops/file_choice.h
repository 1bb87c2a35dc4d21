#pragma once
// The file dialog that starts an operation, and the end of a running program capture.

#include "shell/failure_trap.h"
#include "shell/terminal.h"

#include <QString>

namespace vantor {

enum class FileDialog { Open, Save };

// The chosen file name, or an empty one after the "Cancel" box.
QString chooseFile(const Terminal& terminal, FileDialog kind, const char* filter);
// Closes the .bas file; a capture that was writing into it is over, so that no later
// answer is written to a closed file.
void closeProgramFile(SharedState& state);

// The dialog, then `body` with the chosen name; a cancel ends it after the "Cancel" box,
// and failures of the body end in the error box.
template <class Body>
void withChosenFile(const Terminal& terminal, FileDialog kind, const char* filter, Body&& body) {
    trapFailures(terminal.dialogs, [&] {
        const QString path = chooseFile(terminal, kind, filter);
        if (!path.isEmpty())
            body(path);
    });
}

} // namespace vantor
