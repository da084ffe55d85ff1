#include "ui/daysoffwidgets.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenu>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "base/translation.h"
#include "core/daysoffkeeper.h"
#include "core/program.h"
#include "model/alarmgroup.h"
#include "model/daysoff.h"
#include "presentation/qtstrings.h"
#include "ui/windowfit.h"

namespace qv {
namespace {

// Texts of the dialogs' sections.
constexpr int kGroupsCalendars = 300;
constexpr int kNoCalendars = 301;
constexpr int kCalendarFiles = 302;

QString sectionText(Program& p, const std::string& section, int number) {
    return qs(p.translation.getText(section, number));
}

// The title a calendar gives itself (X-WR-CALNAME), from its first lines.
QString calendarTitle(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    for (int i = 0; i < 40 && !f.atEnd(); ++i) {
        const QByteArray line = f.readLine(4096).trimmed();
        if (line.startsWith("X-WR-CALNAME:"))
            return QString::fromUtf8(line.mid(13)).replace(QStringLiteral("\\,"), QStringLiteral(","));
    }
    return {};
}

}  // namespace

std::vector<std::pair<std::string, std::string>> shippedDaysOffCalendars(
    const std::string& shippedFolder) {
    std::vector<std::pair<std::string, std::string>> out;
    const QDir dir(qs(shippedFolder) + QStringLiteral("/holidays"));
    for (const QString& name : dir.entryList({QStringLiteral("*.ics")}, QDir::Files, QDir::Name)) {
        QString title = calendarTitle(dir.filePath(name));
        if (title.isEmpty()) title = name;
        out.emplace_back("holidays/" + ss(name), ss(title));
    }
    // By title: a country's nationwide calendar comes before its regions.
    std::stable_sort(out.begin(), out.end(),
                     [](const auto& a, const auto& b) { return a.second < b.second; });
    return out;
}

void refreshDaysOffSoon(Program& program, const std::vector<AlarmPtr>& alarms) {
    std::vector<std::weak_ptr<AlarmGroup>> groups;
    for (const AlarmPtr& a : alarms)
        if (const AlarmGroupPtr g = a->parentGroup()) groups.push_back(g);
    Program* p = &program;
    QTimer::singleShot(0, QCoreApplication::instance(), [p, groups] {
        for (const auto& weak : groups)
            if (const AlarmGroupPtr g = weak.lock()) daysOffKeeper::refresh(*p, g, true);
    });
}

// ---- DaysOffEditor -------------------------------------------------------------------

DaysOffEditor::DaysOffEditor(Program& program, const char* section, QWidget* parent)
    : QWidget(parent), p_(program), section_(section) {
    setObjectName(QStringLiteral("fraDaysOffCalendars"));
    txtDaysOffCalendars_ = new QPlainTextEdit(this);
    txtDaysOffCalendars_->setObjectName(QStringLiteral("txtDaysOffCalendars"));
    txtDaysOffCalendars_->setTabChangesFocus(true);
    txtDaysOffCalendars_->setLineWrapMode(QPlainTextEdit::NoWrap);
    const int line = txtDaysOffCalendars_->fontMetrics().lineSpacing();
    txtDaysOffCalendars_->setFixedHeight(3 * line + 12);
    cmdAddHolidays_ = new QPushButton(QStringLiteral("Public &holidays"), this);
    cmdAddHolidays_->setObjectName(QStringLiteral("cmdAddHolidays"));
    cmdAddHolidays_->setAutoDefault(false);
    cmdBrowseDaysOff_ = new QPushButton(QStringLiteral("&Calendar file..."), this);
    cmdBrowseDaysOff_->setObjectName(QStringLiteral("cmdBrowseDaysOff"));
    cmdBrowseDaysOff_->setAutoDefault(false);
    auto* menu = new QMenu(cmdAddHolidays_);
    menu->setObjectName(QStringLiteral("mnuHolidays"));
    for (const auto& [stored, title] : shippedDaysOffCalendars(p_.folders.shippedFolder)) {
        const QString source = qs(stored);
        menu->addAction(qs(title), this, [this, source] { addSource(source); });
    }
    cmdAddHolidays_->setMenu(menu);
    cmdAddHolidays_->setEnabled(!menu->isEmpty());

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdAddHolidays_);
    buttons->addWidget(cmdBrowseDaysOff_);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(txtDaysOffCalendars_, 1);
    layout->addLayout(buttons);
    connect(txtDaysOffCalendars_, &QPlainTextEdit::textChanged, this, [this] {
        if (filling_) return;
        edited_ = true;
        emit changed();
    });
    connect(cmdBrowseDaysOff_, &QPushButton::clicked, this, &DaysOffEditor::chooseFile);
}

void DaysOffEditor::setSources(const std::vector<std::string>& sources, bool asEdited) {
    filling_ = true;
    txtDaysOffCalendars_->setPlainText(qs(joinDaysOffSources(sources)));
    filling_ = false;
    edited_ = asEdited;
}

void DaysOffEditor::setMixed(const QString& placeholder) {
    filling_ = true;
    txtDaysOffCalendars_->clear();
    txtDaysOffCalendars_->setPlaceholderText(placeholder);
    filling_ = false;
    edited_ = false;
}

