// The window as it starts, the log, the host list, Clear, closing, and the command line.

#include "e2e.h"

#include <QAccessible>
#include <QClipboard>
#include <QFontDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QWheelEvent>

class TestApp : public QObject {
    Q_OBJECT
private slots:
    // Caption, size, the start lines appended to the log, the ports.
    void startUp() {
        WindowFixture f;
        auto second = f.restart();
        QCOMPARE(f.window().windowTitle(), QStringLiteral("Vantor V3.1.1"));
        QCOMPARE(f.window().size(), QSize(530, 517));
        const QStringList lines = QString::fromLatin1(f.log()).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 5); // two pairs and the empty rest after the last CR LF
        QCOMPARE(lines[0], QStringLiteral("START Vantor V3.0"));
        QCOMPARE(lines[2], QStringLiteral("START Vantor V3.0"));
        QVERIFY(lines[1].contains(QRegularExpression(QStringLiteral("\\d+.*\\d+:\\d+:\\d+"))));
        const int port = f.c().tbLocalPort->text().toInt();
        QVERIFY(port >= 5500 && port <= 6499);
        QCOMPARE(f.c().tbRemotePort->text(), QStringLiteral("111"));
        QVERIFY(f.c().tbReceiveData->isReadOnly() && f.c().Option6->isChecked());
        QVERIFY(!f.c().NoConnect->pixmap().isNull() && !f.window().windowIcon().isNull());
        QTRY_VERIFY(f.c().tbSendData->hasFocus());
    }

    // The built-in default without a file or with nothing in it; what "Save" writes is
    // what the next start shows.
    void hostList() {
        WindowFixture f({QStringLiteral("127.0.0.1")});
        QComboBox* list = f.c().ComboRemoteIP;
        QCOMPARE(list->currentText(), QStringLiteral("127.0.0.1"));
        QCOMPARE(list->itemText(1), QStringLiteral("192.168.0.10"));
        f.window().activateWindow(); // completion works only where the focus is
        QVERIFY(QTest::qWaitForWindowActive(&f.window()));
        list->setFocus();
        list->lineEdit()->clear();
        QTest::keyClicks(list->lineEdit(), QStringLiteral("192.168.0.1")); // nothing completed
        QCOMPARE(list->currentText(), QStringLiteral("192.168.0.1"));
        f.c().Add_ip->click();
        f.c().Add_ip->click();
        list->setEditText(QStringLiteral("typed")); // typed text is no selection
        f.c().Del_ip->click();
        list->setCurrentIndex(1);
        f.c().Del_ip->click();
        f.c().Del_ip->click(); // right after a removal nothing is selected
        f.c().SaveIP->click();
        QCOMPARE(f.readFile(QStringLiteral("terminal.ini")),
                 QByteArray("127.0.0.1\r\n192.168.0.1\r\n192.168.0.1\r\n"));
        auto next = f.restart();
        QCOMPARE(next->controls().ComboRemoteIP->count(), 3);
        QCOMPARE(next->controls().ComboRemoteIP->currentText(), QStringLiteral("127.0.0.1"));
        f.writeFile(QStringLiteral("terminal.ini"), "\r\n");
        next = f.restart();
        QCOMPARE(next->controls().ComboRemoteIP->count(), 1);
        QCOMPARE(next->controls().ComboRemoteIP->itemText(0), QStringLiteral("192.168.0.10"));
    }

    // A log or a host list that cannot be opened: the error box, and the window goes on.
    void filesThatCannotOpen() {
        WindowFixture f;
        QFile::remove(f.path(QStringLiteral("Terminal.log")));
        QDir(f.path(QString())).mkdir(QStringLiteral("Terminal.log"));
        QDir(f.path(QString())).mkdir(QStringLiteral("terminal.ini"));
        auto w = f.restart();
        w->controls().SaveIP->click();
        QCOMPARE(f.dialogs().errors.size(), 2);
        QCOMPARE(f.dialogs().errors[0].number, 75);
        QCOMPARE(f.dialogs().errors[1].number, 75);
        QCOMPARE(errorBoxTitle(75), QStringLiteral("Error#75"));
        QCOMPARE(w->controls().tbRemotePort->text(), QStringLiteral("111"));
    }

    // A log on a full device: one error box with the system's reason, and the replies are
    // handled as usual.
    void logOnFullDevice() {
        WindowFixture f;
        QFile::remove(f.path(QStringLiteral("Terminal.log")));
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), f.path(QStringLiteral("Terminal.log"))));
        auto w = f.restart();
        w->udpLink().setArpCommand(QString(), {});
        LoopbackPeer peer;
        w->controls().ComboRemoteIP->setEditText(QStringLiteral("127.0.0.1"));
        w->controls().tbRemotePort->setText(QString::number(peer.port()));
        w->controls().tbLocalPort->setText(QStringLiteral("0"));
        w->controls().cbBind->click();
        w->udpLink().UDP_Send("X\r\n");
        QTRY_COMPARE(peer.received.size(), 1);
        peer.reply("A\r\n");
        peer.reply("B\r\n");
        QTRY_VERIFY(w->controls().tbReceiveData->toPlainText().endsWith(QStringLiteral("A\nB\n")));
        QCOMPARE(f.dialogs().errors.size(), 1);
        QCOMPARE(f.dialogs().errors[0].number, 61);
        QVERIFY2(f.dialogs().errors[0].description.contains(QStringLiteral("No space left")),
                 qPrintable(f.dialogs().errors[0].description));
    }

    // Bytes 128 to 255 go out, into the log and into the pane unchanged.
    void logKeepsHighBytes() {
        WindowFixture f;
        LoopbackPeer peer;
        QVERIFY(f.connectTo(peer.port()));
        QByteArray high;
        for (int b = 128; b < 256; ++b)
            high.append(char(b));
        f.type(TextCodec().toText(high));
        QTRY_COMPARE(peer.received, QList<QByteArray>{high + "\r\n"});
        peer.reply(high);
        QTRY_VERIFY(f.log().endsWith(high + "\r\n" + high));
        QVERIFY(f.pane().endsWith(high));
        // Clear empties the pane only.
        f.c().tbSendData->setText(QStringLiteral("half typed"));
        const QByteArray log = f.log();
        f.c().Command2->click();
        QCOMPARE(f.pane(), QByteArray());
        QCOMPARE(f.c().tbSendData->text(), QStringLiteral("half typed"));
        QCOMPARE(f.log(), log);
    }

    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");
        QTest::newRow("help") << QStringList{"--help"} << 0 << "--remote-port";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "Vantor V3.1.1";
        QTest::newRow("bad port") << QStringList{"--remote-port", "abc"} << 2 << "--remote-port";
        QTest::newRow("bad code page") << QStringList{"--codepage", "klingon"} << 2 << "klingon";
    }
    void commandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);
        QProcess program;
        program.start(QStringLiteral(VANTOR_TERMINAL), arguments);
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitCode(), status);
        const QString text = QString::fromLocal8Bit(program.readAllStandardOutput() +
                                                    program.readAllStandardError());
        QVERIFY2(text.contains(output), qPrintable(text));
    }
    // The pane's own view: it follows the end, wraps, stays where the operator scrolled,
    // and gives its text to the mouse, the keys, the clipboard and a screen reader.
    void paneView() {
        ReceiveView view;
        view.resize(300, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const auto visible = [&](qint64 at) {
            return view.viewport()->rect().contains(view.characterRect(at));
        };
        QString all;
        for (int i = 0; i < 200; ++i)
            all += QStringLiteral("line %1 word\r\n").arg(i);
        view.append(all);
        view.append(QString(100, 'w')); // wider than the pane
        view.moveCaretToEnd();
        QTRY_VERIFY(visible(view.characterCount() - 1));
        QVERIFY(view.characterRect((view.characterCount() - 1)).top() >
                view.characterRect((view.characterCount() - 100)).top());
        QCOMPARE(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());

        // Scrolled up, it stays there while text comes in; shown text brings it back.
        QWheelEvent up({10, 10}, view.mapToGlobal(QPoint(10, 10)), {}, {0, 120}, Qt::NoButton, {},
                       Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &up);
        QVERIFY(!view.followsEnd());
        const int value = view.verticalScrollBar()->value();
        view.append(QStringLiteral("\r\nmore"));
        QApplication::processEvents();
        QCOMPARE(view.verticalScrollBar()->value(), value);
        view.moveCaretToEnd();
        QTRY_VERIFY(visible(view.characterCount() - 1));

        // A drag from the start of one line into the next selects; Ctrl+C copies.
        view.verticalScrollBar()->setValue(0);
        const auto leftOf = [&](qint64 at) {
            const QRect r = view.characterRect(at);
            return QPoint(r.left() + 1, r.center().y());
        };
        const QPoint b = leftOf(20); // "line 1 w|ord"
        QTest::mousePress(view.viewport(), Qt::LeftButton, {}, leftOf(0));
        QTest::mouseMove(view.viewport(), b);
        QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, b);
        QCOMPARE(view.selectedText(), QStringLiteral("line 0 word\nline 1 w"));
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("line 0 word\nline 1 w"));
        QTest::keyClick(&view, Qt::Key_End, Qt::ShiftModifier);
        QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(view.selectedText(), QStringLiteral("line 0 word\nline 1 word\nline 2 word"));
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, b);
        QCOMPARE(view.selectedText(), QStringLiteral("word"));

        // A screen reader reads the same text, caret and selection.
        QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(&view);
        QAccessibleTextInterface* text = reader->textInterface();
        QVERIFY(text && reader->state().readOnly && reader->state().multiLine);
        QCOMPARE(text->characterCount(), int(view.characterCount()));
        QCOMPARE(text->text(0, 11), QStringLiteral("line 0 word"));
        int from = 0, to = 0;
        text->selection(0, &from, &to);
        QCOMPARE(text->text(from, to), QStringLiteral("word"));
        QCOMPARE(text->textAtOffset(20, QAccessible::LineBoundary, &from, &to),
                 QStringLiteral("line 1 word"));
        QCOMPARE(text->textAtOffset(20, QAccessible::WordBoundary, &from, &to),
                 QStringLiteral("word"));
        QCOMPARE(from, 19);
        // A scroll bar a turn behind a store that dropped most of its lines.
        ReceiveView small(nullptr, 1024);
        small.resize(300, 200);
        for (int i = 0; i < 140; ++i)
            small.append(QStringLiteral("%1\r\n").arg(i));
        QApplication::processEvents();
        small.append(QString(600, 'z') + "\r\n" + QString(200, 'y'));
        small.verticalScrollBar()->setValue(100);
        QVERIFY(small.followsEnd());
        QVERIFY(!small.grab().isNull());

        QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(view.selectedText(), view.toPlainText());
        QCOMPARE(text->offsetAtPoint(view.viewport()->mapToGlobal(b)), 20);
    }
    // Selecting with the keys, from a caret at `from`.
    void paneKeys_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("from");
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<QString>("selected");
        const auto row = [](const char* name, const QString& text, int from, QKeySequence keys,
                            const QString& selected) {
            QTest::newRow(name) << text << from << keys << selected;
        };
        const QString split = QString(4096, 'x') + "yz";
        row("right over a CR LF", "ab\r\ncd", 2, Qt::SHIFT | Qt::Key_Right, "\n");
        row("left over a break", "ab\rcd", 3, Qt::SHIFT | Qt::Key_Left, "\n");
        row("left over a split", split, 4097,
            QKeySequence(Qt::SHIFT | Qt::Key_Left, Qt::SHIFT | Qt::Key_Left), "xy");
        row("right over a split", split, 4095,
            QKeySequence(Qt::SHIFT | Qt::Key_Right, Qt::SHIFT | Qt::Key_Right), "xy");
        row("down keeps the column", "abcd\r\nefgh", 2, Qt::SHIFT | Qt::Key_Down, "cd\nef");
        row("up from the first row", "abcd\nef", 2, Qt::SHIFT | Qt::Key_Up, "ab");
        row("down from the last row", "ab\ncd", 4, Qt::SHIFT | Qt::Key_Down, "d");
        row("page down to the end", "a\nb\nc", 0, Qt::SHIFT | Qt::Key_PageDown, "a\nb\nc");
        row("end of the line", "abc def\r\nx", 1, Qt::SHIFT | Qt::Key_End, "bc def");
        row("start of the line", "abc\r\ndef", 6, Qt::SHIFT | Qt::Key_Home, "de");
        row("end of the text", "a\r\nb\r\nc", 0, Qt::CTRL | Qt::SHIFT | Qt::Key_End, "a\nb\nc");
        row("start of the text", "a\r\nb", 3, Qt::CTRL | Qt::SHIFT | Qt::Key_Home, "a\nb");
    }

    void paneKeys() {
        QFETCH(QString, text);
        QFETCH(int, from);
        QFETCH(QKeySequence, keys);
        QFETCH(QString, selected);
        ReceiveView view;
        view.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        view.resize(300, 200);
        view.append(text);
        view.setCaretPosition(from);
        QTest::keySequence(&view, keys);
        QCOMPARE(view.selectedText(), selected);
    }
};

QTEST_MAIN(TestApp)
#include "tst_app.moc"
