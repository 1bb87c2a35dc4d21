#pragma once
// The controller addresses of ComboRemoteIP and their file, terminal.ini.

#include <QString>

class QComboBox;

namespace vantor {

struct Terminal;

inline constexpr char kHostFileName[] = "terminal.ini";

class HostList {
public:
    explicit HostList(const Terminal& terminal, QString path = QString::fromLatin1(kHostFileName))
        : t_(terminal), path_(std::move(path)) {}

    // Fills the list from the file; whatever goes wrong, the built-in default address
    // stands in and nothing is reported.
    void load();
    // Puts an address first and selects it, for this run only.
    void putFirst(const QString& address);
    void add();
    void remove();
    void save();

private:
    const Terminal& t_;
    QString path_;
};

} // namespace vantor
