#pragma once
// The one window, UDP. It builds every part, wires the controls to them and runs the
// start-up; the parts themselves live in their own classes.

#include "shell/controls.h"
#include "shell/gate.h"
#include "shell/receive_pane.h"
#include "shell/shared_state.h"
#include "shell/terminal.h"
#include "shell/terminal_log.h"
#include "shell/text_codec.h"
#include "window/console.h"
#include "window/host_list.h"

#include "links/mscomm.h"
#include "links/port_list.h"
#include "links/serial_link.h"
#include "links/udp_link.h"
#include "links/winsock.h"
#include "ops/control_commands.h"
#include "ops/download.h"
#include "ops/flash_receive.h"
#include "ops/flash_send.h"
#include "ops/links.h"
#include "ops/program_save.h"
#include "routing/serial_poll.h"
#include "routing/udp_dispatcher.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace vantor {

inline constexpr char kCaption[] = "Vantor V3.1.1";
inline constexpr char kLogStart[] = "START Vantor V3.0";
inline constexpr char kDefaultRemotePort[] = "111";

struct WindowOptions {
    QString host; // put first in the host list, saved with it like any entry
    QString remotePort = QString::fromLatin1(kDefaultRemotePort);
    const core::CodePage* codePage = &core::CodePage::defaultPage();
    QDir workDir = QDir::current();      // where terminal.ini and Terminal.log live
    Dialogs* dialogs = nullptr;          // the Qt dialogs when null
    PortLister portLister = systemPorts; // what the port box offers
};

class UDP : public QWidget {
    Q_OBJECT
public:
    explicit UDP(const WindowOptions& options = {});
    ~UDP() override;

    Controls& controls() { return controls_; }
    SharedState& state() { return state_; }
    Winsock& winsock() { return winsock_; }
    MSComm& comm() { return comm_; }
    UdpLink& udpLink() { return udpLink_; }
    SerialLink& serialLink() { return serialLink_; }
    SerialPoll& serialPoll() { return serialPoll_; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void startUp(const WindowOptions& options);
    static QString startTime();
    void wire();
    void clearPane();

    std::unique_ptr<Dialogs> ownDialogs_;
    Dialogs& dialogs_;
    Controls controls_;
    SharedState state_;
    TerminalLog log_;
    TextCodec codec_;
    ReceivePane pane_;
    Gate gate_;
    Terminal terminal_;
    HostList hostList_;
    Winsock winsock_;
    MSComm comm_;
    UdpLink udpLink_;
    SerialLink serialLink_;
    Links links_;
    Console console_;
    Download download_;
    ProgramSave programSave_;
    ControlCommands controlCommands_;
    FlashReceive flashReceive_;
    FlashSend flashSend_;
    UdpDispatcher dispatcher_;
    SerialPoll serialPoll_;
    PortList* portList_;
    QDir workDir_;
    QElapsedTimer sincePaint_;
    QTimer paintLater_;
};

} // namespace vantor
