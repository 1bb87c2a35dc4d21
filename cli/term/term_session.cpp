#include "term/term_session.h"

#include "core/failure.h"

#include <QCoreApplication>
#include <QDir>
#include <QTime>

#include <unistd.h>

namespace vantor::cli {

namespace {

constexpr int kFlushMs = 10;    // replies are written to the screen at most this late
constexpr int kOpenLineMs = 50; // a line not ended yet is shown after this long

const char kKeys[] =
    "keys after %1:\r\n"
    "  d  download a program                  s  save the listing to a file\r\n"
    "  v  VER                                 n  NEW (asks first)\r\n"
    "  p  put a file on the flash disk        g  get a file from it (plain UDP)\r\n"
    "  t  timestamps on/off                   x  hex on/off\r\n"
    "  q  quit (Ctrl-D on an empty line too)  ?  this list\r\n"
    "Ctrl-C abandons a transfer, or clears the line.";

QString linkText(const Options& o, const QString& name) {
    QString text = o.serial() ? QStringLiteral("%1 at %2 baud").arg(name).arg(o.baud)
                              : QStringLiteral("%1 over UDP").arg(name);
    if (o.framing == Framing::Gateway)
        text += QStringLiteral(", gateway address %1").arg(o.address);
    else if (o.framing == Framing::Rtu)
        text += QStringLiteral(", Modbus RTU address %1").arg(o.address);
    return text;
}

QString expandHome(QString path) {
    if (path.startsWith(QLatin1String("~/")))
        path.replace(0, 1, QDir::homePath());
    return path;
}

} // namespace

TermSession::TermSession(const Options& options)
    : o_(options), link_(options, options.reconnect), text_(*options.codePage),
      timestamps_(options.timestamps), hex_(options.hex) {
    flush_.setSingleShot(true);
    flush_.setInterval(kFlushMs);
    connect(&flush_, &QTimer::timeout, this, &TermSession::flushShown);
    openLine_.setSingleShot(true);
    openLine_.setInterval(kOpenLineMs);
    connect(&openLine_, &QTimer::timeout, this, [this] {
        shown_ += text_.openPart();
        flushShown();
    });
    partialKey_.setSingleShot(true);
    partialKey_.setInterval(LineEditor::kPartialKeyMs);
    connect(&partialKey_, &QTimer::timeout, this, [this] {
        // Escape alone does nothing on the line; after the prefix key it cancels that.
        if (editor_ && editor_->partialKey()) {
            editor_->dropPartialKey();
            prefixPending_ = false;
        }
    });
}

TermSession::~TermSession() = default;

void TermSession::start() {
    if (!o_.logFile.isEmpty() && !log_.open(o_.logFile)) {
        std::fprintf(stderr, "vantor: term: cannot open the log %s: %s\n", qPrintable(o_.logFile),
                     qPrintable(log_.errorString()));
        QTimer::singleShot(0, this, [] { QCoreApplication::exit(2); });
        return;
    }
    connect(&link_, &TermLink::opened, this, &TermSession::onOpened);
    connect(&link_, &TermLink::failed, this, [this](const QString& why) {
        if (editor_)
            say(QString::fromStdString(now()) + QStringLiteral("link lost: ") + why);
        else
            std::fprintf(stderr, "vantor: term: %s\n", qPrintable(why));
        quit(exitCode(Status::Link));
    });
    connect(&link_, &TermLink::lost, this, [this] {
        say(QString::fromStdString(now()) +
            QStringLiteral("link lost: %1, waiting").arg(link_.name()));
    });
    connect(&link_, &TermLink::back, this, [this] {
        say(QString::fromStdString(now()) + QStringLiteral("link back: %1").arg(link_.name()));
    });
    connect(&link_, &TermLink::received, this, [this](const QByteArray& bytes) {
        log_.write(bytes);
        unreachableShown_ = false; // the board is there again
        if (hex_ && !job_)
            showRaw(bytes);
    });
    connect(&link_, &TermLink::answer, this, [this](const QByteArray& bytes) {
        if (!hex_ && !job_)
            show(bytes);
    });
    connect(&link_, &TermLink::unreachable, this, [this] {
        if (!std::exchange(unreachableShown_, true))
            say(QStringLiteral("%1: the system reports the port unreachable: nothing listens "
                               "there (said once until the board answers)")
                    .arg(link_.name()));
    });
    link_.open();
}

void TermSession::onOpened() {
    // Raw mode first, so that what is typed from the moment the line is shown is the
    // editor's.
    editor_.emplace(STDIN_FILENO, history_, o_.prefixKey);
    say(QStringLiteral("vantor term: %1; %2 ? lists the keys, Ctrl-D quits")
            .arg(linkText(o_, link_.name()), QString::fromStdString(keyName(o_.prefixKey))));
    keys_.emplace(STDIN_FILENO, QSocketNotifier::Read);
    connect(&*keys_, &QSocketNotifier::activated, this, &TermSession::onKeys);
}

void TermSession::quit(int status) {
    if (job_)
        job_->job.interrupt();
    flushShown();
    if (editor_) {
        shown_ = text_.openPart();
        flushShown();
    }
    keys_.reset();
    editor_.reset(); // the terminal as it was
    QCoreApplication::exit(status);
}

void TermSession::resized() {
    if (editor_)
        editor_->resized();
}

void TermSession::onKeys() {
    editor_->receive();
    takeKeys();
}

void TermSession::takeKeys() {
    while (editor_ && editor_->hasKey()) {
        if (job_) {
            // A transfer holds the screen: Ctrl-C abandons it, as the window's X does.
            if (editor_->takeKey() == "\x03")
                job_->job.interrupt();
        } else if (std::exchange(prefixPending_, false)) {
            onCommandKey(editor_->takeKey());
        } else {
            for (const LineEditor::Event& event : editor_->read()) {
                if (!editor_)
                    break;
                onEvent(event);
            }
        }
    }
    if (editor_ && editor_->gone())
        return quit(0);
    if (editor_ && editor_->partialKey()) {
        if (!partialKey_.isActive())
            partialKey_.start();
    } else {
        partialKey_.stop();
    }
}

void TermSession::onEvent(const LineEditor::Event& event) {
    switch (event.key) {
    case LineEditor::Key::Line:
        flushShown();
        editor_->print("> " + event.text + "\r\n");
        sendLine(event.text, true);
        break;
    case LineEditor::Key::Answer:
        onAnswer(QString::fromStdString(event.text).trimmed());
        break;
    case LineEditor::Key::Cancel:
        question_ = Question::None;
        break;
    case LineEditor::Key::Prefix:
        prefixPending_ = true;
        break;
    case LineEditor::Key::Interrupt:
        break; // the line is cleared; nothing is sent
    case LineEditor::Key::Quit:
        quit(0);
        break;
    }
}

void TermSession::onCommandKey(const std::string& key) {
    const bool plainUdp = !o_.serial() && o_.framing == Framing::Plain;
    const int c = key.size() == 1 ? std::tolower(static_cast<unsigned char>(key[0])) : 0;
    switch (c) {
    case 'd':
        return ask(Question::Download, "download program: ", true);
    case 's':
        return ask(Question::Save, "save listing to: ", true);
    case 'v':
        return sendLine("VER", false);
    case 'n':
        return ask(Question::Erase, "erase the program on the board (NEW)? y/N ", false);
    case 'p':
    case 'g':
        if (!plainUdp)
            return say(QStringLiteral("put and get run over plain UDP only, as in the window"));
        return c == 'p' ? ask(Question::Put, "put on the flash disk: ", true)
                        : ask(Question::Get, "get from the flash disk (NAME [LOCAL]): ", false);
    case 't':
        return toggle(timestamps_, "timestamps");
    case 'x':
        return toggle(hex_, "hex");
    case 'q':
        return quit(0);
    case '?':
    case 'h':
        return say(QString::fromLatin1(kKeys).arg(QString::fromStdString(keyName(o_.prefixKey))));
    default:
        say(QStringLiteral("%1 %2: no such key; %1 ? lists the keys")
                .arg(QString::fromStdString(keyName(o_.prefixKey)),
                     QString::fromStdString(c >= 0x20 && c < 0x7F ? key : "?")));
    }
}

void TermSession::ask(Question question, const char* text, bool files) {
    question_ = question;
    questionText_ = text;
    editor_->ask(text, files);
}

void TermSession::onAnswer(const QString& answer) {
    const Question question = std::exchange(question_, Question::None);
    say(QString::fromStdString(questionText_) + answer); // the question stays on the screen
    if (question == Question::Erase) {
        if (answer.startsWith(QLatin1Char('y'), Qt::CaseInsensitive))
            sendLine("NEW", false);
        else
            say(QStringLiteral("NEW not sent"));
        return;
    }
    if (answer.isEmpty())
        return; // nothing typed: as if cancelled
    switch (question) {
    case Question::Download:
        return startJob(QStringLiteral("download"), {expandHome(answer)});
    case Question::Save:
        return startJob(QStringLiteral("save"), {expandHome(answer)});
    case Question::Put:
        return startJob(QStringLiteral("put"), {expandHome(answer)});
    case Question::Get: { // NAME [LOCAL]
        QStringList args = answer.split(QLatin1Char(' '), Qt::SkipEmptyParts).mid(0, 2);
        if (args.size() == 2)
            args[1] = expandHome(args[1]);
        return startJob(QStringLiteral("get"), args);
    }
    default:
        return;
    }
}

// As the window's Enter: the line, CR LF, in the code page, framed for the link, logged as
// the window logs its console lines (VER and NEW from the keys are not, as its buttons'
// are not). It goes at once, whatever the board is still answering.
void TermSession::sendLine(const std::string& line, bool logged) {
    QString why;
    BoardLink* link = link_.link();
    if (job_)
        why = QStringLiteral("a transfer is running (Ctrl-C abandons it)");
    else if (!link)
        why = QStringLiteral("%1 is not there; waiting for it to come back").arg(link_.name());
    try {
        if (why.isEmpty()) {
            const QByteArray bytes =
                encoded(*o_.codePage, QString::fromStdString(line), "the line") + "\r\n";
            if (logged)
                log_.write(bytes);
            if (!link->send(bytes))
                why = QStringLiteral("%1 did not take it").arg(link_.name());
        }
    } catch (const UsageError& e) {
        why = QString::fromUtf8(e.what());
    } catch (const core::Failure& failure) {
        why = QString::fromStdString(failure.description());
    }
    if (!why.isEmpty())
        say(QStringLiteral("not sent: ") + why);
}

void TermSession::startJob(const QString& command, const QStringList& args) {
    if (!link_.link())
        return say(QStringLiteral("%1 not started: %2 is not there").arg(command, link_.name()));
    Options options = o_;
    options.command = command;
    options.args = args;
    options.json = false;
    try {
        checkCommand(options);
    } catch (const UsageError& e) {
        return say(command + QStringLiteral(": ") + QString::fromUtf8(e.what()));
    }
    shown_ += text_.openPart();
    flushShown();
    job_ = std::make_unique<TermJob>(std::move(options));
    connect(&job_->job, &BoardJob::progressed, this,
            [this] { job_->output.progress(job_->job.progress()); });
    connect(&job_->job, &BoardJob::finished, this, &TermSession::onJobDone);
    editor_->hide();
    job_->job.startOn(*link_.link(), &log_);
}

void TermSession::onJobDone(const Result& result) {
    job_->output.progress(job_->job.progress(), true);
    job_->output.endProgress();
    job_.release()->deleteLater(); // it is still emitting
    if (!editor_)
        return;
    editor_->show();
    say(result.status == Status::Done
            ? result.message
            : statusName(result.status) + QStringLiteral(": ") + result.message);
}

void TermSession::show(const QByteArray& bytes) {
    shown_ += text_.take(std::string_view(bytes.constData(), std::size_t(bytes.size())), stamp());
    if (text_.hasOpenPart() && !openLine_.isActive())
        openLine_.start();
    if (!shown_.empty() && !flush_.isActive())
        flush_.start();
}

void TermSession::showRaw(const QByteArray& bytes) {
    shown_ += hexRows(std::string_view(bytes.constData(), std::size_t(bytes.size())), stamp());
    if (!flush_.isActive())
        flush_.start();
}

void TermSession::flushShown() {
    flush_.stop();
    if (!shown_.empty() && editor_)
        editor_->print(shown_);
    shown_.clear();
}

void TermSession::say(const QString& text) {
    flushShown();
    if (editor_)
        editor_->print(text.toStdString() + "\r\n");
}

void TermSession::toggle(bool& setting, const char* name) {
    setting = !setting;
    say(QStringLiteral("%1 %2").arg(QLatin1String(name), setting ? "on" : "off"));
}

std::string TermSession::stamp() const {
    return timestamps_ ? now() : std::string();
}

std::string TermSession::now() {
    return clockStamp(QTime::currentTime().msecsSinceStartOfDay());
}

} // namespace vantor::cli
