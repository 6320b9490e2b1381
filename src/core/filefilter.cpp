#include "core/filefilter.h"

namespace tarvelin {

QList<FilterEntry> parseFilter(const QString &filter)
{
    QList<FilterEntry> entries;
    const QStringList items = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < items.size(); i += 2) {
        FilterEntry entry;
        for (const QString &p : items.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString pattern = p.trimmed();
            if (!pattern.isEmpty())
                entry.patterns << pattern;
        }
        if (entry.patterns.isEmpty())
            continue;
        entry.description = items.at(i).trimmed();
        if (entry.description.isEmpty())
            entry.description = entry.patterns.join(QLatin1Char(';'));
        entries << entry;
    }
    return entries;
}

QStringList toNameFilters(const QList<FilterEntry> &entries)
{
    QStringList out;
    for (const FilterEntry &e : entries)
        out << QStringLiteral("%1 (%2)").arg(e.description, e.patterns.join(QLatin1Char(' ')));
    return out;
}

} // namespace tarvelin
