#pragma once

#include <QDateTime>
#include <QLabel>
#include <QLocale>

namespace tarvelin {

// The clock label: a fixed box two lines high, the date above the time.
// A line break in the text starts the second line; text without one that is
// wider than the box breaks at its first space.
// The lines are spaced by the box, not by the font, so a desktop font with
// tall line spacing (as CJK fonts have) still shows both lines whole.
class ClockLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // Shows the date and time in the locale's short forms, each line that
    // would not fit the box in numeric form instead (see clockText).
    void setTime(const QDateTime &now, const QLocale &locale = QLocale::system());

    // The text as it stands on the label's lines.
    QStringList lines() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace tarvelin
