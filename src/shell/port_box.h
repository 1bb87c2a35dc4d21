#pragma once
// The port box: a port's name or device path, with the arrow of the port list at its right
// end, beside the text rather than over it. With the focus it edits and scrolls as any line
// edit; without it, a name too long for the box shows its end ("…USB0" of /dev/ttyUSB0),
// which is what tells one device from another. The whole name is the tooltip, and what a screen
// reader gives as the box's description.

#include <QLineEdit>

class QAction;
class QToolButton;

namespace vantor {

class PortBox : public QLineEdit {
    Q_OBJECT
public:
    explicit PortBox(QWidget* parent = nullptr);

    // Clicking the arrow triggers `action`.
    void setArrowAction(QAction* action);
    QToolButton* arrow() const { return arrow_; }
    // What the box shows: its text, or without the focus the end of a text that does not fit.
    QString shownText() const;
    // Where the text is drawn, left of the arrow.
    QRect textRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect contents() const;

    QToolButton* arrow_;
};

} // namespace vantor
