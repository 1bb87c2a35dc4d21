#pragma once
// A progress bar with a text on it. It takes any value, also one above its maximum
// (the flash send ends one past the file's length), and draws such a value as full.

#include <QString>
#include <QWidget>

namespace vantor {

// What the bar says of a flash-disk transfer.
inline constexpr char kBarNoFile[] = "NO FILE";
inline constexpr char kBarSend[] = "SEND";
inline constexpr char kBarRead[] = "READ";
inline constexpr char kBarOk[] = "OK";
inline constexpr char kBarError[] = "ERROR";

class ProgressBar : public QWidget {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget* parent = nullptr) : QWidget(parent) {}

    QString text() const { return text_; }
    void setText(const QString& text);
    void setText(const char* latin1) { setText(QString::fromLatin1(latin1)); }
    qint64 value() const { return value_; }
    void setValue(qint64 value);
    qint64 maximum() const { return maximum_; }
    void setMaximum(qint64 maximum);
    // The filled part, 0 to 1.
    double fraction() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    qint64 value_ = 0;
    qint64 maximum_ = 100;
};

} // namespace vantor
