// Every caption the operator sees fits the control it stands in, measured by the font that
// control uses. ctest runs it at the default scale and with QT_SCALE_FACTOR=1.5.

#include "e2e.h"

#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QStyleOptionGroupBox>

#include <optional>

namespace {

// The part of a line edit its text is drawn in: QLineEdit keeps 2 pixels on each side
// inside its contents, and nothing may lie under a child such as the port list's arrow.
QRect lineEditText(const QLineEdit* edit) {
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->hasFrame()
                           ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit)
                           : 0;
    QRect r = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    r = r.marginsRemoved(edit->textMargins()).adjusted(2, 0, -2, 0);
    for (const QWidget* child : edit->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->isVisible() && child->geometry().intersects(r))
            r.setRight(std::min(r.right(), child->x() - 1));
    return r;
}

QRect buttonContents(const QPushButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    return button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
}

// A frame's title runs from where the style puts it to the frame's edge, or to the first
// control that sits on the title's line (the tick boxes of the Modbus frames, the port
// label of "Comm's").
QRect frameTitle(const QGroupBox* frame) {
    QStyleOptionGroupBox option;
    option.initFrom(frame);
    option.text = frame->title();
    option.textAlignment = frame->alignment();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    QRect title = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                 QStyle::SC_GroupBoxLabel, frame);
    title.setHeight(frame->fontMetrics().height());
    QRect room(title.left(), title.top(), frame->width() - title.left(), title.height());
    for (const QWidget* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->isVisible() && child->geometry().intersects(room) && child->x() > title.left())
            room.setRight(std::min(room.right(), child->x() - 1));
    return room;
}

QRect checkBoxNeeds(const QCheckBox* box) {
    const QStyle* style = box->style();
    int width = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box);
    int height = style->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, box);
    if (!box->text().isEmpty()) {
        width += style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box) +
                 box->fontMetrics().horizontalAdvance(box->text());
        height = std::max(height, box->fontMetrics().height());
    }
    return {0, 0, width, height};
}

// A caption and the room it has, or nothing for a control without one.
struct Caption {
    QString text;
    QSize needs;
    QRect room;
};

std::optional<Caption> captionOf(QWidget* w) {
    const QFontMetrics fm = w->fontMetrics();
    const auto text = [&](const QString& t, QRect room) {
        return Caption{t, {fm.horizontalAdvance(t), fm.height()}, room};
    };
    if (auto* b = qobject_cast<QPushButton*>(w))
        return text(b->text(), buttonContents(b));
    if (qobject_cast<QRadioButton*>(w))
        return std::nullopt; // their captions are their names, hidden by their width on purpose
    if (auto* c = qobject_cast<QCheckBox*>(w))
        return Caption{c->text(), checkBoxNeeds(c).size(), c->rect()};
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text().isEmpty() ? std::nullopt
                                   : std::optional(text(l->text(), l->contentsRect()));
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return text(e->text(), lineEditText(e));
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return text(g->title(), frameTitle(g));
    if (auto* p = qobject_cast<ProgressBar*>(w))
        return text(p->text(), p->rect());
    return std::nullopt;
}

} // namespace

class TestFit : public QObject {
    Q_OBJECT
private slots:
    void everyCaptionFits() {
        WindowFixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.window()));
        QVERIFY(!f.window().grab().isNull());
        QStringList misfits;
        int checked = 0;
        for (QWidget* w : f.window().findChildren<QWidget*>()) {
            const bool onScreen = QRect(QPoint(), f.window().size())
                                      .contains(QRect(w->mapTo(&f.window(), QPoint()), w->size()));
            if (!w->isVisible() || !onScreen || w->objectName().isEmpty())
                continue;
            const std::optional<Caption> caption = captionOf(w);
            if (!caption)
                continue;
            ++checked;
            if (caption->needs.width() > caption->room.width() ||
                caption->needs.height() > caption->room.height())
                misfits << QStringLiteral("%1 \"%2\": needs %3 x %4, has %5 x %6")
                               .arg(w->objectName(), caption->text)
                               .arg(caption->needs.width())
                               .arg(caption->needs.height())
                               .arg(caption->room.width())
                               .arg(caption->room.height());
        }
        QVERIFY2(misfits.isEmpty(), qPrintable(misfits.join(QLatin1Char('\n'))));
        // The face the window asks for is there (fonts-liberation), not a stand-in that
        // happens to fit.
        QCOMPARE(QFontInfo(f.window().font()).family(), QStringLiteral("Liberation Sans"));
        // The window shows 41 captions: a walk that finds far fewer has gone wrong.
        QVERIFY2(checked >= 40, qPrintable(QString::number(checked)));
    }
};

QTEST_MAIN(TestFit)
#include "tst_fit.moc"
