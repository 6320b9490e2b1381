#pragma once

#include <QLabel>

namespace tarvelin {

// The clock label: a fixed box two lines high. Text wider than the box
// breaks at its first space onto the second line (a date above its time).
// The lines are spaced by the box, not by the font, so a desktop font with
// tall line spacing (as CJK fonts have) still shows both lines whole.
class ClockLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // The text as it stands on the label's lines.
    QStringList lines() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace tarvelin
