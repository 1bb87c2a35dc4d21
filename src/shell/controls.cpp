#include "shell/controls.h"
#include "shell/indicator.h"
#include "shell/port_box.h"
#include "shell/progress_bar.h"
#include "shell/receive_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

// The images are in this static library, which nothing links in by name: register them.
static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace vantor {

QString consoleHint() {
    return QStringLiteral("Команды набирать здесь");
}

namespace {

template <class W> W* make(QWidget* parent, const char* name, QRect geometry) {
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* b = make<QPushButton>(parent, name, geometry);
    b->setText(caption);
    b->setAutoDefault(false);
    return b;
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* l = make<QLabel>(parent, name, geometry);
    l->setText(caption);
    return l;
}

QLineEdit* textBox(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* t = make<QLineEdit>(parent, name, geometry);
    t->setText(text);
    return t;
}

QGroupBox* frame(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* f = make<QGroupBox>(parent, name, geometry);
    f->setTitle(caption);
    return f;
}

QCheckBox* tickBox(QWidget* parent, const char* name, QRect geometry) {
    return make<QCheckBox>(parent, name, geometry);
}

QFrame* line(QWidget* parent, const char* name, QRect geometry, QFrame::Shape shape) {
    auto* l = make<QFrame>(parent, name, geometry);
    l->setFrameShape(shape);
    l->setFrameShadow(QFrame::Plain);
    return l;
}

QLabel* picture(QWidget* parent, const char* name, const char* resource, QRect geometry) {
    auto* p = make<QLabel>(parent, name, geometry);
    p->setPixmap(QPixmap(QString::fromLatin1(resource)));
    p->setScaledContents(true);
    return p;
}

QFont consoleFont() {
    // Where Courier New is missing, the font matcher picks the system's fixed-pitch font.
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSizeF(9.75);
    return font;
}

} // namespace

QRadioButton* Controls::option(int n) const {
    QRadioButton* const options[] = {Option1, Option2, Option3, Option4, Option5, Option6};
    return options[n - 1];
}

Controls::Controls(QWidget* w) {
    initResources();
    // The controls are placed to the pixel, so their captions cannot take the desktop's
    // font: Liberation Sans, or Arial with the same widths where that is at home (Windows,
    // macOS), sized in pixels as the controls are. The small labels of "Comm's" and
    // "Modbus RTU" and the crowded "Init Port" take a size smaller.
    QFont base;
    base.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    base.setStyleHint(QFont::SansSerif);
    base.setPixelSize(10);
    w->setFont(base);
    QFont small = base;
    small.setPixelSize(9);
    addLinkFrame(w);
    addFlashFrame(w);
    addCommsFrame(w, small);
    addModbusFrames(w, small);
    addFilesFrame(w);
    addPaneAndConsole(w);
    addHidden(w);
    tbSendData->setFocus();
}

void Controls::addLinkFrame(QWidget* w) {
    Frame1 = frame(w, "Frame1", QStringLiteral("Link"), {0, 0, 254, 57});
    Label2 = label(Frame1, "Label2", QStringLiteral(" Host"), {2, 16, 30, 16});
    ComboRemoteIP = make<QComboBox>(Frame1, "ComboRemoteIP", {32, 13, 112, 21});
    ComboRemoteIP->setEditable(true);
    ComboRemoteIP->setInsertPolicy(QComboBox::NoInsert);
    // No completion: 192.168.0.1 typed must not become the 192.168.0.10 of the list.
    ComboRemoteIP->setCompleter(nullptr);
    Add_ip = button(Frame1, "Add_ip", QStringLiteral("Add"), {32, 36, 36, 18});
    Del_ip = button(Frame1, "Del_ip", QStringLiteral("Del"), {70, 36, 36, 18});
    SaveIP = button(Frame1, "SaveIP", QStringLiteral("Save"), {108, 36, 36, 18});
    NoConnect = picture(Frame1, "NoConnect", ":/images/no_connect.png", {148, 20, 32, 32});
    YesConnect = picture(Frame1, "YesConnect", ":/images/yes_connect.png", {148, 12, 32, 32});
    YesConnect->hide();
    cbBind = button(Frame1, "cbBind", QStringLiteral("Connect"), {184, 12, 66, 20});
    Command1 = button(Frame1, "Command1", QStringLiteral("Disconnect"), {184, 34, 66, 20});
}

void Controls::addFlashFrame(QWidget* w) {
    Frame2 = frame(w, "Frame2", QStringLiteral("Flash disk"), {256, 0, 273, 57});
    Frame2->setEnabled(false);
    Label3 = label(Frame2, "Label3", QStringLiteral("File name:"), {4, 16, 52, 16});
    Text2 = textBox(Frame2, "Text2", QStringLiteral("SAMPLE.TXT"), {56, 13, 96, 20});
    Command3 = button(Frame2, "Command3", QStringLiteral("Send"), {155, 13, 55, 20});
    Command4 = button(Frame2, "Command4", QStringLiteral("Recieve"), {213, 13, 56, 20});
    vbalProgressBar1 = make<ProgressBar>(Frame2, "vbalProgressBar1", {4, 36, 206, 18});
    vbalProgressBar1->setText(kBarNoFile);
    Command5 = button(Frame2, "Command5", QStringLiteral("End"), {213, 35, 56, 20});
}

void Controls::addCommsFrame(QWidget* w, const QFont& small) {
    Frame4 = frame(w, "Frame4", QStringLiteral("Comm's"), {0, 56, 254, 41});
    Label1 = label(Frame4, "Label1", QStringLiteral("Port:(1-9)"), {60, 1, 60, 12});
    Label1->setFont(small);
    Comm_number = make<PortBox>(Frame4, "Comm_number", {4, 16, 56, 20});
    Comm_number->setText(QStringLiteral("COM3"));
    Pic = make<Indicator>(Frame4, "Pic", {63, 19, 14, 14});
    Pic->hide();
    BTNOpenCom = button(Frame4, "BTNOpenCom", QStringLiteral("Open"), {80, 16, 42, 20});
    Label10 = label(Frame4, "Label10", QStringLiteral("speed"), {126, 13, 30, 12});
    Label10->setFont(small);
    QRadioButton** const options[] = {&Option1, &Option2, &Option3, &Option4, &Option5, &Option6};
    for (int i = 0; i < 6; ++i) {
        const QByteArray name = "Option" + QByteArray::number(i + 1);
        auto* option = make<QRadioButton>(Frame4, name.constData(), {156 + i * 16, 12, 15, 15});
        option->setText(QString::fromLatin1(name));
        *options[i] = option;
    }
    Option6->setChecked(true);
    Label11 = label(Frame4, "Label11", QStringLiteral("12/24/48/96/19/115"), {152, 27, 100, 12});
    Label11->setFont(small);
}

void Controls::addModbusFrames(QWidget* w, const QFont& small) {
    Frame5 = frame(w, "Frame5", QStringLiteral("Modbus RTU"), {256, 56, 153, 41});
    Frame5->setEnabled(false);
    Check1 = tickBox(Frame5, "Check1", {134, 0, 16, 14});
    Label8 = label(Frame5, "Label8", QStringLiteral("Addr"), {4, 18, 24, 14});
    Text3 = textBox(Frame5, "Text3", QStringLiteral("16"), {28, 16, 26, 20});
    Label12 = label(Frame5, "Label12", QStringLiteral("Via USB"), {56, 19, 38, 14});
    Label12->setFont(small);
    Check3 = tickBox(Frame5, "Check3", {94, 18, 16, 16});
    Command8 = button(Frame5, "Command8", QStringLiteral("Init Port"), {110, 16, 40, 20});
    Command8->setFont(small);

    Frame6 = frame(w, "Frame6", QStringLiteral("Eth to MODBUS"), {412, 56, 117, 41});
    Frame6->setEnabled(false);
    Check2 = tickBox(Frame6, "Check2", {98, 0, 16, 14});
    Label9 = label(Frame6, "Label9", QStringLiteral("Addr"), {4, 18, 24, 14});
    Text4 = textBox(Frame6, "Text4", QStringLiteral("16"), {28, 16, 26, 20});
    Command7 = button(Frame6, "Command7", QStringLiteral("InitPort"), {58, 16, 55, 20});
}

void Controls::addFilesFrame(QWidget* w) {
    Frame3 = frame(w, "Frame3", QStringLiteral("BASIC Files"), {0, 96, 465, 41});
    Command10 =
        button(Frame3, "Command10", QStringLiteral("Open File and  Download"), {4, 15, 128, 22});
    Command9 = button(Frame3, "Command9", QStringLiteral(">>"), {134, 15, 26, 22});
    Command14 = button(Frame3, "Command14", QStringLiteral("X"), {162, 15, 22, 22});
    Command11 = button(Frame3, "Command11", QStringLiteral("Save Programm"), {186, 15, 84, 22});
    Command12 =
        button(Frame3, "Command12", QStringLiteral("New Programm - wait 20s"), {272, 15, 140, 22});
    Command13 = button(Frame3, "Command13", QStringLiteral("Info"), {414, 15, 47, 22});
}

void Controls::addPaneAndConsole(QWidget* w) {
    Command2 = button(w, "Command2", QStringLiteral("Clear"), {472, 112, 53, 17});
    Line1 = line(w, "Line1", {469, 108, 1, 24}, QFrame::VLine);
    Line2 = line(w, "Line2", {469, 108, 59, 1}, QFrame::HLine);
    Line3 = line(w, "Line3", {527, 108, 1, 24}, QFrame::VLine);

    tbReceiveData = make<ReceiveView>(w, "tbReceiveData", {0, 136, 529, 345});
    tbReceiveData->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    tbReceiveData->setFont(consoleFont());

    tbSendData = textBox(w, "tbSendData", consoleHint(), {0, 488, 529, 25});
    tbSendData->setFont(consoleFont());
    QPalette white = tbSendData->palette();
    white.setColor(QPalette::Base, Qt::white);
    tbSendData->setPalette(white);
}

// Below the visible area: the handlers use these, the operator does not see them.
void Controls::addHidden(QWidget* w) {
    Label4 = label(w, "Label4", QStringLiteral("Local-Port"), {8, 770, 60, 16});
    tbLocalPort = textBox(w, "tbLocalPort", QString(), {70, 768, 60, 20});
    Label5 = label(w, "Label5", QStringLiteral("Remote-Port"), {140, 770, 70, 16});
    tbRemotePort = textBox(w, "tbRemotePort", QString(), {212, 768, 60, 20});
    tbRemotePort->setReadOnly(true);
    Label6 = label(w, "Label6", QStringLiteral("My IP"), {8, 802, 60, 16});
    Text1 = textBox(w, "Text1", QString(), {70, 800, 120, 20});
    Text1->setReadOnly(true);
    cbSendData = button(w, "cbSendData", QStringLiteral("Send"), {290, 768, 60, 20});
    cbSendData->setEnabled(false);
    Label7 = label(w, "Label7", QStringLiteral("Send Data"), {356, 770, 70, 16});
    Label13 = label(w, "Label13", QStringLiteral("Receive Data"), {356, 802, 80, 16});
    Command6 = button(w, "Command6", QStringLiteral("SEND_COMM"), {200, 800, 80, 20});
    BTNCloseCom = button(w, "BTNCloseCom", QStringLiteral("Close Port"), {440, 800, 80, 20});
    BTNCloseCom->setEnabled(false);

    TMRComm = new QTimer(w);
    TMRComm->setObjectName(QStringLiteral("TMRComm"));
    TMRComm->setInterval(20);
    TMRComm->setTimerType(Qt::PreciseTimer);
}

} // namespace vantor
