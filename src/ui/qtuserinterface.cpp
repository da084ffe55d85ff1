#include "ui/qtuserinterface.h"
#include "ui/frmmissedalarms.h"
#include "presentation/frmreminder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSystemTrayIcon>
#include <QTranslator>
#include <QTreeWidget>
#include <algorithm>
#include <exception>

#include "base/files.h"
#include "core/program.h"
#include "core/statistics.h"
#include "presentation/frmalarm.h"
#include "presentation/frmalarmclock.h"
#include "presentation/frmmessage.h"
#include "presentation/frmsound.h"
#include "presentation/qtactionperformer.h"
#include "presentation/qtstrings.h"
#include "presentation/translateform.h"
#include "ui/frmabout.h"
#include "ui/frmfirsttimesettings.h"
#include "ui/frmquorvanemain.h"
#include "ui/messagebox.h"
#include "ui/pluginmenus.h"
#include "ui/quorvanecalendar.h"

namespace qv {

QtUserInterface::QtUserInterface()
    : systemTrayAvailable([] { return QSystemTrayIcon::isSystemTrayAvailable(); }),
      calview_(XMLNode::Create("calview")),
      acpl_(XMLNode::Create("acpl")) {}

bool QtUserInterface::trayIconShown() const { return about_ && about_->trayIconShown(); }

QtUserInterface::~QtUserInterface() {
    // Windows still loaded (a test, or an end without the exit path) go with us.
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) delete it->data();
    windows_.clear();
    while (busyDepth_ > 0) {
        --busyDepth_;
        QApplication::restoreOverrideCursor();
    }
}

void QtUserInterface::attach(Program& program) {
    p_ = &program;
    // The questions before the windows carry the program's icon as well.
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::setWindowIcon(ProgramIcons::load(p_->folders).window);
}

