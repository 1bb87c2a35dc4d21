// vantor-terminal: the operator's terminal for BASIC controller boards.

#include "main_window.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

#include <cstdio>

namespace {

int usageError(const QString& message) {
    QTextStream(stderr) << "vantor-terminal: " << message << "\n"
                        << "Try 'vantor-terminal --help'.\n";
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantor"));
    QApplication::setApplicationVersion(QStringLiteral("3.1.1"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Terminal for BASIC controller boards over UDP or a serial port."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption hostOption(
        QStringLiteral("host"),
        QStringLiteral("Controller address, put first and selected in the host list; \"Save\" "
                       "keeps it with the rest of the list."),
        QStringLiteral("ADDRESS"));
    const QCommandLineOption remotePortOption(
        QStringLiteral("remote-port"), QStringLiteral("The controller's UDP port (default 111)."),
        QStringLiteral("N"));
    const QCommandLineOption codePageOption(
        QStringLiteral("codepage"),
        QStringLiteral("Code page of the controller's text: windows-1251 (default), latin1 "
                       "or cp866."),
        QStringLiteral("NAME"));
    parser.addOptions({hostOption, remotePortOption, codePageOption});

    if (!parser.parse(QApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(versionOption)) {
        std::fputs("Vantor V3.1.1\n", stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'")
                              .arg(parser.positionalArguments().constFirst()));

    vantor::WindowOptions options;
    if (parser.isSet(hostOption)) {
        options.host = parser.value(hostOption).trimmed();
        if (options.host.isEmpty())
            return usageError(QStringLiteral("--host needs an address"));
    }
    if (parser.isSet(remotePortOption)) {
        bool ok = false;
        const uint port = parser.value(remotePortOption).toUInt(&ok);
        if (!ok || port == 0 || port > 65535)
            return usageError(QStringLiteral("--remote-port needs a port number from 1 to 65535, "
                                             "not '%1'")
                                  .arg(parser.value(remotePortOption)));
        options.remotePort = QString::number(port);
    }
    if (parser.isSet(codePageOption)) {
        options.codePage =
            vantor::core::CodePage::byName(parser.value(codePageOption).toStdString());
        if (!options.codePage)
            return usageError(QStringLiteral("unknown code page '%1' (windows-1251, latin1, cp866)")
                                  .arg(parser.value(codePageOption)));
    }

    vantor::UDP window(options);
    window.show();
    return QApplication::exec();
}
