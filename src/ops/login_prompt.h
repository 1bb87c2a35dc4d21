#pragma once
// The controller's login and password prompts end a program save or download over UDP:
// the terminal cannot log in by itself, so it says so and stops.

#include <QByteArray>

namespace vantor {

struct Terminal;

inline constexpr char kAccessDenied[] = "ACCESS DENIED\r\n";

bool isLoginPrompt(const QByteArray& reply);
// Closes the program file, tells the operator and clears both program flags.
void denyAccess(const Terminal& terminal);

} // namespace vantor
