#pragma once
// Copying a file from the controller's flash disk: "OPENRD", then a "READ 20" line per
// "OK", 20 bytes per data reply, the last bytes before "ND". Also the close operation
// ("End") that ends every flash-disk transfer.

namespace vantor {

struct Terminal;
struct Links;

class FlashReceive {
public:
    FlashReceive(const Terminal& terminal, const Links& links) : t_(terminal), links_(links) {}

    void start(); // "Recieve"
    void onReply();
    // "End", and the end of every transfer.
    void close();
    void endClicked();

private:
    const Terminal& t_;
    const Links& links_;
};

} // namespace vantor
