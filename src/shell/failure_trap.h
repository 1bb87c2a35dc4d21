#pragma once
// The one place where failures are caught. Handlers that report failures run their body
// through trapFailures, which shows the error box; handlers that fail silently use
// silently. Nothing else in the program catches.

#include "core/failure.h"
#include "shell/dialogs.h"

#include <QString>

#include <utility>

namespace vantor {

// True when the body ran to its end.
template <class Body> bool trapFailures(Dialogs& dialogs, Body&& body) {
    try {
        body();
        return true;
    } catch (const core::Failure& failure) {
        dialogs.errorBox(failure.number(), QString::fromStdString(failure.description()));
        return false;
    }
}

template <class Body> bool silently(Body&& body) {
    try {
        body();
        return true;
    } catch (const core::Failure&) {
        return false;
    }
}

} // namespace vantor
