#include "presentation/frmalarm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QSpinBox>
#include <cmath>

#include "base/dateformat.h"
#include "core/program.h"
#include "model/clsadvanceddate.h"
#include "model/texts.h"
#include "presentation/bringtofront.h"
#include "presentation/frmsound.h"
#include "presentation/qtactionperformer.h"
#include "presentation/qtstrings.h"
#include "presentation/snoozepresets.h"
#include "presentation/translateform.h"

namespace qv {

namespace {

constexpr const char* kSection = "frmAlarm";
// Unit codes in the order of the unit list.
constexpr int kUnitOfIndex[7] = {kSeconds, kMinutes, kHours, kDays, kWeeks, kMonths, kYears};
constexpr int kMargin = 6;

int twipsToPixels(std::int32_t twips, double dpi) {
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}
std::int32_t pixelsToTwips(int pixels, double dpi) {
    return static_cast<std::int32_t>(std::lround(pixels * 1440.0 / dpi));
}

}  // namespace

int frmAlarm::unitCodeOfIndex(int index) {
    return index >= 0 && index < 7 ? kUnitOfIndex[index] : kMinutes;
}

int frmAlarm::indexOfUnitCode(int code) {
    for (int i = 0; i < 7; ++i)
        if (kUnitOfIndex[i] == code) return i;
    return 1;  // minutes for a code that is no unit
}

frmAlarm::frmAlarm(Program& program, QtActionPerformer& performer)
    : p_(program), performer_(performer) {
    setObjectName("frmAlarm");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::Window);
    // Closing it must not end a program whose main window sits hidden in the tray.
    setAttribute(Qt::WA_QuitOnClose, false);

    txtAlarmMessage = new QPlainTextEdit(this);
    txtAlarmMessage->setObjectName("txtAlarmMessage");
    cmdOk = new QPushButton("OK", this);
    cmdOk->setObjectName("cmdOk");
    cmdSnooze = new QPushButton("Snooze", this);
    cmdSnooze->setObjectName("cmdSnooze");
    vnbSnoozeAmount = new QSpinBox(this);
    vnbSnoozeAmount->setObjectName("vnbSnoozeAmount");
    vnbSnoozeAmount->setRange(0, 32767);
    cmbSnoozeUnit = new QComboBox(this);
    cmbSnoozeUnit->setObjectName("cmbSnoozeUnit");
    cmbSnoozeAddTo = new QComboBox(this);
    cmbSnoozeAddTo->setObjectName("cmbSnoozeAddTo");
    fraSnoozePresets = new SnoozePresets(this);
    connect(fraSnoozePresets, &SnoozePresets::chosen, this, [this](int i) { snoozePreset(i); });

    mnuAlarm = new QMenu(this);
    mnuAlarm->setObjectName("mnuAlarm");
    auto item = [this](const char* name, const char* caption) {
        QAction* a = mnuAlarm->addAction(caption);
        a->setObjectName(name);
        return a;
    };
    mnuDelete = item("mnuDelete", "Delete");
    mnuDeleteNotSounding = item("mnuDeleteNotSounding", "Delete if it will not sound again");
    mnuAlarm->addSeparator();
    mnuTurnOn = item("mnuTurnOn", "Switch on");
    mnuTurnOff = item("mnuTurnOff", "Switch off");
    mnuStopSnoozing = item("mnuStopSnoozing", "Stop snoozing");
    mnuAlarm->addSeparator();
    mnuProperties = item("mnuProperties", "Properties...");
    connect(mnuDelete, &QAction::triggered, this, [this] { deleteAlarm(false); });
    connect(mnuDeleteNotSounding, &QAction::triggered, this, [this] { deleteAlarm(true); });
    connect(mnuTurnOn, &QAction::triggered, this, [this] { switchAlarm(true); });
    connect(mnuTurnOff, &QAction::triggered, this, [this] { switchAlarm(false); });
    connect(mnuStopSnoozing, &QAction::triggered, this, [this] { stopSnoozing(); });
    connect(mnuProperties, &QAction::triggered, this, [this] {
        if (alrt && performer_.showAlarmProperties) performer_.showAlarmProperties(alrt);
    });

