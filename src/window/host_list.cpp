#include "window/host_list.h"
#include "core/failure.h"
#include "core/host_list.h"
#include "shell/failure_trap.h"
#include "shell/terminal.h"

#include <QComboBox>
#include <QFile>

namespace vantor {

void HostList::load() {
    QComboBox* list = t_.controls.ComboRemoteIP;
    list->clear();
    QFile file(path_);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray text = file.readAll();
        for (const std::string& entry : core::readHostEntries(text.toStdString()))
            list->addItem(t_.codec.toText(QByteArray::fromStdString(entry)));
    }
    if (list->count() == 0)
        list->addItem(QString::fromLatin1(core::kDefaultHost.data(), core::kDefaultHost.size()));
    list->setCurrentIndex(0);
}

void HostList::putFirst(const QString& address) {
    QComboBox* list = t_.controls.ComboRemoteIP;
    list->insertItem(0, address);
    list->setCurrentIndex(0);
}

void HostList::add() {
    Gate::Hold hold(t_.gate);
    QComboBox* list = t_.controls.ComboRemoteIP;
    const QString text = list->currentText();
    if (!text.isEmpty())
        list->addItem(text);
    t_.focusConsole();
}

void HostList::remove() {
    Gate::Hold hold(t_.gate);
    QComboBox* list = t_.controls.ComboRemoteIP;
    const int selected = list->currentIndex();
    // After typing into the edit field nothing is selected any more: nothing to remove.
    if (selected >= 0 && list->itemText(selected) == list->currentText()) {
        list->removeItem(selected);
        list->setCurrentIndex(-1); // nothing is selected until the operator picks again
    }
    t_.focusConsole();
}

void HostList::save() {
    Gate::Hold hold(t_.gate);
    QComboBox* list = t_.controls.ComboRemoteIP;
    std::vector<std::string> entries;
    for (int i = 0; i < list->count(); ++i)
        entries.push_back(t_.codec.toBytes(list->itemText(i)).toStdString());
    const bool saved = trapFailures(t_.dialogs, [&] {
        QFile file(path_);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw core::Failure(core::failure::kPathFileAccess,
                                "Path/File access error: " + file.errorString().toStdString());
        const QByteArray text = QByteArray::fromStdString(core::writeHostEntries(entries));
        if (file.write(text) != text.size() || !file.flush())
            throw core::Failure(core::failure::kDiskFull,
                                "Disk full: " + file.errorString().toStdString());
    });
    if (!saved)
        t_.focusConsole();
}

} // namespace vantor
