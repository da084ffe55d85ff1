#include "ui/windowfit.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QTreeWidget>
#include <QWidget>
#include <algorithm>

namespace qv {

void keepOnScreen(QWidget* window) {
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    // Room for the frame the window manager adds around it.
    const QRect area = screen->availableGeometry().adjusted(0, 0, -8, -32);
    const QSize size = window->size().boundedTo(area.size()).expandedTo(window->minimumSize());
    if (size != window->size()) window->resize(size);
    QRect r = window->geometry();
    r.moveLeft(std::clamp(r.left(), area.left(), std::max(area.left(), area.right() - r.width())));
    r.moveTop(std::clamp(r.top(), area.top(), std::max(area.top(), area.bottom() - r.height())));
    if (r.topLeft() != window->geometry().topLeft()) window->move(r.topLeft());
}

void widenForTitle(QWidget* window) {
    QFont bold = window->font();
    bold.setBold(true);
    const int title = QFontMetrics(bold).horizontalAdvance(window->windowTitle()) * 11 / 10 + 120;
    window->setMinimumWidth(std::max(std::min(title, 720), window->minimumSizeHint().width()));
}

namespace {

// The room a cell's text takes, with the view's margins around it.
int columnText(const QTreeWidget* list, int column, int row) {
    const QTreeWidgetItem* item = list->topLevelItem(row);
    return QFontMetrics(item->font(column)).horizontalAdvance(item->text(column)) + 16;
}

}  // namespace

void fitColumns(QTreeWidget* list) {
    // The window's width: before it is first shown the list has no size of its own yet.
    const int most = std::max(80, std::max(list->viewport()->width(), list->window()->width()) * 2 / 5);
    for (int c = 0; c + 1 < list->columnCount(); ++c) {
        int wanted = list->header()->sectionSizeHint(c);
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            wanted = std::max(wanted, columnText(list, c, i));
        list->setColumnWidth(c, std::min(wanted, most));
    }
}

}  // namespace qv