void QtUserInterface::followLanguage() {
    if (!p_) return;
    // "de-de" in the language file's [Language] section: Qt's "de".
    std::string id = p_->translation.readKey("Language", "id", "en");
    id = id.substr(0, id.find('-'));
    if (id == qtLanguage_) return;
    qtLanguage_ = id;
    if (qtTranslator_) QCoreApplication::removeTranslator(qtTranslator_.get());
    qtTranslator_ = std::make_unique<QTranslator>();
    // English needs none; a language Qt has no texts for keeps English.
    if (id == "en" || !qtTranslator_->load(QLocale(qs(id)), QStringLiteral("qtbase"),
                                           QStringLiteral("_"),
                                           QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        qtTranslator_.reset();
        return;
    }
    QCoreApplication::installTranslator(qtTranslator_.get());
}

void QtUserInterface::linkPerformer(QtActionPerformer& performer) {
    hooks.stopAllSounds = [&performer] { performer.stopAllSounds(); };
    hooks.showAlarmClock = [&performer] {
        frmAlarmClock* clockWindow = performer.alarmClock(true);
        clockWindow->show();
        clockWindow->raise();
    };
    // The alarm window has asked already; the deletion itself is the main
    // window's, which marks the group changed so the deletion is saved.
    performer.deleteAlarm = [this](const AlarmPtr& alarm) {
        if (main_ && alarm) main_->removeAlarms({alarm});
    };
    performer.showAlarmProperties = [this](const AlarmPtr& alarm) {
        if (main_ && alarm) main_->editAlarms({alarm});
    };
    // A reminder as a message of the notification-area icon, where there is one.
    performer.notifyByTray = [this](const QString& title, const QString& text) {
        if (!about_ || !about_->trayIconShown()) return false;
        about_->notify(title, text, false);
        return true;
    };
}

bool QtUserInterface::createWindows() {
    if (!p_) return false;
    try {
        // Every window of the program carries its icon, the alarm windows too.
        QApplication::setWindowIcon(ProgramIcons::load(p_->folders).window);
        about_ = new frmAbout(*p_, *this);
        registerWindow(about_);
        main_ = new frmQuorvaneMain(*p_, *this);
        registerWindow(main_);
        if (!pendingToDo_.empty()) main_->setToDoText(qs(pendingToDo_));
        if (calview_->getNumberOfNodes() > 0) main_->calendarView()->setSettings(*calview_);
        main_->showFont(main_->font());
        p_->missed.changed = [this] { missedAlarmsChanged(); };
        missedAlarmsChanged();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void QtUserInterface::showMissedAlarms() {
    if (!p_) return;
    if (!missedWindow_) {
        missedWindow_ = new frmMissedAlarms(*p_);
        registerWindow(missedWindow_);
    }
    missedWindow_->refresh();
    missedWindow_->show();
    missedWindow_->raise();
    missedWindow_->activateWindow();
}

void QtUserInterface::missedAlarmsChanged() {
    if (!p_) return;
    if (about_) about_->showMissedCount(static_cast<int>(p_->missed.count()));
    if (main_) main_->showSeeAlarms(0);
    if (missedWindow_) missedWindow_->refresh();
}

void QtUserInterface::registerWindow(QWidget* window) {
    if (window) windows_.emplace_back(window);
}

std::vector<QWidget*> QtUserInterface::loadedWindows() const {
    std::vector<QWidget*> out;
    for (const auto& w : windows_)
        if (w) out.push_back(w.data());
    return out;
}

int QtUserInterface::messageBox(const std::string& text, int buttons, const std::string& title) {
    if (answerMessageBox) return answerMessageBox(qs(text), buttons);
    followLanguage();
    QMessageBox* box = buildMessageBox(text, buttons, title);
    box->exec();
    const int answer = messageBoxAnswer(*box);
    delete box;
    return answer;
}

QMessageBox* QtUserInterface::buildMessageBox(const std::string& text, int buttons,
                                              const std::string& title) const {
    QWidget* parent = main_ && main_->isVisible() ? main_.data() : nullptr;
    QMessageBox* box = createMessageBox(parent, qs(text), buttons, qs(title));
    if (p_) {
        // The buttons speak the program's language, not the system's.
        static constexpr std::pair<QMessageBox::StandardButton, int> kCaptions[] = {
            {QMessageBox::Ok, 101},    {QMessageBox::Cancel, 102}, {QMessageBox::Abort, 103},
            {QMessageBox::Retry, 104}, {QMessageBox::Ignore, 105}, {QMessageBox::Yes, 106},
            {QMessageBox::No, 107}};
        for (const auto& [which, number] : kCaptions) {
            const std::string caption =
                p_->translation.readKey("Strings", "s" + std::to_string(number), "");
            if (QAbstractButton* b = box->button(which); b && !caption.empty())
                b->setText(qs(caption));
        }
    }
    return box;
}

void QtUserInterface::showNotice(const std::string& text) {
    const QString title =
        p_ ? qs(p_->translation.readKey("frmQuorvaneMain", "frmQuorvaneMain", "Quorvane"))
           : QStringLiteral("Quorvane");
    // Not modal: the alarms and the supervision go on while it is open.
    QMessageBox* box = createMessageBox(nullptr, qs(text), mb::kInformation, title);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void QtUserInterface::ask(const std::string& text, int buttons, const std::string& title,
                          std::function<void(int)> answered) {
    if (answerMessageBox) {
        answered(answerMessageBox(qs(text), buttons));
        return;
    }
    // Not modal: the supervision and every other window go on while it waits.
    QMessageBox* box = buildMessageBox(text, buttons, title);
    box->setParent(nullptr, box->windowFlags());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, answered = std::move(answered)] { answered(messageBoxAnswer(*box)); });
    box->show();
    box->raise();
    box->activateWindow();
}

void QtUserInterface::showWriteProblem(const std::string& text) {
    const QString shown = qs(text);
    if (main_) main_->showWriteProblem(shown);
    // A desktop notification for a new problem (each line is told once by the
    // core); none when it is cleared.
    if (about_ && !shown.isEmpty()) {
        const QString title =
            p_ ? qs(p_->translation.readKey("frmQuorvaneMain", "frmQuorvaneMain", "Quorvane"))
               : QStringLiteral("Quorvane");
        about_->notify(title, shown);
    }
}

void QtUserInterface::setBusy(bool busy) {
    if (busy) {
        ++busyDepth_;
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    } else if (busyDepth_ > 0) {
        --busyDepth_;
        QApplication::restoreOverrideCursor();
    }
}

void QtUserInterface::showBlocked(bool blocked) {
    if (main_) main_->showBlocked(blocked);
    if (nextAlarmShown) nextAlarmShown();
    if (about_) about_->showTrayIcon(blocked ? 1 : 0);
}

void QtUserInterface::updateLists() {
    if (!main_) return;
    main_->showAlarmGroups();
    main_->showCalendars();
}

void QtUserInterface::showSeeAlarms(int list) {
    if (main_) main_->showSeeAlarms(list);
}

void QtUserInterface::showNextAlarm() {
    if (main_) main_->showNextAlarm();
    if (nextAlarmShown) nextAlarmShown();
}

bool QtUserInterface::runFirstTimeSettings(SettingsValues& settings) {
    if (!p_) return false;
    frmFirstTimeSettings dialog(*p_, main_ && main_->isVisible() ? main_.data() : nullptr);
    const bool wasOpen = p_->modalOpen;
    p_->modalOpen = true;
    dialog.exec();
    p_->modalOpen = wasOpen;
    if (!dialog.hasLanguages()) return false;
    dialog.applyTo(settings);
    return true;
}

std::string QtUserInterface::toDoText() const {
    return main_ ? ss(main_->toDoText()) : pendingToDo_;
}

void QtUserInterface::setToDoText(const std::string& text) {
    pendingToDo_ = text;
    if (main_) main_->setToDoText(qs(text));
}

XMLNodePtr QtUserInterface::versionCheckArgs(bool silent) const {
    auto args = XMLNode::Create("args");
    args->addBoolean("silent", silent);
    args->addDate("reldat", DateTime::fromParts(2005, 5, 18, 0, 0, 0));
    args->addString("version", versionText());
    args->addString("lanfil", p_ ? p_->settings.lng : std::string());
    return args;
}

void QtUserInterface::runVersionCheck(bool userAsked) {
    if (!p_) return;
    const std::string checker = p_->folders.shippedFile("qvc");
    if (fileExists(checker)) {
        // One parameter: quoted, and the XML text itself holds no quote (it is escaped).
        p_->commands.shellOpen(checker, "\"" + versionCheckArgs(!userAsked)->toString() + "\"",
                               p_->folders.shippedFolder);
        return;
    }
    if (userAsked) p_->main.showMessageBox(p_->translation.getMainText(35), mb::kInformation);
}

MainWindowSettings QtUserInterface::mainWindowPlacement() const {
    return main_ ? main_->placement() : MainWindowSettings{};
}

void QtUserInterface::applyMainWindowPlacement(const MainWindowSettings& placement) {
    if (!main_) return;
    main_->applyPlacement(placement);
    // The settings are in: the lists get the columns of their stored layouts.
    main_->initializeLists();
}

FontSettings QtUserInterface::listFont() const {
    if (!main_) return font_;
    const QFont f = main_->list(frmQuorvaneMain::kGroups)->font();
    FontSettings s;
    s.nm = ss(f.family());
    s.sz = static_cast<float>(f.pointSizeF() > 0 ? f.pointSizeF() : f.pointSize());
    s.bd = f.bold();
    s.it = f.italic();
    s.st = f.strikeOut();
    s.ul = f.underline();
    return s;
}

void QtUserInterface::applyListFont(const FontSettings& font) {
    font_ = font;
    if (!main_) return;
    QFont f = QApplication::font();
    if (!font.nm.empty()) f.setFamily(qs(font.nm));
    // A size from the file is used only when it is one a font can have.
    if (font.sz >= 1 && font.sz <= 200) f.setPointSizeF(font.sz);
    f.setBold(font.bd);
    f.setItalic(font.it);
    f.setStrikeOut(font.st);
    f.setUnderline(font.ul);
    main_->showFont(f);
}

XMLNodePtr QtUserInterface::calendarViewSettings() const {
    if (main_ && main_->calendarView()) return main_->calendarView()->getSettings();
    return calview_;
}

void QtUserInterface::applyCalendarViewSettings(const XMLNodePtr& node) {
    calview_ = node ? node->getCopy() : XMLNode::Create("calview");
    if (main_ && main_->calendarView()) main_->calendarView()->setSettings(*calview_);
}

XMLNodePtr QtUserInterface::activePlugInsSettings() const {
    // In safe mode no plug-in runs: the list the user had is kept for the next start.
    if (!p_ || p_->safeMode || !plugInHostOf(*p_)) return acpl_;
    return PlugInMenus::activePlugIns(*p_);
}

void QtUserInterface::applyActivePlugInsSettings(const XMLNodePtr& node) {
    acpl_ = node ? node->getCopy() : XMLNode::Create("acpl");
    if (!p_ || p_->safeMode) return;
    if (!PlugInMenus::startPlugIns(*p_, *acpl_))
        p_->main.showMessageBox("One or more plug-ins could not be started", mb::kExclamation);
}

void QtUserInterface::updateColumnsToReal(XMLNode& layouts) {
    if (main_) main_->updateColumnsToReal(layouts);
}

void QtUserInterface::translateAll() {
    followLanguage();
    std::vector<QWidget*> done;
    for (const auto& w : windows_) {
        if (!w) continue;
        done.push_back(w.data());
        if (auto* m = qobject_cast<frmQuorvaneMain*>(w.data()))
            m->translate();
        else if (auto* a = qobject_cast<frmAbout*>(w.data()))
            a->translate();
        else
            QMetaObject::invokeMethod(w.data(), "translate");
    }
    if (!p_) return;
    // The windows the alarms opened are translated too. Their titles name an
    // alarm or a message and stay as they are.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (std::find(done.begin(), done.end(), w) != done.end()) continue;
        if (auto* a = qobject_cast<frmAlarm*>(w)) {
            a->translate();
        } else if (auto* c = qobject_cast<frmAlarmClock*>(w)) {
            c->translate();
        } else if (qobject_cast<frmMessage*>(w) || qobject_cast<frmSound*>(w)) {
            const QString title = w->windowTitle();
            translateForm(w, p_->translation);
            w->setWindowTitle(title);
        } else if (auto* r = qobject_cast<frmReminder*>(w)) {
            r->translate();
        }
    }
}

void QtUserInterface::resetLists(bool resetClipboard) {
    if (!main_) return;
    main_->clearLists();
    if (resetClipboard) {
        main_->ClipboardAlarms = XMLNode::Create("cb");
        main_->ClipboardParentAg = nullptr;
    }
}

void QtUserInterface::unloadAllWindows() {
    // Most recently loaded first. The windows may be on the call stack (the
    // notification-area menu ends the program), so they go once control is
    // back in the event loop; the icon goes at once.
    if (about_) about_->removeTrayIcon();
    while (!windows_.empty()) {
        QPointer<QWidget> w = windows_.back();
        windows_.pop_back();
        if (!w) continue;
        w->hide();
        w->deleteLater();
    }
    about_ = nullptr;
    main_ = nullptr;
}

// exit() rather than quit(): quit() first asks every window to close, and the
// main window only hides when asked.
void QtUserInterface::quit() { QCoreApplication::exit(0); }

}  // namespace qv
