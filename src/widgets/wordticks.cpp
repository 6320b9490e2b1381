#include "widgets/wordticks.h"

#include "core/lrc.h"

#include <QPainter>
#include <QPalette>

namespace tarvelin {

void paintWordTicks(QPainter &painter, const QString &lineText, const LrcLine &parsed,
                    const std::function<double(double)> &xAt,
                    double top, double height, const QPalette &palette,
                    const std::function<bool(int index)> &confirmed)
{
    if (parsed.words.isEmpty())
        return;
    const QColor sure = palette.color(QPalette::Highlight);
    const QColor guessed = palette.color(QPalette::PlaceholderText);
    const QFontMetricsF fm(painter.font());
    for (int i = 0; i < parsed.words.size(); ++i) {
        const WordTag &word = parsed.words[i];
        const double x = xAt(double(word.ms) / 1000.0);
        const QColor colour = confirmed(i) ? sure : guessed;
        painter.setPen(QPen(colour, 1.5));
        painter.drawLine(QPointF(x, top), QPointF(x, top + height));
        const qsizetype after = word.start + word.length;
        if (after < lineText.size() && lineText.at(after) != u'<') {
            const QString first = lineText.mid(after, lineText.at(after).isHighSurrogate() ? 2 : 1);
            painter.drawText(QPointF(x + 2, top + fm.ascent()), first);
        }
    }
}

} // namespace tarvelin
