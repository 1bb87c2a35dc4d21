// The window as it starts, the log, the host list and the command line.

#include "app/indicator.h"
#include "app/progress_bar.h"
#include "loopback_peer.h"
#include "pty_pair.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using namespace vantor;
using namespace vantor::test;

class TestApp : public QObject {
    Q_OBJECT
private slots:
    void window();
    void startLinesAppend();
    void ports();
    void hostListLoading_data();
    void hostListLoading();
    void hostListEmptySaved();
    void hostListAddDel();
    void hostSaveFailureShowsErrorBox();
    void logKeepsHighBytes();
    void logThatCannotOpenShowsErrorBox();
    void clearLeavesConsoleAndLog();
    void closeClosesOpenPort();
    void commandLine_data();
    void commandLine();
};

void TestApp::window() {
    WindowFixture f;
    UDP& w = f.window();
    QCOMPARE(w.windowTitle(), QStringLiteral("Vantor V3.1.1"));
    QCOMPARE(w.size(), QSize(530, 517));
    QCOMPARE(f.c().Command2->geometry(), QRect(472, 112, 53, 17));
    QCOMPARE(f.c().tbReceiveData->geometry(), QRect(0, 136, 529, 345));
    QCOMPARE(f.c().tbSendData->geometry(), QRect(0, 488, 529, 25));
    QVERIFY(f.c().tbReceiveData->isReadOnly());
    QVERIFY(f.c().tbRemotePort->isReadOnly());
    QVERIFY(f.c().Option6->isChecked());
    QCOMPARE(f.c().YesConnect->geometry().translated(0, 8), f.c().NoConnect->geometry());
    QCOMPARE(f.c().tbReceiveData->font().pointSizeF(), 9.75);
    QVERIFY(QFontInfo(f.c().tbSendData->font()).fixedPitch());
    QVERIFY(!f.c().TMRComm->isActive());
    QCOMPARE(f.c().TMRComm->interval(), 20);
    // The controls the operator does not see lie below the client area.
    for (QWidget* hidden :
         {static_cast<QWidget*>(f.c().tbLocalPort), static_cast<QWidget*>(f.c().tbRemotePort),
          static_cast<QWidget*>(f.c().Text1), static_cast<QWidget*>(f.c().cbSendData),
          static_cast<QWidget*>(f.c().Command6), static_cast<QWidget*>(f.c().BTNCloseCom)}) {
        QVERIFY2(hidden->y() >= 768 && hidden->y() <= 832, qPrintable(hidden->objectName()));
    }
    QTRY_VERIFY(f.c().tbSendData->hasFocus());
}

void TestApp::startLinesAppend() {
    WindowFixture f;
    auto second = f.restart();
    const QStringList lines = QString::fromLatin1(f.log()).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 5); // two pairs and the empty rest after the last CR LF
    QCOMPARE(lines[0], QStringLiteral("START Vantor V3.0"));
    QCOMPARE(lines[2], QStringLiteral("START Vantor V3.0"));
    QVERIFY(lines[1].contains(QRegularExpression(QStringLiteral("\\d"))));
    QCOMPARE(lines[1].count(QLatin1Char(' ')) >= 1, true);
    QVERIFY(lines[4].isEmpty());
}

void TestApp::ports() {
    for (int run = 0; run < 20; ++run) {
        WindowFixture f;
        const QString text = f.c().tbLocalPort->text();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}$")).match(text).hasMatch(),
                 qPrintable(text));
        QVERIFY(text.toInt() >= 5500 && text.toInt() <= 6499);
        QCOMPARE(f.c().tbRemotePort->text(), QStringLiteral("111"));
    }
}

void TestApp::hostListLoading_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QStringList>("entries");
    const QString def = QStringLiteral("192.168.0.10");
    QTest::newRow("no file") << QByteArray() << false << QStringList{def};
    QTest::newRow("empty file") << QByteArray() << true << QStringList{def};
    QTest::newRow("two lines") << QByteArray("10.0.0.5\r\n10.0.0.6\r\n") << true
                               << QStringList{"10.0.0.5", "10.0.0.6"};
    QTest::newRow("only empty lines") << QByteArray("\r\n\r\n\r\n") << true << QStringList{def};
}

void TestApp::hostListLoading() {
    QFETCH(QByteArray, file);
    QFETCH(bool, exists);
    QFETCH(QStringList, entries);
    WindowFixture seed;
    if (exists)
        seed.writeFile(QStringLiteral("terminal.ini"), file);
    auto w = seed.restart();
    QComboBox* list = w->controls().ComboRemoteIP;
    QStringList got;
    for (int i = 0; i < list->count(); ++i)
        got << list->itemText(i);
    QCOMPARE(got, entries);
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(list->currentText(), entries.first());
}

void TestApp::hostListEmptySaved() {
    WindowFixture f;
    f.c().Del_ip->click();
    QCOMPARE(f.c().ComboRemoteIP->count(), 0);
    f.c().Del_ip->click(); // nothing left to remove: ignored
    f.c().SaveIP->click();
    QVERIFY(QFile::exists(f.path(QStringLiteral("terminal.ini"))));
    QCOMPARE(f.readFile(QStringLiteral("terminal.ini")), QByteArray());
    auto next = f.restart();
    QCOMPARE(next->controls().ComboRemoteIP->count(), 1);
    QCOMPARE(next->controls().ComboRemoteIP->itemText(0), QStringLiteral("192.168.0.10"));
}

