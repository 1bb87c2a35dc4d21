#include "window/main_window.h"
#include "shell/failure_trap.h"
#include "shell/progress_bar.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRandomGenerator>

namespace vantor {

namespace {
constexpr qint64 kFrameMs = 16;

Dialogs* makeDialogs(const WindowOptions& options, QWidget* window, std::unique_ptr<Dialogs>& own) {
    if (options.dialogs)
        return options.dialogs;
    own = std::make_unique<QtDialogs>(window);
    return own.get();
}
} // namespace

UDP::UDP(const WindowOptions& options)
    : dialogs_(*makeDialogs(options, this, ownDialogs_)), controls_(this),
      codec_(*options.codePage),
      pane_(controls_.tbReceiveData, codec_), terminal_{controls_, state_, log_, codec_,
                                                        dialogs_,  pane_,  gate_},
      hostList_(terminal_, options.workDir.filePath(QString::fromLatin1(kHostFileName))),
      udpLink_(terminal_, winsock_, comm_),
      serialLink_(terminal_, comm_, winsock_), links_{udpLink_, serialLink_},
      console_(terminal_, udpLink_, serialLink_), download_(terminal_, links_),
      programSave_(terminal_, links_), controlCommands_(terminal_, links_),
      flashReceive_(terminal_, links_), flashSend_(terminal_, links_, flashReceive_),
      dispatcher_(terminal_, winsock_, {programSave_, flashSend_, flashReceive_, download_}),
      serialPoll_(terminal_, comm_, serialLink_, programSave_, download_),
      portList_(new PortList(controls_.Comm_number, options.portLister)),
      workDir_(options.workDir) {
    setObjectName(QStringLiteral("UDP"));
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowIcon(QIcon(QStringLiteral(":/images/vantor.png")));
    setFixedSize(kClientWidth, kClientHeight);
    paintLater_.setSingleShot(true);
    connect(&paintLater_, &QTimer::timeout, this, [this] {
        QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    });
    wire();
    // A log that stops being written says so, once, when the handler that wrote has ended:
    // the reply it was logging is handled as usual first.
    log_.setOnFailure([this](const QString& why) {
        gate_.whenFree([this, why] {
            Gate::Hold hold(gate_);
            dialogs_.errorBox(core::failure::kDiskFull,
                              QStringLiteral("%1 is not written: %2")
                                  .arg(QString::fromLatin1(kLogFileName), why));
        });
    });
    startUp(options);
}

UDP::~UDP() = default;

void UDP::startUp(const WindowOptions& options) {
    Gate::Hold hold(gate_);
    state_.ComOpen = 0;
    state_.FlashSendActive = 0;
    state_.FlashLastChunk = 0;
    state_.history.HistoryRecalled = 0;
    controls_.vbalProgressBar1->setText(kBarNoFile);
    hostList_.load();
    if (!options.host.isEmpty())
        hostList_.putFirst(options.host);
    trapFailures(dialogs_, [&] {
        const auto r = QRandomGenerator::securelySeeded().generateDouble();
        controls_.tbLocalPort->setText(QString::number(5500 + static_cast<int>(r * 1000)));
        controls_.tbRemotePort->setText(options.remotePort);
        log_.open(workDir_.filePath(QString::fromLatin1(kLogFileName)));
        log_.logLine(kLogStart);
        log_.logLine(codec_.toBytes(startTime()));
    });
    controls_.tbSendData->setFocus();
}

QString UDP::startTime() {
    // The locale's short date and its time with seconds; the time zone is left out.
    const QLocale locale;
    QString time = locale.timeFormat(QLocale::LongFormat);
    time.remove(QLatin1Char('t'));
    return locale.toString(QDateTime::currentDateTime(), locale.dateFormat(QLocale::ShortFormat) +
                                                             QLatin1Char(' ') + time.trimmed());
}

void UDP::wire() {
    Controls& c = controls_;
    auto on = [this](QPushButton* button, auto handler) {
        connect(button, &QPushButton::clicked, this, handler);
    };
    on(c.Add_ip, [this] { hostList_.add(); });
    on(c.Del_ip, [this] { hostList_.remove(); });
    on(c.SaveIP, [this] { hostList_.save(); });
    on(c.cbBind, [this] { udpLink_.Connect(); });
    on(c.Command1, [this] { udpLink_.Disconnect(); });
    on(c.Command7, [this] { udpLink_.InitPort(); });
    connect(c.Check2, &QCheckBox::clicked, this, [this] { udpLink_.Check2Click(); });
    on(c.BTNOpenCom, [this] { serialLink_.BTNOpenComClick(); });
    on(c.Command8, [this] { serialLink_.Command8Click(); });
    connect(c.Check1, &QCheckBox::clicked, this, [this] { serialLink_.Check1Click(); });
    on(c.cbSendData, [this] { console_.sendOverUdp(); });
    on(c.Command6, [this] { console_.sendOverCom(); });
    on(c.Command3, [this] { flashSend_.start(); });
    on(c.Command4, [this] { flashReceive_.start(); });
    on(c.Command5, [this] { flashReceive_.endClicked(); });
    on(c.Command10, [this] { download_.start(); });
    on(c.Command9, [this] { download_.sendNextLine(); });
    on(c.Command14, [this] { download_.abandon(); });
    on(c.Command11, [this] { programSave_.start(); });
    on(c.Command12, [this] { controlCommands_.newProgram(); });
    on(c.Command13, [this] { controlCommands_.info(); });
    on(c.Command2, [this] { clearPane(); });
}

void UDP::clearPane() {
    Gate::Hold hold(gate_);
    pane_.clear();
    terminal_.focusConsole();
}

bool UDP::event(QEvent* event) {
    // During a transfer the controls change with every reply, thousands of times a
    // second; the window is painted at most once a display frame, with all of it.
    if (event->type() == QEvent::UpdateRequest) {
        if (sincePaint_.isValid() && sincePaint_.elapsed() < kFrameMs) {
            if (!paintLater_.isActive())
                paintLater_.start(int(kFrameMs - sincePaint_.elapsed()));
            return true;
        }
        sincePaint_.start();
    }
    return QWidget::event(event);
}

void UDP::closeEvent(QCloseEvent* event) {
    if (comm_.PortOpen())
        silently([&] { comm_.setPortOpen(false); });
    event->accept();
}

} // namespace vantor
