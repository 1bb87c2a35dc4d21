#pragma once
// The serial activity indicator: a filled circle whose colour the poll and the senders set.

#include <QColor>
#include <QWidget>

namespace vantor {

class Indicator : public QWidget {
    Q_OBJECT
public:
    explicit Indicator(QWidget* parent = nullptr);
    QColor fillColor() const { return fill_; }
    void setFillColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_;
};

} // namespace vantor