void TestApp::hostListAddDel() {
    WindowFixture f({QStringLiteral("127.0.0.1")});
    QComboBox* list = f.c().ComboRemoteIP;
    QCOMPARE(list->currentText(), QStringLiteral("127.0.0.1"));
    list->setEditText(QString());
    f.c().Add_ip->click();
    QCOMPARE(list->count(), 2);
    list->setEditText(QStringLiteral("plc"));
    f.c().Add_ip->click();
    f.c().Add_ip->click();
    QCOMPARE(list->count(), 4);
    // Typed text is no selection: Del removes nothing.
    list->setEditText(QStringLiteral("typed"));
    f.c().Del_ip->click();
    QCOMPARE(list->count(), 4);
    f.c().SaveIP->click();
    QCOMPARE(f.readFile(QStringLiteral("terminal.ini")),
             QByteArray("127.0.0.1\r\n192.168.0.10\r\nplc\r\nplc\r\n"));
    // Right after a removal nothing is selected: a second Del removes nothing more.
    list->setCurrentIndex(0);
    f.c().Del_ip->click();
    f.c().Del_ip->click();
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->itemText(0), QStringLiteral("192.168.0.10"));
}

void TestApp::hostSaveFailureShowsErrorBox() {
    WindowFixture f;
    // A folder in the place of the file cannot be opened for writing.
    QDir(f.path(QString())).mkdir(QStringLiteral("terminal.ini"));
    f.c().SaveIP->click();
    QCOMPARE(f.dialogs().errors.size(), 1);
    QCOMPARE(f.dialogs().errors[0].number, 75);
    QVERIFY(!f.dialogs().errors[0].description.isEmpty());
    QCOMPARE(errorBoxTitle(75), QStringLiteral("Error#75"));
}

void TestApp::logKeepsHighBytes() {
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(f.connectTo(peer.port()));
    QByteArray high;
    for (int b = 128; b < 256; ++b)
        high.append(static_cast<char>(b));
    f.c().tbSendData->setText(TextCodec().toText(high));
    QTest::keyClick(f.c().tbSendData, Qt::Key_Return);
    QTRY_COMPARE(peer.received.size(), 1);
    QCOMPARE(peer.received[0], high + "\r\n");
    QVERIFY(f.log().endsWith(high + "\r\n"));
    peer.reply(high);
    QTRY_VERIFY(f.log().endsWith(high + "\r\n" + high));
    QVERIFY(f.pane().endsWith(high));
}

void TestApp::logThatCannotOpenShowsErrorBox() {
    WindowFixture f;
    QFile::remove(f.path(QStringLiteral("Terminal.log")));
    QDir(f.path(QString())).mkdir(QStringLiteral("Terminal.log"));
    auto w = f.restart();
    QCOMPARE(f.dialogs().errors.size(), 1);
    QCOMPARE(f.dialogs().errors[0].number, 75);
    // The window works all the same, and traffic is not logged.
    QCOMPARE(w->controls().tbRemotePort->text(), QStringLiteral("111"));
}

void TestApp::clearLeavesConsoleAndLog() {
    WindowFixture f;
    LoopbackPeer peer;
    QVERIFY(f.connectTo(peer.port()));
    f.type(QStringLiteral("VER"));
    QTRY_COMPARE(peer.received.size(), 1);
    f.c().tbSendData->setText(QStringLiteral("half typed"));
    const QByteArray log = f.log();
    f.c().Command2->click();
    QCOMPARE(f.pane(), QByteArray());
    QCOMPARE(f.c().tbSendData->text(), QStringLiteral("half typed"));
    QCOMPARE(f.log(), log);
    QTest::keyClick(f.c().tbSendData, Qt::Key_Up);
    QCOMPARE(f.c().tbSendData->text(), QStringLiteral("VER"));
}

void TestApp::closeClosesOpenPort() {
    PtyPair pty;
    QVERIFY(pty.ok());
    WindowFixture f;
    f.c().Comm_number->setText(pty.slavePath());
    f.c().BTNOpenCom->click();
    QVERIFY(f.window().comm().PortOpen());
    f.window().close();
    QVERIFY(!f.window().comm().PortOpen());
}

void TestApp::commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "--remote-port";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "Vantor V3.1.1";
    QTest::newRow("bad port") << QStringList{"--remote-port", "abc"} << 2 << "--remote-port";
    QTest::newRow("port too big") << QStringList{"--remote-port", "70000"} << 2 << "1 to 65535";
    QTest::newRow("bad code page") << QStringList{"--codepage", "klingon"} << 2 << "klingon";
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << "frobnicate";
    QTest::newRow("empty host") << QStringList{"--host", ""} << 2 << "--host";
}

void TestApp::commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, output);
    QProcess program;
    program.setProgram(QStringLiteral(VANTOR_TERMINAL));
    program.setArguments(arguments);
    program.start();
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitCode(), status);
    const QString text =
        QString::fromLocal8Bit(program.readAllStandardOutput() + program.readAllStandardError());
    QVERIFY2(text.contains(output), qPrintable(text));
}

QTEST_MAIN(TestApp)
#include "tst_app.moc"
