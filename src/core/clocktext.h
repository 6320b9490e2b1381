#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringView>

#include <functional>

namespace tarvelin {

// The clock label's text: the locale's short date, a line break and its time
// with seconds, without a time-zone name. At exactly midnight the date stands
// alone. Where `fits` says a line of the locale's is too wide for the label,
// that line is numeric instead: yyyy/M/d or HH:mm:ss.
QString clockText(const QDateTime &now, const QLocale &locale = QLocale::system(),
                  const std::function<bool(QStringView line)> &fits = {});

} // namespace tarvelin
