#pragma once
// A program state in a temporary folder whose user-interface port is the real
// QtUserInterface with its windows; clock, timer, plug-ins, performer,
// session and shell are the core fixture's fakes. The shipped language files
// are copied in, so the windows show their real captions.

#include <QString>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/files.h"
#include "base/languagedatenames.h"
#include "core/corefixture.h"
#include "core/program.h"
#include "ui/frmabout.h"
#include "ui/frmquorvanemain.h"
#include "ui/qtuserinterface.h"

namespace qv::test {

struct UiFixture {
    CoreFixture core;
    QtUserInterface ui;
    // Day and month names from the language file, as the program has them.
    LanguageDateNames dateNames;
    std::unique_ptr<Program> program;
    struct Box {
        QString text;
        int buttons;
    };
    std::vector<Box> boxes;
    std::deque<int> answers;  // answers to the next boxes; Yes (or OK) when empty
    struct DialogCall {
        std::vector<AlarmPtr> alarms;
        int mode;
    };
    std::vector<DialogCall> dialogCalls;
    bool dialogAnswer = true;
    std::vector<std::vector<AlarmGroupPtr>> groupDialogCalls;
    int settingsDialogCalls = 0;

    // `performer` stands in for the fake one, e.g. the program's own alarm windows.
    explicit UiFixture(ActionPerformer* performer = nullptr) {
        for (const char* lng : {"English", "Deutsch"})
            (void)writeFile(core.folder.file(std::string(lng) + ".lng"),
                            readFile(std::string(QUORVANE_SOURCE_DIR) + "/data/" + lng + ".lng"));
        program = std::make_unique<Program>(
            Folders::forFolder(core.folder.path()),
            CorePorts{core.clock, core.timer, ui, core.plugIns,
                      performer ? *performer : core.performer, core.session, core.shell,
                      core.instance, core.systemColours, dateNames});
        dateNames.attach(program->translation);
        ui.attach(*program);
        ui.answerMessageBox = [this](const QString& text, int buttons) {
            boxes.push_back({text, buttons});
            if (answers.empty()) return (buttons & 7) == 0 ? 1 : 6;
            const int a = answers.front();
            answers.pop_front();
            return a;
        };
        p().translation.setLanguage("English");
        p().startTime = core.clock.now();
        p().supervision.lastSupervised = core.clock.now();
        p().control.initSupervision();
        p().ctx.alarmGroupFolder = p().alarmGroupFolder();
        // The alarm dialog is tested on its own: here it answers OK at once.
        ui.hooks.editAlarms = [this](const std::vector<AlarmPtr>& alarms, int mode) {
            dialogCalls.push_back({alarms, mode});
            return dialogAnswer;
        };
        ui.hooks.editGroups = [this](const std::vector<AlarmGroupPtr>& groups) {
            groupDialogCalls.push_back(groups);
            return dialogAnswer;
        };
        ui.hooks.editSettings = [this] {
            ++settingsDialogCalls;
            return dialogAnswer;
        };
        ui.createWindows();
        ui.translateAll();
        p().started = true;
    }
    ~UiFixture() {
        // The windows go before the program they show.
        delete ui.mainWindow();
        delete ui.about();
    }

    Program& p() { return *program; }
    frmQuorvaneMain& main() { return *ui.mainWindow(); }

    // A group in the program's list, with one-off alarms at the given moments.
    AlarmGroupPtr addGroup(const std::string& name,
                           std::vector<std::pair<std::string, DateTime>> alarms = {}) {
        auto g = AlarmGroup::createDefaultAlarmGroup(p().ctx);
        g->name = name;
        for (const auto& [alarmName, when] : alarms) {
            auto a = ModelFixture::once(when);
            a->name = alarmName;
            a->Active = true;
            a->changed = false;
            g->addAlarm(a);
        }
        g->changed = false;
        p().alarmGroups.addElement(g);
        return g;
    }
    // Shows the groups with `selected` chosen, as a click in the list would.
    void selectGroups(const std::vector<AlarmGroupPtr>& selected) {
        for (const AlarmGroupPtr& g : p().alarmGroups)
            g->selected = std::find(selected.begin(), selected.end(), g) != selected.end();
        main().showAlarmGroups();
    }
    void selectAlarms(const std::vector<AlarmPtr>& selected) {
        for (const AlarmGroupPtr& g : p().alarmGroups)
            for (const AlarmPtr& a : g->alarms)
                a->selected = std::find(selected.begin(), selected.end(), a) != selected.end();
        main().showAlarms();
    }
    std::vector<std::string> names(const std::vector<AlarmGroupPtr>& groups) const {
        std::vector<std::string> out;
        for (const auto& g : groups) out.push_back(g->name);
        return out;
    }
    std::vector<std::string> names(const std::vector<AlarmPtr>& alarms) const {
        std::vector<std::string> out;
        for (const auto& a : alarms) out.push_back(a->name);
        return out;
    }
    std::vector<std::string> groupOrder() {
        return names(std::vector<AlarmGroupPtr>(p().alarmGroups.begin(), p().alarmGroups.end()));
    }
};

// The access key of a caption: the letter after a single "&", lower case;
// nothing when there is none.
inline QChar accessKey(const QString& text) {
    for (int i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&')) continue;
        if (text[i + 1] == QLatin1Char('&')) {
            ++i;
            continue;
        }
        return text[i + 1].toLower();
    }
    return {};
}

// A message alarm in `g`, due at `when`; with `nameAsMessage` its window shows
// the name as its message.
inline AlarmPtr messageAlarm(UiFixture& f, const AlarmGroupPtr& g, const std::string& name,
                             DateTime when, bool nameAsMessage = false) {
    auto a = ModelFixture::once(when);
    a->name = name;
    a->Active = true;
    a->actions.addElement(clsAction::Create(f.p().ctx, a, clsAction::kShowMessage));
    if (nameAsMessage) a->actions.elementAt(0)->settings->setString("s", name);
    g->addAlarm(a);
    a->changed = false;
    return a;
}

}  // namespace qv::test
