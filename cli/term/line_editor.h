#pragma once
// The console line of `vantor term` on the operator's terminal, edited by libedit. The
// history follows the window's console (core::CommandHistory): Up and Down are ours, and
// Backspace, Delete, Left and Right tell the history that a recalled line was changed.
//
// The editor never blocks the session: receive() takes what the terminal has when it has
// something, and libedit is handed only whole keys from that (a character, an escape
// sequence), so that it never waits for the rest of one. A key cut short (Escape alone,
// half a character) waits for the session to drop it. Text for the screen goes in above
// the line being typed, which is then drawn again as it was, cursor and all.
//
// The terminal is in raw mode from the constructor to the destructor; restoreTerminal()
// puts it back from a signal handler too.

#include "core/command_history.h"

#include <string>
#include <string_view>
#include <vector>

struct editline;

namespace vantor::cli {

class LineEditor {
public:
    enum class Key {
        Line,      // Enter on the console line: text is the line
        Answer,    // Enter on a question: text is the answer
        Cancel,    // Ctrl-C on a question
        Prefix,    // the prefix key: the next key is the command (takeKey())
        Interrupt, // Ctrl-C on the console line (the typed text is gone already)
        Quit,      // Ctrl-D on an empty line
    };
    struct Event {
        Key key;
        std::string text;
    };

    LineEditor(int in, core::CommandHistory& history, char prefix);
    ~LineEditor();
    LineEditor(const LineEditor&) = delete;
    LineEditor& operator=(const LineEditor&) = delete;

    // How long a key cut short waits for its rest before it is dropped.
    static constexpr int kPartialKeyMs = 100;

    bool ok() const { return el_ != nullptr; }
    // What the terminal has now, without waiting for more.
    void receive();
    // The terminal went away.
    bool gone() const { return gone_; }
    // A whole key is waiting.
    bool hasKey() const;
    // The whole keys waiting, edited, up to the prefix key.
    std::vector<Event> read();
    // The next whole key as the terminal sent it (the prefix key's command, a key during a
    // transfer); empty when none is whole.
    std::string takeKey();
    // The start of a key is waiting for its rest; dropPartialKey() gives up on it.
    bool partialKey() const;
    void dropPartialKey();
    // The terminal's size changed.
    void resized();
    // Text above the line, "\r\n"-ended lines; the line is drawn again below it.
    void print(std::string_view text);
    // A question in place of the console line, whose text comes back after the answer.
    // With `files`, Tab completes file names.
    void ask(const std::string& question, bool files);
    // The line off the screen (a transfer draws its progress there), and back.
    void hide();
    void show();

    static void restoreTerminal();

private:
    static unsigned char onEnter(editline* el, int c);
    static unsigned char onUp(editline* el, int c);
    static unsigned char onDown(editline* el, int c);
    static unsigned char onEdit(editline* el, int c);
    static unsigned char onInterrupt(editline* el, int c);
    static unsigned char onEndOfFile(editline* el, int c);
    static unsigned char onPrefix(editline* el, int c);
    static unsigned char onTab(editline* el, int c);
    static int onGetc(editline* el, wchar_t* c);
    static LineEditor& of(editline* el);
    static const char* prompt(editline* el);

    void bindKeys(char prefix);
    unsigned char recall(bool older);
    std::string text() const;
    void replace(const std::string& text);
    void eraseShown();
    long cursorColumn(int columns) const;
    void complete();

    editline* el_ = nullptr;
    int in_;
    bool gone_ = false;
    std::string input_;      // bytes from the terminal not yet taken
    std::size_t keyEnd_ = 0; // the key libedit is handed: input_ up to here
    std::size_t taken_ = 0;  // what libedit has taken of it
    core::CommandHistory& history_;
    std::vector<Event> events_;
    std::string prompt_ = "> ";
    bool asking_ = false;
    bool files_ = false;
    std::string saved_; // the console line while a question is asked
    bool hidden_ = false;
    bool stop_ = false;      // read() stops after the prefix key
    std::string candidates_; // names that Tab found, to show above the line
};

} // namespace vantor::cli
