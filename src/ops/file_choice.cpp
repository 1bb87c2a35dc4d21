#include "ops/file_choice.h"
#include "shell/terminal.h"

namespace vantor {

QString chooseFile(const Terminal& t, FileDialog kind, const char* filter) {
    const QString name = QString::fromLatin1(filter);
    const QString path =
        kind == FileDialog::Open ? t.dialogs.openFile(name) : t.dialogs.saveFile(name);
    if (path.isEmpty())
        t.dialogs.cancelBox();
    return path;
}

void closeProgramFile(SharedState& s) {
    if (s.BasFile.isOpen() && s.ListActive == 1)
        s.ListActive = 0;
    s.BasFile.close();
}

} // namespace vantor
