#include "shell/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace vantor {

QString errorBoxTitle(int number) {
    return QStringLiteral("Error#") + QString::number(number);
}

QString QtDialogs::qtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList names;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        QString name = parts.at(i);
        // "*.*" means every file; outside Windows it would hide names without a dot.
        name.replace(QStringLiteral("(*.*)"), QStringLiteral("(*)"));
        names << name;
    }
    return names.join(QStringLiteral(";;"));
}

QString QtDialogs::openFile(const QString& filter) {
    return QFileDialog::getOpenFileName(parent_, QString(), QString(), qtFilter(filter));
}

QString QtDialogs::saveFile(const QString& filter) {
    return QFileDialog::getSaveFileName(parent_, QString(), QString(), qtFilter(filter));
}

void QtDialogs::errorBox(int number, const QString& description) {
    QMessageBox box(QMessageBox::Critical, errorBoxTitle(number), description, QMessageBox::Ok,
                    parent_);
    box.exec();
}

void QtDialogs::cancelBox() {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), QStringLiteral("Cancel"),
                    QMessageBox::Ok, parent_);
    box.exec();
}

} // namespace vantor
