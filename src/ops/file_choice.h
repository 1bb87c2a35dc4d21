#pragma once
// The file dialog that starts an operation, and the end of a running program capture.

#include <QString>

namespace vantor {

struct Terminal;
struct SharedState;

enum class FileDialog { Open, Save };

// The chosen file name, or an empty one after the "Cancel" box.
QString chooseFile(const Terminal& terminal, FileDialog kind, const char* filter);
// Closes the .bas file; a capture that was writing into it is over, so that no later
// answer is written to a closed file.
void closeProgramFile(SharedState& state);

} // namespace vantor
