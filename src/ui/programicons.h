#pragma once
// The program's icons: the window icon, the notification-area icon and the
// blocked notification-area icon. Icon files the user puts in the program
// folder win over the shipped ones: "icon.ico" stands for all three, else
// "progicon.ico", "trayicon.ico" and "blockicon.ico" each replace one.

#include <QIcon>

namespace qv {

struct Folders;

struct ProgramIcons {
    QIcon window;
    QIcon tray;
    QIcon blocked;

    static ProgramIcons load(const Folders& folders);
};

}  // namespace qv
