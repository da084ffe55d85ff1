#include "ui/missedbadge.h"

#include <QPainter>
#include <QPixmap>

namespace qv {

QIcon iconWithBadge(const QIcon& icon, int count) {
    if (count <= 0 || icon.isNull()) return icon;
    const QString text = count > 99 ? QStringLiteral("99+") : QString::number(count);
    QIcon out;
    for (const int side : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap = icon.pixmap(side, side);
        if (pixmap.isNull()) continue;
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const int d = std::max(9, side * 5 / 8);
        const QRectF disc(side - d, side - d, d, d);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xd0, 0x1c, 0x1c));
        painter.drawEllipse(disc);
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(std::max(6, d * (text.size() > 1 ? 5 : 7) / 10));
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(disc, Qt::AlignCenter, text);
        painter.end();
        out.addPixmap(pixmap);
    }
    return out.isNull() ? icon : out;
}

QString toolTipWithMissed(const QString& toolTip, const QString& missedLine) {
    if (missedLine.isEmpty()) return toolTip;
    const int end = toolTip.indexOf(QLatin1Char('\n'));
    if (end < 0) return toolTip + QLatin1Char('\n') + missedLine;
    return toolTip.left(end) + QLatin1Char('\n') + missedLine + toolTip.mid(end);
}

}  // namespace qv
