#include "core/clocktext.h"

namespace tarvelin {

namespace {

// The locale's long time format without any time-zone part ("t", "tt", ...).
QString timeFormatWithoutZone(const QLocale &locale)
{
    QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    out = out.trimmed();
    // A zone name usually stands apart, e.g. "HH:mm:ss t"; trimming above and
    // collapsing doubled spaces keeps "h:mm:ss AP" style formats intact.
    while (out.contains(QLatin1String("  ")))
        out.replace(QLatin1String("  "), QLatin1String(" "));
    if (!out.contains(QLatin1Char('s')))
        out = locale.timeFormat(QLocale::ShortFormat) + QLatin1String(":ss");
    return out;
}

} // namespace

QString clockText(const QDateTime &now, const QLocale &locale)
{
    const QString date = locale.toString(now.date(), QLocale::ShortFormat);
    const QTime t = now.time();
    if (t.hour() == 0 && t.minute() == 0 && t.second() == 0)
        return date;
    return date + QLatin1Char(' ') + locale.toString(now.time(), timeFormatWithoutZone(locale));
}

} // namespace tarvelin
