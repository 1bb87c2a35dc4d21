// vantor-terminal: the operator's terminal for BASIC controller boards.

#include "window/main_window.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <optional>

// Off unless asked for (QT_LOGGING_RULES="vantor.window.info=true"): start-up milestones,
// which scripts use to see that the window came up.
Q_LOGGING_CATEGORY(lcWindow, "vantor.window", QtWarningMsg)

namespace {

int usageError(const QString& message) {
    QTextStream(stderr) << "vantor-terminal: " << message << "\n"
                        << "Try 'vantor-terminal --help'.\n";
    return 2;
}

struct Parser {
    Parser() {
        parser.setApplicationDescription(
            QStringLiteral("Terminal for BASIC controller boards over UDP or a serial port."));
        parser.addOptions({help, version, host, remotePort, codePage});
    }
    QCommandLineParser parser;
    const QCommandLineOption help{{"h", "help"}, QStringLiteral("Show this help.")};
    const QCommandLineOption version{{"v", "version"}, QStringLiteral("Show the version.")};
    const QCommandLineOption host{
        QStringLiteral("host"),
        QStringLiteral("Controller address, put first and selected in the host list; \"Save\" "
                       "keeps it with the rest of the list."),
        QStringLiteral("ADDRESS")};
    const QCommandLineOption remotePort{QStringLiteral("remote-port"),
                                        QStringLiteral("The controller's UDP port (default 111)."),
                                        QStringLiteral("N")};
    const QCommandLineOption codePage{
        QStringLiteral("codepage"),
        QStringLiteral("Code page of the controller's text: windows-1251 (default), latin1 "
                       "or cp866."),
        QStringLiteral("NAME")};
};

// The window's options from what was parsed; an exit status when they are wrong.
std::optional<int> readOptions(const Parser& p, vantor::WindowOptions& options) {
    if (!p.parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'")
                              .arg(p.parser.positionalArguments().constFirst()));
    if (p.parser.isSet(p.host)) {
        options.host = p.parser.value(p.host).trimmed();
        if (options.host.isEmpty())
            return usageError(QStringLiteral("--host needs an address"));
    }
    if (p.parser.isSet(p.remotePort)) {
        bool ok = false;
        const uint port = p.parser.value(p.remotePort).toUInt(&ok);
        if (!ok || port == 0 || port > 65535)
            return usageError(QStringLiteral("--remote-port needs a port number from 1 to 65535, "
                                             "not '%1'")
                                  .arg(p.parser.value(p.remotePort)));
        options.remotePort = QString::number(port);
    }
    if (p.parser.isSet(p.codePage)) {
        options.codePage = vantor::core::CodePage::byName(p.parser.value(p.codePage).toStdString());
        if (!options.codePage)
            return usageError(QStringLiteral("unknown code page '%1' (windows-1251, latin1, cp866)")
                                  .arg(p.parser.value(p.codePage)));
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[]) {
    // Before the application object, which needs a display: --help, --version and a bad
    // value of one of our options work anywhere. Qt's own options (-platform ...) are
    // unknown here; the application takes them out of the arguments.
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    Parser early;
    early.parser.parse(raw);
    if (early.parser.isSet(early.help)) {
        std::fputs(qPrintable(early.parser.helpText().replace(QLatin1String("<executable_name>"),
                                                              QLatin1String("vantor-terminal"))),
                   stdout);
        return 0;
    }
    if (early.parser.isSet(early.version)) {
        std::fputs("Vantor V3.1.1\n", stdout);
        return 0;
    }
    vantor::WindowOptions options;
    if (early.parser.unknownOptionNames().isEmpty())
        if (const auto status = readOptions(early, options))
            return *status;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantor"));
    QApplication::setApplicationVersion(QStringLiteral("3.1.1"));
    Parser parser;
    if (!parser.parser.parse(QApplication::arguments()))
        return usageError(parser.parser.errorText());
    if (const auto status = readOptions(parser, options))
        return *status;

    vantor::UDP window(options);
    window.show();
    QTimer::singleShot(0, &window, [&window] {
        qCInfo(lcWindow).noquote() << "window shown:" << window.windowTitle();
    });
    return QApplication::exec();
}
