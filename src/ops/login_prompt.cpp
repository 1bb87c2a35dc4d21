#include "login_prompt.h"
#include "app/terminal.h"

namespace vantor {

bool isLoginPrompt(const QByteArray& reply) {
    return reply.contains("Login") || reply.contains("Passwor");
}

void denyAccess(const Terminal& t) {
    t.state.BasFile.close();
    t.pane.append(kAccessDenied);
    t.state.ListActive = 0;
    t.state.DownloadActive = 0;
}

} // namespace vantor
