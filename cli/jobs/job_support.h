#pragma once
// What the parts of a BoardJob share: wire bytes between Qt and the core's views.

#include "fleet/output.h"

#include <QByteArray>
#include <QString>

#include <string_view>

namespace vantor::cli::job {

inline QByteArray bytes(std::string_view text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

inline std::string_view view(const QByteArray& b) {
    return {b.constData(), std::size_t(b.size())};
}

// A reply as a message shows it: without its line ends, its control characters shown.
inline QString shown(const Output& out, const QByteArray& reply) {
    return visible(out.text(reply).trimmed());
}

} // namespace vantor::cli::job
