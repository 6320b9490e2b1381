#pragma once

#include <QString>
#include <QStringList>

namespace tarvelin {

// One entry of a file-type filter: what the type list shows and the patterns
// it matches ("*.mp3", or several separated by ';').
struct FilterEntry {
    QString description;
    QStringList patterns;
    bool operator==(const FilterEntry &) const = default;
};

// Splits a filter written as "description|pattern|description|pattern...".
// An odd trailing description without a pattern is dropped; empty
// descriptions fall back to the pattern text.
QList<FilterEntry> parseFilter(const QString &filter);

// The same entries as name filters for Qt's file dialog, e.g. "*.mp3 (*.mp3)".
QStringList toNameFilters(const QList<FilterEntry> &entries);

} // namespace tarvelin
