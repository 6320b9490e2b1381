#include "widgets/linklabel.h"

#include <QMouseEvent>

namespace tarvelin {

LinkLabel::LinkLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
}

bool LinkLabel::isUnderlined() const
{
    return font().underline();
}

void LinkLabel::setUnderlined(bool on)
{
    // Every mouse move asks for this; only a real change touches the font,
    // which would otherwise repaint and re-measure the label each time.
    if (isUnderlined() == on)
        return;
    QFont f = font();
    f.setUnderline(on);
    setFont(f);
}

void LinkLabel::mouseMoveEvent(QMouseEvent *event)
{
    setUnderlined(true);
    event->accept();
}

void LinkLabel::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void LinkLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    // QWidget's default would treat this as another press and so emit a
    // second clicked() on the release that follows.
    m_pressed = false;
    event->accept();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton
        && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click)
        Q_EMIT clicked();
}

} // namespace tarvelin
