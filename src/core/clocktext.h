#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace tarvelin {

// The clock label's text: the locale's short date, a space and its time with
// seconds, without a time-zone name. At exactly midnight the date stands alone.
QString clockText(const QDateTime &now, const QLocale &locale = QLocale::system());

} // namespace tarvelin
