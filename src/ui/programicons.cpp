#include "ui/programicons.h"

#include <QApplication>
#include <QFileInfo>
#include <QStyle>

#include "base/folders.h"
#include "presentation/qtstrings.h"

namespace qv {
namespace {

// An icon file that exists and that Qt can read; a null icon otherwise.
QIcon iconFile(const std::string& path) {
    const QString p = qs(path);
    if (!QFileInfo(p).isFile()) return {};
    QIcon icon(p);
    return icon.availableSizes().isEmpty() && icon.pixmap(16, 16).isNull() ? QIcon() : icon;
}

QIcon styleIcon(QStyle::StandardPixmap which) {
    return QApplication::style() ? QApplication::style()->standardIcon(which) : QIcon();
}

}  // namespace

ProgramIcons ProgramIcons::load(const Folders& folders) {
    auto own = [&](const char* name) { return iconFile(folders.programFolder + "/" + name); };
    // The shipped pictures come as SVG, or as PNG where SVG cannot be read.
    auto shipped = [&](const std::string& base) {
        QIcon icon = iconFile(folders.shippedFile(base + ".svg"));
        return icon.isNull() ? iconFile(folders.shippedFile(base + ".png")) : icon;
    };

    ProgramIcons icons;
    if (QIcon all = own("icon.ico"); !all.isNull()) {
        icons.window = icons.tray = icons.blocked = all;
        return icons;
    }
    icons.window = own("progicon.ico");
    icons.tray = own("trayicon.ico");
    icons.blocked = own("blockicon.ico");
    if (icons.window.isNull()) icons.window = shipped("icons/quorvane");
    if (icons.tray.isNull()) icons.tray = shipped("icons/tray");
    if (icons.blocked.isNull()) icons.blocked = shipped("icons/tray-blocked");
    // Nothing shipped either (a bare build): the style's own pictures, so the
    // notification area never shows an empty icon.
    if (icons.window.isNull()) icons.window = styleIcon(QStyle::SP_ComputerIcon);
    if (icons.tray.isNull()) icons.tray = icons.window;
    if (icons.blocked.isNull()) icons.blocked = styleIcon(QStyle::SP_MessageBoxWarning);
    return icons;
}

}  // namespace qv
