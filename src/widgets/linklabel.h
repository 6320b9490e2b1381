#pragma once

#include <QLabel>

namespace tarvelin {

// A label that behaves like a web link: underlined while the mouse moves over
// it, and a click emits clicked(). The underline stays until someone calls
// setUnderlined(false) (the window does, when the mouse crosses its bare
// surface), so moving from the label straight onto another control leaves it
// on.
//
// A click is a left press and a left release on the label. A double click
// counts as one click: the second press of the pair does not arm the label
// again, so a user who double-clicks out of habit gets one page, not two.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(const QString &text, QWidget *parent = nullptr);

    bool isUnderlined() const;
    void setUnderlined(bool on);

Q_SIGNALS:
    void clicked();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
};

} // namespace tarvelin
