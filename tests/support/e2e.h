#pragma once
// What the end-to-end suites share: a real window, a scripted UDP peer, a pty pair, the
// widgets they drive, and Qt Test.

#include "loopback_peer.h"
#include "pty_pair.h"
#include "shell/indicator.h"
#include "shell/port_box.h"
#include "shell/progress_bar.h"
#include "shell/receive_view.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace vantor;
using namespace vantor::test;
