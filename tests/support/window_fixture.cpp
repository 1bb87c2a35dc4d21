#include "window_fixture.h"

#include "shell/receive_view.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace vantor::test {

WindowOptions WindowFixture::prepared(WindowOptions options) {
    options.workDir = QDir(dir_.path());
    if (!options.dialogs)
        options.dialogs = &dialogs_;
    return options;
}

WindowFixture::WindowFixture(WindowOptions options)
    : window_(std::make_unique<UDP>(prepared(std::move(options)))) {
    window_->udpLink().setArpCommand(QString(), {});
    window_->show();
}

std::unique_ptr<UDP> WindowFixture::restart(WindowOptions options) {
    return std::make_unique<UDP>(prepared(std::move(options)));
}

QByteArray WindowFixture::readFile(const QString& name) const {
    QFile file(dir_.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WindowFixture::writeFile(const QString& name, const QByteArray& bytes) const {
    QFile file(dir_.filePath(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QByteArray WindowFixture::pane() const {
    // The pane breaks lines at CR LF, CR and LF alike; the controller ends its lines
    // with CR LF, and so does this view of them.
    QString text = window_->controls().tbReceiveData->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return TextCodec(core::CodePage::defaultPage()).toBytes(text);
}

bool WindowFixture::connectTo(quint16 port, const QString& host) {
    c().ComboRemoteIP->setEditText(host);
    c().tbRemotePort->setText(QString::number(port));
    // Suites run side by side: let the system pick a free local port rather than risk
    // two windows drawing the same one from 5500..6499.
    c().tbLocalPort->setText(QStringLiteral("0"));
    c().cbBind->click();
    return QTest::qWaitFor([this] { return window_->udpLink().isOpen(); }, 5000);
}

void WindowFixture::type(const QString& line) {
    c().tbSendData->setText(line);
    QTest::keyClick(c().tbSendData, Qt::Key_Return);
}

} // namespace vantor::test
