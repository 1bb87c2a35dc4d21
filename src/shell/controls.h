#pragma once
// Every control of the window, created with its caption, initial state and place.
// The window is a fixed 530 x 517 client area; a second group of controls lies below
// it: the handlers use them, the operator does not see them.

#include <QString>

class QCheckBox;
class QComboBox;
class QFont;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QWidget;

namespace vantor {

class Indicator;
class PortBox;
class ProgressBar;
class ReceiveView;

inline constexpr int kClientWidth = 530;
inline constexpr int kClientHeight = 517;
QString consoleHint();

struct Controls {
    explicit Controls(QWidget* window);

    QGroupBox* Frame1;
    QLabel* Label2;
    QComboBox* ComboRemoteIP;
    QPushButton* Add_ip;
    QPushButton* Del_ip;
    QPushButton* SaveIP;
    QLabel* NoConnect;
    QLabel* YesConnect;
    QPushButton* cbBind;
    QPushButton* Command1;

    QGroupBox* Frame2;
    QLabel* Label3;
    QLineEdit* Text2;
    QPushButton* Command3;
    QPushButton* Command4;
    ProgressBar* vbalProgressBar1;
    QPushButton* Command5;

    QGroupBox* Frame4;
    QLabel* Label1;
    PortBox* Comm_number;
    Indicator* Pic;
    QPushButton* BTNOpenCom;
    QLabel* Label10;
    QLabel* Label11;
    QRadioButton* Option1;
    QRadioButton* Option2;
    QRadioButton* Option3;
    QRadioButton* Option4;
    QRadioButton* Option5;
    QRadioButton* Option6;

    QGroupBox* Frame5;
    QCheckBox* Check1;
    QLabel* Label8;
    QLineEdit* Text3;
    QLabel* Label12;
    QCheckBox* Check3;
    QPushButton* Command8;

    QGroupBox* Frame6;
    QCheckBox* Check2;
    QLabel* Label9;
    QLineEdit* Text4;
    QPushButton* Command7;

    QGroupBox* Frame3;
    QPushButton* Command10;
    QPushButton* Command9;
    QPushButton* Command14;
    QPushButton* Command11;
    QPushButton* Command12;
    QPushButton* Command13;

    QPushButton* Command2;
    QFrame* Line1;
    QFrame* Line2;
    QFrame* Line3;
    ReceiveView* tbReceiveData;
    QLineEdit* tbSendData;

    // Below the visible area.
    QLabel* Label4;
    QLineEdit* tbLocalPort;
    QLabel* Label5;
    QLineEdit* tbRemotePort;
    QLabel* Label6;
    QLineEdit* Text1;
    QPushButton* cbSendData;
    QLabel* Label7;
    QLabel* Label13;
    QPushButton* Command6;
    QPushButton* BTNCloseCom;

    QTimer* TMRComm;

    QRadioButton* option(int n) const; // Option1 .. Option6

private:
    // The window's frames and controls, one group at a time.
    void addLinkFrame(QWidget* w);
    void addFlashFrame(QWidget* w);
    void addCommsFrame(QWidget* w, const QFont& small);
    void addModbusFrames(QWidget* w, const QFont& small);
    void addFilesFrame(QWidget* w);
    void addPaneAndConsole(QWidget* w);
    void addHidden(QWidget* w);
};

} // namespace vantor