std::vector<std::string> DaysOffEditor::sources() const {
    return splitDaysOffSources(ss(txtDaysOffCalendars_->toPlainText()));
}

void DaysOffEditor::addSource(const QString& source) {
    std::vector<std::string> now = sources();
    if (std::find(now.begin(), now.end(), ss(source)) != now.end()) return;
    now.push_back(ss(source));
    txtDaysOffCalendars_->setPlainText(qs(joinDaysOffSources(now)));  // marks it edited
}

void DaysOffEditor::chooseFile() {
    const QString file = QFileDialog::getOpenFileName(
        this, QString(), QDir::homePath(),
        sectionText(p_, section_, kCalendarFiles) + QStringLiteral(" (*.ics)"));
    if (!file.isEmpty()) addSource(file);
}

// ---- DaysOffAlarmRow ----------------------------------------------------------------

DaysOffAlarmRow::DaysOffAlarmRow(Program& program, const char* section, QWidget* parent)
    : QWidget(parent), p_(program), section_(section) {
    setObjectName(QStringLiteral("fraDaysOff"));
    chkNotOnDaysOff_ = new QCheckBox(QStringLiteral("Not on days o&ff"), parent);
    chkNotOnDaysOff_->setObjectName(QStringLiteral("chkNotOnDaysOff"));
    lblDaysOffCalendars_ = new QLabel(QStringLiteral("Its calendars:"), this);
    lblDaysOffCalendars_->setObjectName(QStringLiteral("lblDaysOffCalendars"));
    lblDaysOffCalendars_->setWordWrap(true);
    editor_ = new DaysOffEditor(program, section, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lblDaysOffCalendars_);
    layout->addWidget(editor_);
    connect(chkNotOnDaysOff_, &QCheckBox::clicked, this, [this] {
        boxTouched_ = true;
        chkNotOnDaysOff_->setTristate(false);
        updateVisibility();
    });
}

void DaysOffAlarmRow::load(const std::vector<AlarmPtr>& alarms) {
    boxTouched_ = false;
    if (alarms.empty()) return;
    const Alarm& first = *alarms.front();
    const bool boxDiffers = std::any_of(alarms.begin(), alarms.end(), [&](const AlarmPtr& a) {
        return a->notOnDaysOff != first.notOnDaysOff;
    });
    const bool listDiffers = std::any_of(alarms.begin(), alarms.end(), [&](const AlarmPtr& a) {
        return a->daysOffCalendars != first.daysOffCalendars;
    });
    const QSignalBlocker block(chkNotOnDaysOff_);
    chkNotOnDaysOff_->setTristate(boxDiffers);
    chkNotOnDaysOff_->setCheckState(boxDiffers          ? Qt::PartiallyChecked
                                    : first.notOnDaysOff ? Qt::Checked
                                                         : Qt::Unchecked);
    if (listDiffers)
        editor_->setMixed(QString());
    else
        editor_->setSources(first.daysOffCalendars);
    showGroup(first.parentGroup());
    updateVisibility();
}

void DaysOffAlarmRow::takeFrom(const Alarm& alarmTemplate, const AlarmGroupPtr& group) {
    {
        const QSignalBlocker block(chkNotOnDaysOff_);
        chkNotOnDaysOff_->setTristate(false);
        chkNotOnDaysOff_->setChecked(alarmTemplate.notOnDaysOff);
    }
    boxTouched_ = true;
    editor_->setSources(alarmTemplate.daysOffCalendars, true);
    showGroup(group);
    updateVisibility();
}

void DaysOffAlarmRow::showGroup(const AlarmGroupPtr& group) {
    const std::vector<std::string> own = group ? group->daysOff.calendars : std::vector<std::string>{};
    QString list;
    for (const std::string& s : own)
        list += (list.isEmpty() ? QString() : QStringLiteral(", ")) + qs(daysOffSourceShown(s));
    if (list.isEmpty()) list = sectionText(p_, section_, kNoCalendars);
    editor_->setPlaceholder(sectionText(p_, section_, kGroupsCalendars).replace(QStringLiteral("#1"), list));
}

void DaysOffAlarmRow::apply(Alarm& alarm) const {
    if (boxTouched_ && chkNotOnDaysOff_->checkState() != Qt::PartiallyChecked)
        alarm.notOnDaysOff = chkNotOnDaysOff_->isChecked();
    if (editor_->edited()) alarm.daysOffCalendars = editor_->sources();
}

void DaysOffAlarmRow::updateVisibility() {
    const bool show = chkNotOnDaysOff_->checkState() != Qt::Unchecked;
    if (show == isVisibleTo(parentWidget())) return;
    setVisible(show);
    // The shown row needs room the open dialog may not have: its layout does
    // not grow the window by itself, so the calendars would be squeezed.
    QWidget* dialog = window();
    if (!show || !dialog->isVisible() || !dialog->layout()) return;
    dialog->layout()->activate();
    const int needed = dialog->sizeHint().height();
    if (dialog->height() < needed) dialog->resize(dialog->width(), needed);
    keepOnScreen(dialog);
}

}  // namespace qv