    connect(cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    connect(vnbSnoozeAmount, &QSpinBox::valueChanged, this, [this] { nameSnoozeUnits(); });
    connect(cmdSnooze, &QPushButton::clicked, this, [this] { cmdSnooze_Click(); });

    // The window sees every key and every right click first, wherever it
    // lands (the controls' inner parts too), but not those of its own menu.
    for (QWidget* w : findChildren<QWidget*>())
        if (w != mnuAlarm && !mnuAlarm->isAncestorOf(w)) w->installEventFilter(this);

    const FontSettings& f = p_.settings.font;
    if (!f.nm.empty()) {
        QFont font(qs(f.nm));
        if (f.sz > 0) font.setPointSizeF(f.sz);
        font.setBold(f.bd);
        font.setItalic(f.it);
        font.setStrikeOut(f.st);
        font.setUnderline(f.ul);
        txtAlarmMessage->setFont(font);
    }

    setMinimumSize(cmdSnooze->sizeHint().width() * 5 + 120, 100);
    const double dpi = screen() ? screen()->logicalDotsPerInch() : 96.0;
    QSize size(std::max(minimumWidth(), twipsToPixels(p_.settings.awW, dpi)),
               std::max(minimumHeight(), twipsToPixels(p_.settings.awH, dpi)));
    // A stored size is shown only as far as the screen reaches.
    if (const QScreen* s = screen())
        size = size.boundedTo(s->availableGeometry().size()).expandedTo(minimumSize());
    resize(size);
    if (performer_.hasAlarmWindowPosition) {
        QPoint pos = performer_.alarmWindowPosition;
        if (QScreen* s = screen()) {
            const QRect r = s->availableGeometry();
            if (pos.x() + width() > r.right() + 1) pos.setX(r.right() + 1 - width());
            if (pos.y() + height() > r.bottom() + 1) pos.setY(r.bottom() + 1 - height());
            pos.setX(std::max(pos.x(), r.left()));
            pos.setY(std::max(pos.y(), r.top()));
        }
        move(pos);
    }

    translate();
    shownAt_ = preciseNow();
    performer_.addWindow(this);
    keepAnswerable(this, [this] { return asking_ > 0; });
}

frmAlarm::~frmAlarm() { performer_.removeWindow(this); }

int frmAlarm::ask(const std::string& question, int buttons) {
    // The window waits for the answer to its own question, modal dialog or not.
    ++asking_;
    const int answer = p_.main.showMessageBox(question, buttons);
    --asking_;
    return answer;
}

std::string frmAlarm::text(int number) const { return p_.translation.getText(kSection, number); }

void frmAlarm::translate() {
    // The title names the alarm and its moment: a new language leaves it be.
    const QString title = windowTitle();
    translateForm(this, p_.translation);
    if (alrt) setWindowTitle(title);
    const int unit = cmbSnoozeUnit->currentIndex();
    const int addTo = cmbSnoozeAddTo->currentIndex();
    cmbSnoozeUnit->clear();
    for (int i = 0; i < 7; ++i) cmbSnoozeUnit->addItem(QString());
    nameSnoozeUnits();
    cmbSnoozeAddTo->clear();
    cmbSnoozeAddTo->addItem(qs(text(10)));
    cmbSnoozeAddTo->addItem(qs(text(11)));
    cmbSnoozeUnit->setCurrentIndex(unit >= 0 ? unit : 1);
    cmbSnoozeAddTo->setCurrentIndex(addTo >= 0 ? addTo : 0);
    for (int i = 0; i < SnoozePresets::kCount; ++i)
        fraSnoozePresets->button(i)->setToolTip(
            qs(text(i == SnoozePresets::kTomorrow ? 451 : 450)));
}

void frmAlarm::nameSnoozeUnits() {
    // "1 minute", "5 minutes": the units follow the amount beside them.
    for (int i = 0; i < cmbSnoozeUnit->count() && i < 7; ++i)
        cmbSnoozeUnit->setItemText(
            i, qs(p_.translation.getUnitName(unitCodeOfIndex(i), vnbSnoozeAmount->value())));
}

double frmAlarm::preciseNow() const {
    const DateTime now = p_.now();
    const double whole = static_cast<double>(now.seconds());
    const double precise = whole - now.secondsOfDay() + p_.ports.clock.secondsSinceMidnight();
    // The two readings may straddle midnight: then the whole second must do.
    return std::fabs(precise - whole) < 1.0 ? precise : whole;
}

bool frmAlarm::guardPasses() const {
    const double elapsed = preciseNow() - shownAt_;
    return elapsed > 1.0 || elapsed < 0.0;
}

void frmAlarm::fillCommon(const AlarmPtr& alarm, const std::shared_ptr<clsAction>& act,
                          DateTime due, bool isTimed) {
    alrt = alarm;
    action = act;
    dueDate = due;
    timed = isTimed;
    menuAllowed = true;

    QString title = qs(alarm->name) + " - ";
    title += timed ? qs(formatDate(due, p_.settings.df.ot, p_.ports.dateNames)) : qs(text(21));
    if (alarm->snoozing) {
        if (due == alarm->nextSnoozeAlarmDate) {
            title += " " + qs(text(22));
            alarm->snoozing = false;
            changeFlags |= change::kSnoozed;
        } else {
            title += " " + qs(text(23));
            if (due > alarm->nextSnoozeAlarmDate) {
                alarm->snoozing = false;
                changeFlags |= change::kSnoozed;
            }
        }
    }
    setWindowTitle(title);
}

void frmAlarm::setSnoozeRow(bool visible, bool enabled) {
    for (QWidget* w : {static_cast<QWidget*>(cmbSnoozeUnit), static_cast<QWidget*>(cmbSnoozeAddTo),
                       static_cast<QWidget*>(cmdSnooze), static_cast<QWidget*>(vnbSnoozeAmount),
                       static_cast<QWidget*>(fraSnoozePresets)}) {
        w->setVisible(visible);
        w->setEnabled(enabled);
    }
    // The presets' row comes and goes with the snooze row: the message follows.
    QResizeEvent relayout(size(), size());
    resizeEvent(&relayout);
}

void frmAlarm::presetSnoozeRow() {
    const bool last = alrt->lastSnoozeSet;
    vnbSnoozeAmount->setValue(last ? alrt->lastSnoozeAmount : p_.settings.dsa);
    cmbSnoozeUnit->setCurrentIndex(indexOfUnitCode(last ? alrt->lastSnoozeUnit : p_.settings.dsu));
    int addTo = last ? alrt->lastSnoozeAddTo : p_.settings.dsat;
    // A late alarm (the computer slept, the alarm waited behind a question):
    // counting from its own moment would land in the past, so count from now.
    if (addTo != 1 && !(addToDate(dueDate, vnbSnoozeAmount->value(),
                                  unitCodeOfIndex(cmbSnoozeUnit->currentIndex())) > p_.now()))
        addTo = 1;
    cmbSnoozeAddTo->setCurrentIndex(addTo == 1 ? 1 : 0);
}

void frmAlarm::showAlarm(const AlarmPtr& alarm, const std::shared_ptr<clsAction>& act, DateTime due,
                         bool isTimed, const std::string& message) {
    if (!alarm || !act) return;
    const bool first = !alrt;
    hasMessage = !message.empty();
    fillCommon(alarm, act, due, isTimed);
    setSnoozeRow(act->settings->getInteger("i", 0, 1) == 1 || hasMessage,
                 timed && !alarm->readOnly);
    txtAlarmMessage->setEnabled(true);
    txtAlarmMessage->setReadOnly(false);
    if (hasMessage)
        txtAlarmMessage->setPlainText(qs(texts::fill(text(4), {message})));
    else if (first)
        txtAlarmMessage->setPlainText(qs(act->settings->getString("s", 0, "")));
    if (first) presetSnoozeRow();
}

void frmAlarm::playSound(const AlarmPtr& alarm, const std::shared_ptr<clsAction>& act, DateTime due,
                         bool isTimed, bool useOwnOptions, bool volumeSwitch, int volume,
                         const std::string& defaultSound) {
    if (!alarm || !act) return;
    const bool first = !alrt;
    isSoundWindow = true;
    fillCommon(alarm, act, due, isTimed);
    setSnoozeRow(true, timed && !alarm->readOnly);
    txtAlarmMessage->setEnabled(false);
    if (first) presetSnoozeRow();

    startPlayer(act, useOwnOptions, volumeSwitch, volume, defaultSound);
}

bool frmAlarm::showsSounding(const AlarmPtr& alarm, DateTime due, bool isTimed) const {
    return !closing_ && alrt && alrt == alarm && dueDate == due && timed == isTimed;
}

void frmAlarm::addMessage(const std::shared_ptr<clsAction>& act, const std::string& message) {
    if (!act) return;
    isSoundWindow = false;
    action = act;
    hasMessage = !message.empty();
    txtAlarmMessage->setEnabled(true);
    txtAlarmMessage->setReadOnly(false);
    txtAlarmMessage->setPlainText(hasMessage ? qs(texts::fill(text(4), {message}))
                                             : qs(act->settings->getString("s", 0, "")));
}

void frmAlarm::addSound(const std::shared_ptr<clsAction>& act, bool useOwnOptions,
                        bool volumeSwitch, int volume, const std::string& defaultSound) {
    if (!act || !alrt) return;
    // The sound can be snoozed here like in a window of its own.
    setSnoozeRow(true, timed && !alrt->readOnly);
    startPlayer(act, useOwnOptions, volumeSwitch, volume, defaultSound);
}

void frmAlarm::startPlayer(const std::shared_ptr<clsAction>& act, bool useOwnOptions,
                           bool volumeSwitch, int volume, const std::string& defaultSound) {
    // At most three players: the oldest one goes (with its window, unless it is ours).
    const std::vector<frmSound*> players = performer_.soundPlayers();
    if (static_cast<int>(players.size()) >= QtActionPerformer::kMaxSoundPlayers) {
        frmSound* oldest = players.front();
        // Its window goes unanswered to make room: the alarm is kept as missed.
        if (frmAlarm* w = oldest->parentWindow; w && w != this && w->isSoundWindow && w->timed && w->alrt)
            p_.missed.add(w->alrt, w->dueDate);
        if (oldest->parentWindow == this) {
            oldest->parentWindow = nullptr;
            soundWindow = nullptr;
        }
        oldest->closePlayer();
    }
    if (frmSound* old = soundWindow) {
        old->parentWindow = nullptr;
        soundWindow = nullptr;
        old->closePlayer();
    }

    if (!useOwnOptions) {
        volumeSwitch = p_.settings.osvol;
        volume = p_.settings.svol;
    }
    const std::string pattern = useOwnOptions ? defaultSound : performer_.defaultSoundPattern();
    auto* player = new frmSound(p_, performer_);
    player->parentWindow = this;
    soundWindow = player;
    soundDueDate = dueDate;
    performer_.addPlayer(player);
    player->setSoundAction(alrt, act, dueDate, timed, volumeSwitch, volume, pattern);
}

void frmAlarm::ownSoundFailed(const std::string& file) {
    keepAfterSound_ = true;
    // A window with a message stays anyway, and keeps its text.
    if (!isSoundWindow || closing_) return;
    txtAlarmMessage->setPlainText(qs(texts::fill(text(5), {file})));
    txtAlarmMessage->setEnabled(true);
    txtAlarmMessage->setReadOnly(true);
    // Shown even where the action asked for no window: the alarm is not heard.
    if (!isVisible()) showWindow();
}

void frmAlarm::showWindow() {
    if (closing_) return;
    const bool appearing = !isVisible();
    show();
    bringToFront(p_.settings.ftf);
    performer_.alarmWindowShown(this);
    // Enter answers a new alarm: OK takes it, not the text box as a line break.
    // A window shown again keeps the focus where the user left it.
    if (appearing) cmdOk->setFocus();
}

void frmAlarm::bringToFront(bool keepOnTop) {
    if (!isVisible()) return;
    qv::bringToFront(this, keepOnTop);
}

void frmAlarm::cmdOk_Click() {
    if (!guardPasses()) return;
    closeRoutine();
}

void frmAlarm::cmdSnooze_Click() {
    if (!guardPasses() || !alrt) return;
    bool yes = true;
    if (alrt->snoozing && alrt->nextSnoozeAlarmDate > p_.now()) {
        const std::string q =
            text(2) + " " +
            formatDate(alrt->nextSnoozeAlarmDate, p_.settings.df.ot, p_.ports.dateNames);
        yes = ask(q, mb::kYesNo | mb::kExclamation) == mb::kAnswerYes;
    }
    // The answer may have taken a while: the present moment is read afterwards.
    const DateTime now = p_.now();
    const int addTo = cmbSnoozeAddTo->currentIndex() == 1 ? 1 : 0;
    const int unit = unitCodeOfIndex(cmbSnoozeUnit->currentIndex());
    const int amount = vnbSnoozeAmount->value();
    const DateTime moment = addToDate(addTo == 0 ? dueDate : now, amount, unit);
    if (!(moment > now)) {
        ask(text(3), mb::kExclamation);
        return;
    }
    if (yes) {
        alrt->snooze(moment);
        changeFlags |= change::kSnoozed;
    }
    alrt->lastSnoozeSet = true;
    alrt->lastSnoozeAmount = static_cast<std::int16_t>(amount);
    alrt->lastSnoozeUnit = static_cast<std::int16_t>(unit);
    alrt->lastSnoozeAddTo = static_cast<std::int16_t>(addTo);
    closeRoutine();
}

void frmAlarm::snoozePreset(int index) {
    if (!guardPasses() || !alrt || !cmdSnooze->isEnabled()) return;
    const SnoozeChoice c = SnoozePresets::choice(index, dueDate, timed, p_.now());
    vnbSnoozeAmount->setValue(c.amount);
    cmbSnoozeUnit->setCurrentIndex(indexOfUnitCode(c.unit));
    cmbSnoozeAddTo->setCurrentIndex(c.addTo);
    cmdSnooze_Click();
}

void frmAlarm::closeRoutine() {
    if (closing_) return;
    // A response to the alarm: the supervision keeps no re-alarm to cancel.
    if (!isSoundWindow && !hasMessage && action) {
        const std::string edited = ss(txtAlarmMessage->toPlainText());
        if (edited != action->settings->getString("s", 0, "") &&
            ask(text(1), mb::kYesNo | mb::kQuestion) == mb::kAnswerYes) {
            action->settings->setString("s", edited);
            changeFlags |= change::kMessageStored;
        }
    }
    performer_.alarmWindowPosition = pos();
    performer_.hasAlarmWindowPosition = true;
    const double dpi = screen() ? screen()->logicalDotsPerInch() : 96.0;
    const std::int32_t w = pixelsToTwips(width(), dpi), h = pixelsToTwips(height(), dpi);
    if (isVisible() && (w != p_.settings.awW || h != p_.settings.awH)) {
        p_.settings.awW = w;
        p_.settings.awH = h;
        p_.settingsStore.settingsChanged();
    }
    const AlarmPtr alarm = alrt;
    const int flags = changeFlags;
    changeFlags = 0;
    routineClose_ = true;
    close();
    if (alarm && flags) p_.control.alarmsChanged({alarm}, flags);
}

void frmAlarm::closeWindow() {
    forceClose_ = true;
    close();
}

void frmAlarm::stopPlayer() {
    if (frmSound* s = soundWindow) {
        soundWindow = nullptr;
        s->parentWindow = nullptr;
        s->closePlayer();
    }
}

void frmAlarm::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    // The close box is guarded like the keys; the program's own closes are not.
    if (!routineClose_ && !forceClose_ && event->spontaneous() && !guardPasses()) {
        event->ignore();
        return;
    }
    closing_ = true;
    performer_.removeWindow(this);
    performer_.alarmWindowClosing(this);
    stopPlayer();
    mnuAlarm->hide();
    // A snooze that came due was cleared when the window was filled; report it
    // however the window goes, or the change would never be saved.
    if (!routineClose_ && (changeFlags & change::kSnoozed) && alrt && !p_.exiting) {
        changeFlags = 0;
        p_.control.alarmsChanged({alrt}, change::kSnoozed);
    }
    event->accept();
}

