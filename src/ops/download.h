#pragma once
// BASIC program download: the .bas file is read whole, then sent one line per "OK"
// (stop and wait). ">>" pushes the next line at once, "X" abandons.

#include <QByteArray>

namespace vantor {

struct Terminal;
struct Links;

inline constexpr char kLoadData[] = "LOAD DATA = ";
inline constexpr char kSourceError[] = "Error - see  source file \r\n";
inline constexpr char kSendCompleted[] = "SEND BASIC PROGRAM COMPLETED\r\n";
inline constexpr char kEmptyProgram[] = "EMPTY FILE - NOTHING SENT\r\n";

class Download {
public:
    Download(const Terminal& terminal, const Links& links) : t_(terminal), links_(links) {}

    void start();        // "Open File and  Download"
    void sendNextLine(); // ">>"
    void abandon();      // "X"
    void onUdpReply();
    void onSerialReply();

private:
    void readProgram(const QString& path);
    void advance();
    QByteArray currentLine() const;
    void sendProgramLine();
    void refused();
    void complete();

    const Terminal& t_;
    const Links& links_;
};

} // namespace vantor
