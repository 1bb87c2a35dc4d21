#pragma once
// vantor term on a terminal: the window's console line at the bottom of the operator's
// terminal, the board's replies above it as they come, and the window's buttons behind a
// prefix key. The transfers are the scripting commands' own jobs, run on the session's
// link.

#include "fleet/output.h"
#include "jobs/board_job.h"
#include "term/line_editor.h"
#include "term/term_link.h"
#include "term/term_text.h"

#include "core/command_history.h"

#include <QSocketNotifier>
#include <QTimer>

#include <memory>
#include <optional>

namespace vantor::cli {

class TermSession : public QObject {
    Q_OBJECT
public:
    explicit TermSession(const Options& options);
    ~TermSession() override;
    void start();
    // Ends the session (the terminal restored) with an exit status.
    void quit(int status);
    // The terminal's size changed.
    void resized();

private:
    enum class Question { None, Download, Save, Put, Get, Erase };

    void onOpened();
    void onKeys();
    void takeKeys();
    void onEvent(const LineEditor::Event& event);
    void onCommandKey(const std::string& key);
    void onAnswer(const QString& answer);
    void sendLine(const std::string& line, bool logged);
    void ask(Question question, const char* text, bool files);
    void startJob(const QString& command, const QStringList& args);
    void onJobDone(const Result& result);
    void show(const QByteArray& bytes);
    void showRaw(const QByteArray& bytes);
    void flushShown();
    void say(const QString& text);
    void toggle(bool& setting, const char* name);
    std::string stamp() const; // the time, when timestamps are on
    static std::string now();

    const Options& o_;
    TermLink link_;
    TrafficLog log_;
    core::CommandHistory history_;
    std::optional<LineEditor> editor_;
    std::optional<QSocketNotifier> keys_;
    ReceivedText text_;
    std::string shown_; // text for the screen, written out together
    QTimer flush_;      // writes shown_ soon, so that a flood is written in pieces
    QTimer openLine_;   // shows a line that has not ended after a moment
    QTimer partialKey_; // drops a key cut short (Escape alone) after a moment
    bool timestamps_;
    bool hex_;
    bool prefixPending_ = false;
    bool unreachableShown_ = false; // in this episode of an unreachable board
    Question question_ = Question::None;
    std::string questionText_;
    std::unique_ptr<TermJob> job_;
};

} // namespace vantor::cli
