#pragma once
// The main window's plug-in commands: import and export through a plug-in,
// the general-purpose plug-ins and their saved running state ("acpl").

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "model/alarmgroup.h"
#include "xml/xmlnode.h"

class QMenu;

namespace qv {

class Program;
class clsPlugIn;

// The program's plug-in host, or nullptr when it runs without one (tests).
clsPlugIn* plugInHostOf(Program& p);
// The name a plug-in gives itself, or its identifier when it gives none.
std::string plugInName(clsPlugIn& host, const std::string& identifier);

class PlugInMenus : public QObject {
    Q_OBJECT

  public:
    PlugInMenus(Program& p, QMenu* importMenu, QMenu* exportMenu, QMenu* generalMenu);

    // The groups an export goes to, and what becomes of imported groups.
    std::function<std::vector<AlarmGroupPtr>()> selectedGroups;
    std::function<void(const std::vector<AlarmGroupPtr>&)> addGroups;

    // Enables each menu when a plug-in serves it.
    void refresh();
    // The file-dialog filters of the file-import (export) plug-ins, joined by ";;".
    QString fileFilters(bool import) const;

    // "acpl": the general-purpose plug-ins that report themselves running
    // ("plin" children), and the settings of those that answer "GetSettings"
    // ("plst" children: the identifier "plin" and the settings "sett").
    static XMLNodePtr activePlugIns(Program& p);
    // Hands each plug-in its saved settings, then starts the plug-ins named by
    // "plin" children; false when any did not start.
    static bool startPlugIns(Program& p, const XMLNode& acpl);

  private:
    void fillImport();
    void fillExport();
    void fillGeneral();
    // The caption a plug-in gives for its menu item, or its identifier.
    QString caption(const std::string& identifier, const char* method);

    Program& p_;
    QMenu* import_;
    QMenu* export_;
    QMenu* general_;
};

}  // namespace qv