void frmAlarm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int rowH = std::max({cmdOk->sizeHint().height(), cmbSnoozeUnit->sizeHint().height(),
                               vnbSnoozeAmount->sizeHint().height()});
    const int top = height() - kMargin - rowH;
    // The presets sit in a row of their own above the snooze row.
    const int presetsH = fraSnoozePresets->isVisibleTo(this) ? fraSnoozePresets->rowHeight() : 0;
    const int presetsTop = top - (presetsH > 0 ? kMargin + presetsH : 0);
    fraSnoozePresets->setGeometry(kMargin, presetsTop, width() - 2 * kMargin, presetsH);
    txtAlarmMessage->setGeometry(kMargin, kMargin, width() - 2 * kMargin,
                                 std::max(10, presetsTop - 2 * kMargin));
    int x = kMargin;
    auto place = [&](QWidget* w, int width) {
        w->setGeometry(x, top, width, rowH);
        x += width + kMargin;
    };
    place(vnbSnoozeAmount, std::max(60, vnbSnoozeAmount->sizeHint().width()));
    place(cmbSnoozeUnit, std::max(90, cmbSnoozeUnit->sizeHint().width()));
    place(cmbSnoozeAddTo, std::max(120, cmbSnoozeAddTo->sizeHint().width()));
    place(cmdSnooze, cmdSnooze->sizeHint().width());
    const int okW = std::max(80, cmdOk->sizeHint().width());
    cmdOk->setGeometry(width() - kMargin - okW, top, okW, rowH);
}

