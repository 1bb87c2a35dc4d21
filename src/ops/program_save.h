#pragma once
// BASIC program save: asks for the listing and writes every answer, byte for byte,
// into the .bas file until an answer has "OK" in its first five characters.

namespace vantor {

struct Terminal;
struct Links;

inline constexpr char kListUdp[] = "LIST\r\n";
inline constexpr char kListSerial[] = "LISt\r\n";
inline constexpr char kLoadCompleted[] = "LOAD BASIC PROGRAM COMPLETED\r\n";

class ProgramSave {
public:
    ProgramSave(const Terminal& terminal, const Links& links) : t_(terminal), links_(links) {}

    void start(); // "Save Programm"
    void onUdpReply();
    void onSerialReply();

private:
    void takeAnswer();

    const Terminal& t_;
    const Links& links_;
};

} // namespace vantor
