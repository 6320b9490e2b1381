#include "widgets/clocklabel.h"

#include "core/clocktext.h"

#include <QPainter>

namespace tarvelin {

void ClockLabel::setTime(const QDateTime &now, const QLocale &locale)
{
    const int width = contentsRect().width();
    setText(clockText(now, locale, [this, width](QStringView line) {
        return fontMetrics().horizontalAdvance(line.toString()) <= width;
    }));
}

QStringList ClockLabel::lines() const
{
    const QString t = text();
    if (t.contains(QLatin1Char('\n')))
        return t.split(QLatin1Char('\n'));
    const qsizetype space = t.indexOf(QLatin1Char(' '));
    if (space < 0 || fontMetrics().horizontalAdvance(t) <= contentsRect().width())
        return {t};
    return {t.left(space), t.mid(space + 1)};
}

void ClockLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect box = contentsRect();
    const QStringList rows = lines();
    const QString ink = rows.join(QLatin1Char(' '));
    QFont font = this->font();
    // Shrink only when the glyphs themselves would not fit a half-height row.
    const int pitch = box.height() / 2;
    while (font.pointSizeF() > 5 && QFontMetrics(font).tightBoundingRect(ink).height() > pitch - 1)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    painter.setFont(font);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics(font);
    const int inkHeight = metrics.tightBoundingRect(ink).height();
    for (qsizetype i = 0; i < rows.size() && i < 2; ++i) {
        // Centre the ink of each row in its half of the box.
        const int baseline = box.top() + int(i) * pitch + (pitch + inkHeight) / 2;
        painter.drawText(box.left(), baseline, rows.at(i));
    }
}

} // namespace tarvelin