void frmAlarm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Kept in front: on top again whenever it loses the focus.
    if (event->type() == QEvent::ActivationChange && p_.settings.ftf && isVisible() &&
        !isActiveWindow() && !closing_) {
        if (!(windowFlags() & Qt::WindowStaysOnTopHint)) {
            setWindowFlag(Qt::WindowStaysOnTopHint, true);
            show();
        }
        raise();
    }
}

void frmAlarm::refreshMenu() {
    const bool writable = alrt && !alrt->readOnly;
    for (QAction* a : {mnuDelete, mnuDeleteNotSounding, mnuTurnOn, mnuTurnOff, mnuStopSnoozing})
        a->setEnabled(writable);
    // Until the properties dialog is there, its item is shown disabled.
    mnuProperties->setEnabled(alrt && static_cast<bool>(performer_.showAlarmProperties));
}

void frmAlarm::showContextMenu(const QPoint& globalPos) {
    if (!menuAllowed) return;
    refreshMenu();
    mnuAlarm->popup(globalPos);
}

bool frmAlarm::handleKey(QKeyEvent* e, QObject* target) {
    const Qt::KeyboardModifiers mods = e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                                         Qt::AltModifier | Qt::MetaModifier);
    const int key = e->key();
    if (key == Qt::Key_Escape && mods == Qt::NoModifier) {
        if (guardPasses()) close();
        return true;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && mods == Qt::NoModifier) {
        if (target == txtAlarmMessage || txtAlarmMessage->hasFocus()) return false;
        cmdOk->click();
        return true;
    }
    if (key == Qt::Key_X && mods == Qt::AltModifier) {
        if (menuAllowed) {
            const QPoint at =
                isVisible() ? mapToGlobal(QPoint(width() / 2, height() / 2)) : QCursor::pos();
            showContextMenu(at);
        }
        return true;
    }
    if (key >= Qt::Key_1 && key <= Qt::Key_9 && mods == Qt::ControlModifier) {
        if (vnbSnoozeAmount->isEnabled()) {
            vnbSnoozeAmount->setValue(key - Qt::Key_0);
            cmbSnoozeUnit->setCurrentIndex(indexOfUnitCode(kMinutes));
            cmdSnooze->click();
        }
        return true;
    }
    if (key == Qt::Key_A && mods == Qt::ControlModifier && target == txtAlarmMessage) return true;
    return false;
}

