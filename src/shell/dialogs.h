#pragma once
// File dialogs and message boxes. Everything modal goes through here, so tests can
// replace it with a script; the real one shows Qt dialogs over the window.

#include <QString>

class QWidget;

namespace vantor {

inline constexpr char kBasFilter[] = "BAS files (*.bas)|*.bas";
inline constexpr char kAllFilesFilter[] = "All files (*.*)|*.*";

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // The chosen file name, or an empty string when the operator cancelled. The filter is
    // written as description|pattern pairs.
    virtual QString openFile(const QString& filter) = 0;
    virtual QString saveFile(const QString& filter) = 0;
    // Title "Error#" and the number, the description as text, critical icon, OK.
    virtual void errorBox(int number, const QString& description) = 0;
    // The box shown when a file dialog returned no name.
    virtual void cancelBox() = 0;
};

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent) : parent_(parent) {}
    QString openFile(const QString& filter) override;
    QString saveFile(const QString& filter) override;
    void errorBox(int number, const QString& description) override;
    void cancelBox() override;

    // "BAS files (*.bas)|*.bas" as a Qt name filter: "BAS files (*.bas)".
    static QString qtFilter(const QString& filter);

private:
    QWidget* parent_;
};

QString errorBoxTitle(int number);

} // namespace vantor
