#pragma once
// The border between the layers without Qt (UTF-8 std::string, DateTime) and
// the Qt layers (QString, QDateTime).

#include <QDateTime>
#include <QString>
#include <string>

#include "base/datetime.h"

namespace qv {

inline QString qs(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string ss(const QString& s) { return s.toUtf8().toStdString(); }

// Local wall-clock time both ways.
inline QDateTime toQDateTime(DateTime d) {
    return QDateTime(QDate(d.year(), d.month(), d.day()), QTime(d.hour(), d.minute(), d.second()));
}
inline DateTime fromQDateTime(const QDateTime& t) {
    const QDate d = t.date();
    const QTime h = t.time();
    return DateTime::fromParts(d.year(), d.month(), d.day(), h.hour(), h.minute(), h.second());
}

}  // namespace qv