void frmAlarm::keyPressEvent(QKeyEvent* event) {
    if (!handleKey(event, this)) QWidget::keyPressEvent(event);
}

void frmAlarm::contextMenuEvent(QContextMenuEvent* event) {
    if (menuAllowed) showContextMenu(event->globalPos());
    event->accept();
}

bool frmAlarm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ContextMenu) {
        // The text box and the boxes of the snooze row would show their own
        // editing menus; here a right click means the alarm.
        if (menuAllowed) showContextMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        if (handleKey(static_cast<QKeyEvent*>(event), watched)) return true;
    } else if (event->type() == QEvent::ShortcutOverride) {
        // Keep the text box's own Ctrl+A and the like from claiming our keys.
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
            event->accept();
            return false;
        }
    }
    (void)watched;
    return QWidget::eventFilter(watched, event);
}

void frmAlarm::deleteAlarm(bool onlyIfNotSounding) {
    if (!alrt || alrt->readOnly) return;
    if (ask(text(onlyIfNotSounding ? 102 : 101), mb::kYesNo | mb::kQuestion) != mb::kAnswerYes)
        return;
    if (onlyIfNotSounding) {
        try {
            if (alrt->hasNextAlarmDateAfter(p_.now(), false)) return;
        } catch (const AdvancedDateError&) {
            return;  // cannot tell whether it sounds again: keep it
        }
    }
    if (performer_.deleteAlarm) performer_.deleteAlarm(alrt);
}

void frmAlarm::switchAlarm(bool active) {
    if (!alrt || alrt->readOnly) return;
    alrt->Active = active;
    p_.control.alarmsChanged({alrt}, change::kSwitched);
}

void frmAlarm::stopSnoozing() {
    if (!alrt || alrt->readOnly) return;
    alrt->snoozing = false;
    p_.control.alarmsChanged({alrt}, change::kSwitched);
}

}  // namespace qv
