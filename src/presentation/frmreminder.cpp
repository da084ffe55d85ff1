#include "presentation/frmreminder.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/dateformat.h"
#include "core/program.h"
#include "model/texts.h"
#include "presentation/bringtofront.h"
#include "presentation/qtstrings.h"
#include "presentation/translateform.h"

namespace qv {

namespace {
constexpr const char* kSection = "frmReminder";
// A name longer than this is cut in the window (a file may hold megabytes).
constexpr int kMaxShownName = 200;
}  // namespace

frmReminder::frmReminder(Program& program, QWidget* parent) : QWidget(parent), p_(program) {
    setObjectName("frmReminder");
    setWindowFlag(Qt::Window);
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);
    lblReminder = new QLabel(this);
    lblReminder->setObjectName("lblReminder");
    lblReminder->setWordWrap(true);
    lblReminder->setTextFormat(Qt::PlainText);
    QFont bold = lblReminder->font();
    bold.setBold(true);
    lblReminder->setFont(bold);
    lblWhen = new QLabel(this);
    lblWhen->setObjectName("lblWhen");
    lblWhen->setWordWrap(true);
    lblWhen->setTextFormat(Qt::PlainText);
    cmdOk = new QPushButton("OK", this);
    cmdOk->setObjectName("cmdOk");
    cmdOk->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblReminder);
    layout->addWidget(lblWhen, 1);
    layout->addWidget(cmdOk, 0, Qt::AlignRight);
    connect(cmdOk, &QPushButton::clicked, this, &QWidget::close);
    setMinimumWidth(320);
    translate();
    keepAnswerable(this);
}

void frmReminder::translate() {
    translateForm(this, p_.translation);
    if (alarm) {
        lblReminder->setText(headline(p_, *alarm));
        lblWhen->setText(whenText(p_, alarmMoment, p_.now()));
    }
}

QString frmReminder::headline(Program& program, const Alarm& a) {
    QString name = qs(a.name);
    if (name.size() > kMaxShownName) name = name.left(kMaxShownName) + QChar(0x2026);
    return qs(texts::fill(program.translation.getText(kSection, 401), {ss(name)}));
}

QString frmReminder::whenText(Program& program, DateTime alarmMoment, DateTime now) {
    const std::string at = formatDate(alarmMoment, program.settings.df.ot, program.ports.dateNames);
    const std::int64_t seconds = alarmMoment.seconds() - now.seconds();
    if (seconds < 60) return qs(texts::fill(program.translation.getText(kSection, 403), {at}));
    // The gap in the unit that reads best: minutes up to two hours, hours up
    // to two days, then days.
    std::int64_t amount = (seconds + 59) / 60;
    int unit = kMinutes;
    if (amount >= 120) {
        amount = (seconds + 1800) / 3600;
        unit = kHours;
        if (amount >= 48) {
            amount = (seconds + 43200) / 86400;
            unit = kDays;
        }
    }
    return qs(texts::fill(program.translation.getText(kSection, 402),
                          {at, std::to_string(amount),
                           program.translation.getUnitName(unit, static_cast<long>(amount))}));
}

void frmReminder::showReminder(const AlarmPtr& a, DateTime moment) {
    if (!a) return;
    alarm = a;
    alarmMoment = moment;
    setWindowTitle(qs(p_.translation.readKey(kSection, "frmReminder", "Reminder")) + " - " +
                   qs(p_.translation.readKey("frmQuorvaneMain", "frmQuorvaneMain", "Quorvane")));
    lblReminder->setText(headline(p_, *a));
    lblWhen->setText(whenText(p_, moment, p_.now()));
    adjustSize();
    show();
    // A note, not an alarm: it comes up without being held above the others.
    bringToFront(this, false);
    cmdOk->setFocus();
}

void frmReminder::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace qv
