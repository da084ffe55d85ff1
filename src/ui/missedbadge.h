#pragma once
// The notification-area icon's sign of alarms nobody answered: a red disc
// with their number in its corner, and a line in its tool tip.

#include <QIcon>
#include <QString>

namespace qv {

// `icon` with the count in a badge; the icon itself for a count of 0 or less.
// Beyond 99 the badge says "99+".
QIcon iconWithBadge(const QIcon& icon, int count);

// The tool tip with `missedLine` after its first line (the program's name),
// where the notification area's short tool tip still shows it.
QString toolTipWithMissed(const QString& toolTip, const QString& missedLine);

}  // namespace qv
