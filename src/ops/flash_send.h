#pragma once
// Copying a local file to the controller's flash disk: "OPENWR", then one "WRITE" line
// of 21 bytes per "OK", then the close operation after the last "OK".

#include <QtGlobal>

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
    void readFile(const QString& path);

    const Terminal& t_;
    const Links& links_;
    FlashReceive& closer_;
};

} // namespace vantor
