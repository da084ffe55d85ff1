#include "ui/pluginmenus.h"

#include <QAction>
#include <QMenu>

#include "core/program.h"
#include "plugins/clsplugin.h"
#include "presentation/qtstrings.h"

namespace qv {

namespace {

// A plug-in's text is shown as it is: no markup, no access keys of its own.
QString plainMenuText(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }

XMLNodePtr parsed(const std::string& answer) {
    if (answer.empty()) return nullptr;
    auto root = XMLNode::Create();
    if (root->initializeFromXML(answer)) return nullptr;
    return root;
}

bool succeeded(const std::string& answer) {
    const XMLNodePtr root = parsed(answer);
    return root && root->getNodeIndex("success") >= 0;
}

bool isActive(clsPlugIn& host, const std::string& id) {
    const XMLNodePtr root = parsed(host.methodCall(id, "GetStatus", host.lang(), false));
    return root && root->getBoolean("active", 0, false);
}

}  // namespace

clsPlugIn* plugInHostOf(Program& p) { return dynamic_cast<clsPlugIn*>(&p.ports.plugIns); }

std::string plugInName(clsPlugIn& host, const std::string& identifier) {
    const std::string name = host.commonMethodCall(identifier, "GetName", "name");
    return name.empty() ? identifier : name;
}

PlugInMenus::PlugInMenus(Program& p, QMenu* importMenu, QMenu* exportMenu, QMenu* generalMenu)
    : QObject(importMenu), p_(p), import_(importMenu), export_(exportMenu), general_(generalMenu) {
    // Captions and check marks are asked when a menu opens: they follow the
    // language and the plug-ins' own state.
    connect(import_, &QMenu::aboutToShow, this, [this] { fillImport(); });
    connect(export_, &QMenu::aboutToShow, this, [this] { fillExport(); });
    connect(general_, &QMenu::aboutToShow, this, [this] { fillGeneral(); });
    refresh();
}

void PlugInMenus::refresh() {
    clsPlugIn* host = plugInHostOf(p_);
    auto has = [host](int type) { return host && host->plugIns(type).numberOfElements() > 0; };
    // A menu with nothing to offer is left out rather than shown greyed.
    const std::pair<QMenu*, int> menus[] = {{import_, clsPlugIn::kImport},
                                            {export_, clsPlugIn::kExport},
                                            {general_, clsPlugIn::kGeneralPurpose}};
    for (const auto& [menu, type] : menus) {
        menu->setEnabled(has(type));
        menu->menuAction()->setVisible(has(type));
    }
}

QString PlugInMenus::caption(const std::string& identifier, const char* method) {
    clsPlugIn* host = plugInHostOf(p_);
    const std::string text = host ? host->commonMethodCall(identifier, method, "menucaption") : "";
    return plainMenuText(qs(text.empty() ? identifier : text));
}

void PlugInMenus::fillImport() {
    import_->clear();
    clsPlugIn* host = plugInHostOf(p_);
    if (!host) return;
    for (const std::string& id : host->plugIns(clsPlugIn::kImport)) {
        QAction* a = import_->addAction(caption(id, "GetImpMenuCaption"));
        connect(a, &QAction::triggered, this, [this, host, id] {
            const XMLNodePtr root =
                parsed(host->methodCall(id, "GetAlarmgroups", host->lang(), false));
            const XMLNodePtr list = root ? root->findNode("alarmgroups") : nullptr;
            std::vector<AlarmGroupPtr> groups;
            if (list) {
                for (const XMLNodePtr& g : list->children()) {
                    if (g && g->name == "algr")
                        groups.push_back(AlarmGroup::createFromNode(p_.ctx, *g));
                }
            }
            if (!groups.empty() && addGroups) addGroups(groups);
        });
    }
}

void PlugInMenus::fillExport() {
    export_->clear();
    clsPlugIn* host = plugInHostOf(p_);
    if (!host) return;
    for (const std::string& id : host->plugIns(clsPlugIn::kExport)) {
        QAction* a = export_->addAction(caption(id, "GetExpMenuCaption"));
        connect(a, &QAction::triggered, this, [this, host, id] {
            if (!selectedGroups) return;
            for (const AlarmGroupPtr& g : selectedGroups())
                host->methodCall(id, "SetAlarmGroups", host->lang() + g->toXML()->toString(),
                                 false);
        });
    }
}

void PlugInMenus::fillGeneral() {
    general_->clear();
    clsPlugIn* host = plugInHostOf(p_);
    if (!host) return;
    int index = 0;
    for (const std::string& id : host->plugIns(clsPlugIn::kGeneralPurpose)) {
        QAction* a = general_->addAction(caption(id, "GetGPPMenuCaption"));
        a->setObjectName(QStringLiteral("mnuGeneralGPPP(%1)").arg(index++));
        a->setCheckable(true);
        a->setChecked(isActive(*host, id));
        connect(a, &QAction::triggered, this, [this, host, id, a](bool nowChecked) {
            // Qt has already flipped the mark; it stays only when the plug-in agrees.
            const bool wasRunning = !nowChecked;
            const std::string answer = wasRunning
                                           ? host->methodCall(id, "Quit", host->lang(), false)
                                           : host->methodCall(id, "Run", host->lang(), true);
            const bool ok = succeeded(answer);
            a->setChecked(ok ? nowChecked : wasRunning);
            p_.settingsStore.settingsChanged();
            // The plug-in's own reason, when it gave one.
            const XMLNodePtr root = ok ? nullptr : parsed(answer);
            const std::string reason = root ? root->getString("error") : "";
            if (!reason.empty()) p_.main.showMessageBox(reason, mb::kExclamation);
        });
    }
}

QString PlugInMenus::fileFilters(bool import) const {
    clsPlugIn* host = plugInHostOf(p_);
    if (!host) return {};
    const StringVector& filters = import ? host->importFilters() : host->exportFilters();
    const StringVector& patterns = import ? host->importExtensions() : host->exportExtensions();
    QStringList out;
    for (std::int32_t i = 0; i < filters.numberOfElements() && i < patterns.numberOfElements();
         ++i) {
        QString description = qs(filters.stringAt(i)).trimmed();
        QString pattern = qs(patterns.stringAt(i)).trimmed();
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (pattern.isEmpty()) continue;
        if (description.isEmpty()) description = pattern;
        out << (description.endsWith(QLatin1Char(')')) ? description
                                                       : description + " (" + pattern + ")");
    }
    return out.join(QStringLiteral(";;"));
}

XMLNodePtr PlugInMenus::activePlugIns(Program& p) {
    auto acpl = XMLNode::Create("acpl");
    clsPlugIn* host = plugInHostOf(p);
    if (!host) return acpl;
    for (const std::string& id : host->plugIns(clsPlugIn::kGeneralPurpose)) {
        if (isActive(*host, id)) acpl->addString("plin", id);
    }
    for (const std::string& id : host->plugIns(clsPlugIn::kGeneralPurpose)) {
        const XMLNodePtr root = parsed(host->methodCall(id, "GetSettings", host->lang(), false));
        const int index = root ? root->getNodeIndex("sett") : -1;
        if (index < 0) continue;
        auto entry = XMLNode::Create("plst");
        entry->addString("plin", id);
        entry->addNode(root->getNodeAt(index)->getCopy());
        acpl->addNode(entry);
    }
    return acpl;
}

bool PlugInMenus::startPlugIns(Program& p, const XMLNode& acpl) {
    clsPlugIn* host = plugInHostOf(p);
    if (!host) return true;
    for (const XMLNodePtr& child : acpl.children()) {
        if (!child || child->name != "plst") continue;
        const std::string id = child->getString("plin");
        const int index = child->getNodeIndex("sett");
        if (id.empty() || index < 0) continue;
        host->methodCall(id, "SetSettings", host->lang() + child->getNodeAt(index)->toString(),
                         false);
    }
    bool allStarted = true;
    for (const XMLNodePtr& child : acpl.children()) {
        if (!child || child->name != "plin") continue;
        // Kept like one started from the menu, so its status is polled and it
        // is released at exit.
        allStarted =
            succeeded(host->methodCall(child->Value.str(), "Run", host->lang(), true)) && allStarted;
    }
    return allStarted;
}

}  // namespace qv
