#include "ui/frmquickalarm.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>

#include "base/dateformat.h"
#include "core/program.h"
#include "model/texts.h"
#include "presentation/qtstrings.h"
#include "presentation/translateform.h"

namespace qv {
namespace {

constexpr const char* kSection = "frmQuickAlarm";
constexpr const char* kMain = "frmQuorvaneMain";
constexpr int kPresets[frmQuickAlarm::kPresetCount] = {5, 10, 15, 30, 60};
// Texts of the main window's section.
constexpr int kPresetMessage = 352;  // "Quick alarm: #1"
constexpr int kAddedLine = 353;      // "Quick alarm set for #1."
// The presets' captions are the main window's menu keys (English until the
// language file says otherwise).
constexpr const char* kPresetKey = "mnuAlQuick";
constexpr const char* kEnglishCaptions[frmQuickAlarm::kPresetCount + 1] = {
    "&5 minutes", "1&0 minutes", "&15 minutes", "&30 minutes", "1 &hour", "&Other time..."};
// Texts of the dialog's own section.
constexpr int kRingsAt = 380;
constexpr int kFirstError = 380;  // + the error's number (1..9)

QString text(const Program& p, const char* section, int number) {
    return qs(p.translation.getText(section, number));
}

QString withoutAccessKey(QString caption) {
    caption.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    return caption;
}

}  // namespace

int frmQuickAlarm::presetMinutes(int index) {
    return index >= 0 && index < kPresetCount ? kPresets[index] : 0;
}

QString frmQuickAlarm::presetCaption(const Program& program, int index) {
    if (index < 0 || index > kPresetCount) return {};
    const std::string key = std::string(kPresetKey) + "(" + std::to_string(index) + ")";
    return qs(program.translation.readKey(kMain, key, kEnglishCaptions[index]));
}

frmQuickAlarm::frmQuickAlarm(Program& program, QWidget* parent) : QDialog(parent), p_(program) {
    setObjectName(QString::fromLatin1(kSection));
    setWindowTitle(QStringLiteral("Alarm in"));
    auto* lblWhen = new QLabel(QStringLiteral("&In or at:"), this);
    lblWhen->setObjectName(QStringLiteral("lblQuickWhen"));
    cmbQuickWhen = new QComboBox(this);
    cmbQuickWhen->setObjectName(QStringLiteral("cmbQuickWhen"));
    cmbQuickWhen->setEditable(true);
    cmbQuickWhen->setInsertPolicy(QComboBox::NoInsert);
    lblWhen->setBuddy(cmbQuickWhen);
    auto* lblMessage = new QLabel(QStringLiteral("&Message:"), this);
    lblMessage->setObjectName(QStringLiteral("lblQuickMessage"));
    txtQuickMessage = new QLineEdit(this);
    txtQuickMessage->setObjectName(QStringLiteral("txtQuickMessage"));
    txtQuickMessage->setMaxLength(static_cast<int>(kMaxRequestMessage / 4));
    lblMessage->setBuddy(txtQuickMessage);
    lblQuickMoment = new QLabel(this);
    lblQuickMoment->setObjectName(QStringLiteral("lblQuickMoment"));
    lblQuickMoment->setWordWrap(true);
    cmdOk = new QPushButton(QStringLiteral("OK"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdOk, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &frmQuickAlarm::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmQuickAlarm::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(lblWhen, 0, 0);
    grid->addWidget(cmbQuickWhen, 0, 1);
    grid->addWidget(lblMessage, 1, 0);
    grid->addWidget(txtQuickMessage, 1, 1);
    grid->addWidget(lblQuickMoment, 2, 0, 1, 2);
    grid->addWidget(buttons, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    setMinimumWidth(360);

    translate();
    connect(cmbQuickWhen, &QComboBox::editTextChanged, this, &frmQuickAlarm::preview);
    cmbQuickWhen->setCurrentIndex(0);
    cmbQuickWhen->lineEdit()->selectAll();
    preview();
}

void frmQuickAlarm::translate() {
    translateForm(this, p_.translation);
    const int current = cmbQuickWhen->currentIndex();
    const QString typed = cmbQuickWhen->currentText();
    cmbQuickWhen->blockSignals(true);
    cmbQuickWhen->clear();
    for (int i = 0; i < kPresetCount; ++i)
        cmbQuickWhen->addItem(withoutAccessKey(presetCaption(p_, i)),
                              QString::number(kPresets[i]) + QStringLiteral("m"));
    if (current >= 0)
        cmbQuickWhen->setCurrentIndex(current);
    else
        cmbQuickWhen->setEditText(typed);
    cmbQuickWhen->blockSignals(false);
    txtQuickMessage->setPlaceholderText(text(p_, kMain, quicktexts::kDefaultMessage));
}

RequestError frmQuickAlarm::readRequest(AlarmRequest& r) const {
    // A preset's caption stands for its delay; anything typed is read as typed.
    const QString typed = cmbQuickWhen->currentText().trimmed();
    const int preset = cmbQuickWhen->findText(typed);
    const QString when = preset >= 0 ? cmbQuickWhen->itemData(preset).toString() : typed;
    r.message = ss(txtQuickMessage->text().trimmed());
    RequestError e = parseWhen(ss(when), r);
    if (e == RequestError::kNone) e = checkTexts(r);
    return e;
}

QString frmQuickAlarm::errorText(RequestError error) const {
    return text(p_, kSection, kFirstError + static_cast<int>(error));
}

void frmQuickAlarm::preview() {
    AlarmRequest r;
    RequestError e = readRequest(r);
    std::optional<DateTime> first;
    if (e == RequestError::kNone) first = firstMoment(r, p_.now(), e);
    if (first)
        lblQuickMoment->setText(
            qs(texts::fill(p_.translation.getText(kSection, kRingsAt),
                           {formatDate(*first, p_.settings.df.ot, p_.ports.dateNames)})));
    else
        lblQuickMoment->setText(cmbQuickWhen->currentText().trimmed().isEmpty() ? QString()
                                                                                : errorText(e));
}

void frmQuickAlarm::accept() {
    AlarmRequest r;
    const RequestError e = readRequest(r);
    if (e != RequestError::kNone) {
        lblQuickMoment->setText(errorText(e));
        cmbQuickWhen->setFocus();
        return;
    }
    added_ = QuickAlarms(p_).add(r, /*fromOutside=*/false);
    if (added_.error != RequestError::kNone) {
        lblQuickMoment->setText(errorText(added_.error));
        return;
    }
    QDialog::accept();
}

AddedAlarm addPresetQuickAlarm(Program& program, int index) {
    AlarmRequest r;
    r.hasDelay = true;
    r.delaySeconds = static_cast<std::int64_t>(frmQuickAlarm::presetMinutes(index)) * 60;
    if (r.delaySeconds <= 0) return {RequestError::kBadWhen, nullptr, nullptr, kNever};
    r.message = texts::fill(program.translation.getText(kMain, kPresetMessage),
                            {ss(withoutAccessKey(frmQuickAlarm::presetCaption(program, index)))});
    return QuickAlarms(program).add(r, /*fromOutside=*/false);
}

QString describeAddedQuickAlarm(const Program& program, const AddedAlarm& added) {
    if (!added.alarm) return {};
    return qs(
        texts::fill(program.translation.getText(kMain, kAddedLine),
                    {formatDate(added.first, program.settings.df.ot, program.ports.dateNames)}));
}

QMenu* addQuickAlarmMenu(QMenu* parent, Program& program, const QString& prefix,
                         const std::function<void(const AddedAlarm&)>& added,
                         const std::function<void()>& other) {
    QMenu* menu = parent->addMenu(QStringLiteral("Alarm &in"));
    menu->setObjectName(prefix);
    for (int i = 0; i <= frmQuickAlarm::kPresetCount; ++i) {
        if (i == frmQuickAlarm::kPresetCount) menu->addSeparator();
        QAction* a = menu->addAction(QString::fromLatin1(kEnglishCaptions[i]));
        a->setObjectName(prefix + QStringLiteral("(%1)").arg(i));
        if (i == frmQuickAlarm::kPresetCount) {
            QObject::connect(a, &QAction::triggered, menu, [other] {
                if (other) other();
            });
        } else {
            QObject::connect(a, &QAction::triggered, menu, [&program, i, added] {
                const AddedAlarm result = addPresetQuickAlarm(program, i);
                if (added) added(result);
            });
        }
    }
    return menu;
}

AddedAlarm runQuickAlarmDialog(Program& program, QWidget* parent) {
    frmQuickAlarm dialog(program, parent);
    const bool wasOpen = program.modalOpen;
    program.modalOpen = true;
    dialog.exec();
    program.modalOpen = wasOpen;
    return dialog.added();
}

}  // namespace qv
