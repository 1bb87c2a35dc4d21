#pragma once
// Dialogs that never block: file names come from a queue (an empty queue answers as a
// cancel), and every box is recorded.

#include "shell/dialogs.h"

#include <QQueue>
#include <QString>
#include <QStringList>

#include <functional>

namespace vantor::test {

struct ErrorBox {
    int number;
    QString description;
};

class ScriptedDialogs : public Dialogs {
public:
    QQueue<QString> fileNames;
    std::function<void()> whileOpen; // runs inside each file dialog, as its event loop would
    QStringList filters;
    QList<ErrorBox> errors;
    int cancels = 0;

    QString openFile(const QString& filter) override { return next(filter); }
    QString saveFile(const QString& filter) override { return next(filter); }
    void errorBox(int number, const QString& description) override {
        errors.append({number, description});
    }
    void cancelBox() override { ++cancels; }

private:
    QString next(const QString& filter) {
        filters << filter;
        if (whileOpen)
            whileOpen();
        return fileNames.isEmpty() ? QString() : fileNames.dequeue();
    }
};

} // namespace vantor::test
