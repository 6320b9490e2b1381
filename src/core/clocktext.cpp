#include "core/clocktext.h"

namespace tarvelin {

namespace {

constexpr QStringView NumericTime = u"HH:mm:ss";

// The locale's long time format without its time-zone part ("t", "tt", and
// the brackets some locales put round it, "(t)", "[zzzz]") or milliseconds.
// A format holding a letter Qt does not know (such as "B", the day period)
// would show that letter itself: the numeric form stands in.
QString timeFormatWithoutZone(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (quoted || !c.isLetter()) {
            out += c;
        } else if (c == u't' || c == u'z') {
            continue;
        } else if (QStringView(u"hHmsaApP").contains(c)) {
            out += c;
        } else {
            return NumericTime.toString();
        }
    }
    out.remove(QStringLiteral("()")).remove(QStringLiteral("[]"));
    out = out.simplified();
    if (!out.contains(u's'))
        out = locale.timeFormat(QLocale::ShortFormat) + QStringLiteral(":ss");
    return out;
}

} // namespace

QString clockText(const QDateTime &now, const QLocale &locale, const std::function<bool(QStringView line)> &fits)
{
    const auto line = [&fits](QString local, QStringView numeric) {
        return !fits || fits(local) ? local : numeric.toString();
    };
    const QString date = line(locale.toString(now.date(), QLocale::ShortFormat), now.date().toString(u"yyyy/M/d"));
    const QTime t = now.time();
    if (t.hour() == 0 && t.minute() == 0 && t.second() == 0)
        return date;
    return date + u'\n' + line(locale.toString(t, timeFormatWithoutZone(locale)), t.toString(NumericTime));
}

} // namespace tarvelin
