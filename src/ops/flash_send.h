#pragma once
// The window's side of copying a local file to the controller's flash disk: the file
// read whole, the flags, the progress bar, and each line the core's FlashWrite answers
// shown in the console line, sent over UDP and logged; the close operation at its end.

#include "core/flash_write.h"

#include <QtGlobal>

#include <optional>

class QByteArray;
class QString;

namespace vantor {

struct Terminal;
struct Links;
class FlashReceive;

// Larger files are refused: at one 21-byte line per answer they would take hours and
// no controller flash disk holds them.
inline constexpr qint64 kFlashSendLimit = 16 * 1024 * 1024;

class FlashSend {
public:
    FlashSend(const Terminal& terminal, const Links& links, FlashReceive& closer)
        : t_(terminal), links_(links), closer_(closer) {}

    void start(); // "Send"
    void onReply();

private:
    QByteArray readFile(const QString& path);

    const Terminal& t_;
    const Links& links_;
    FlashReceive& closer_;
    std::optional<core::FlashWrite> exchange_;
};

} // namespace vantor
