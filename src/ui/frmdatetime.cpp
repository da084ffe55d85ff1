#include "ui/frmdatetime.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QtMath>

#include "base/dateformat.h"
#include "base/translation.h"
#include "controls/vnumberbox.h"
#include "presentation/qtstrings.h"
#include "presentation/translateform.h"

namespace qv {
namespace {

constexpr const char* kSection = "frmDateTime";

int daysInMonth(int year, int month) { return QDate(year, month, 1).daysInMonth(); }

}  // namespace

// ---- The clock face -----------------------------------------------------------------

ClockFace::ClockFace(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("picClock"));
    setMinimumSize(120, 120);
    setCursor(Qt::PointingHandCursor);
}

void ClockFace::setTime(int hour, int minute, int second) {
    hour_ = hour;
    minute_ = minute;
    second_ = second;
    update();
}

void ClockFace::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal r = std::min(width(), height()) / 2.0 - 2;
    p.translate(width() / 2.0, height() / 2.0);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1.5));
    p.setBrush(palette().color(QPalette::Base));
    p.drawEllipse(QPointF(0, 0), r, r);
    for (int i = 0; i < 60; ++i) {
        const qreal a = i * 2 * M_PI / 60;
        const qreal inner = i % 5 == 0 ? 0.86 : 0.93;
        p.drawLine(QPointF(std::sin(a) * r * inner, -std::cos(a) * r * inner),
                   QPointF(std::sin(a) * r * 0.98, -std::cos(a) * r * 0.98));
    }
    auto hand = [&](qreal turns, qreal length, qreal width, const QColor& colour) {
        const qreal a = turns * 2 * M_PI;
        p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, 0), QPointF(std::sin(a) * r * length, -std::cos(a) * r * length));
    };
    const QColor text = palette().color(QPalette::WindowText);
    hand(((hour_ % 12) + minute_ / 60.0) / 12.0, 0.5, 4, text);
    hand((minute_ + second_ / 60.0) / 60.0, 0.78, 2.5, text);
    hand(second_ / 60.0, 0.92, 1, palette().color(QPalette::Highlight));
}

void ClockFace::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPointF d = event->position() - QPointF(width() / 2.0, height() / 2.0);
    const qreal r = std::min(width(), height()) / 2.0 - 2;
    const qreal distance = std::hypot(d.x(), d.y()) / r;
    grabbed_ = distance <= 0.5 ? 1 : distance <= 0.8 ? 2 : distance <= 0.95 ? 3 : 0;
    if (grabbed_) moveHand(event->position());
}

void ClockFace::mouseMoveEvent(QMouseEvent* event) {
    if (grabbed_) moveHand(event->position());
}

void ClockFace::mouseReleaseEvent(QMouseEvent*) { grabbed_ = 0; }

void ClockFace::moveHand(const QPointF& at) {
    const QPointF d = at - QPointF(width() / 2.0, height() / 2.0);
    // Clockwise from twelve o'clock.
    qreal turns = std::atan2(d.x(), -d.y()) / (2 * M_PI);
    if (turns < 0) turns += 1;
    const int divisions = grabbed_ == 1 ? 12 : 60;
    const int value = std::min(divisions - 1, static_cast<int>(turns * divisions));
    emit handMoved(grabbed_, value);
}

// ---- The picker -----------------------------------------------------------------------

frmDateTime::frmDateTime(const modTranslation& translation, const DateNames& names, QWidget* parent)
    : QDialog(parent), translation_(translation), names_(names) {
    setObjectName(QStringLiteral("frmDateTime"));
    setWindowTitle(QStringLiteral("Date and time"));

    lblMonth_ = new QLabel(this);
    lblMonth_->setObjectName(QStringLiteral("lblMonth"));
    lblMonth_->setAlignment(Qt::AlignCenter);
    picCal_ = new QCalendarWidget(this);
    picCal_->setObjectName(QStringLiteral("picCal"));
    picCal_->setNavigationBarVisible(false);
    picCal_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    picCal_->setGridVisible(true);
    picCal_->setLocale(
        QLocale(qs(translation.languageId()).replace(QLatin1Char('-'), QLatin1Char('_'))));
    picClock_ = new ClockFace(this);

    auto* boxes = new QHBoxLayout;
    const int minimum[6] = {100, 1, 1, 0, 0, 0};
    const int maximum[6] = {9998, 12, 31, 23, 59, 59};
    const char* before[6] = {"", "/", "/", "  ", ":", ":"};
    for (int i = 0; i < 6; ++i) {
        auto* b = new VNumberBox(this);
        b->setObjectName(QStringLiteral("vnbDate(%1)").arg(i));
        b->setMinValue(minimum[i]);
        b->setMaxValue(maximum[i]);
        b->setWrap(i != kYear);
        b->setMinimumWidth(i == kYear ? 64 : 44);
        vnbDate_[static_cast<std::size_t>(i)] = b;
        if (*before[i])
            boxes->addWidget(new QLabel(QString::fromLatin1(before[i]).trimmed(), this));
        boxes->addWidget(b);
        connect(b, &VNumberBox::changed, this, [this] { readBoxes(); });
        if (i > 0) {
            // A wrapped box carries into the next larger unit.
            connect(b, &VNumberBox::wrapped, this, [this, i](int direction) {
                vnbDate_[static_cast<std::size_t>(i - 1)]->crement(
                    static_cast<std::int16_t>(direction));
                // Down from the 1st: the last day of the month before, which
                // its length decides only now.
                if (i == kDay && direction < 0) box(kDay)->setValue(box(kDay)->maxValue());
            });
        }
    }
    chkPM_ = new QCheckBox(QStringLiteral("PM"), this);
    chkPM_->setObjectName(QStringLiteral("chkPM"));
    boxes->addSpacing(8);
    boxes->addWidget(chkPM_);
    boxes->addStretch(1);

    cmdNow_ = new QPushButton(QStringLiteral("&Now"), this);
    cmdNow_->setObjectName(QStringLiteral("cmdNow"));
    cmdOk_ = new QPushButton(QStringLiteral("OK"), this);
    cmdOk_->setObjectName(QStringLiteral("cmdOk"));
    cmdOk_->setDefault(true);
    cmdCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
    cmdClose_ = new QPushButton(QStringLiteral("C&lose"), this);
    cmdClose_->setObjectName(QStringLiteral("cmdClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdNow_);
    buttons->addStretch(1);
    buttons->addWidget(cmdOk_);
    buttons->addWidget(cmdCancel_);
    buttons->addWidget(cmdClose_);

    auto* top = new QGridLayout;
    top->addWidget(lblMonth_, 0, 0);
    top->addWidget(picCal_, 1, 0);
    top->addWidget(picClock_, 0, 1, 2, 1);
    top->setColumnStretch(0, 3);
    top->setColumnStretch(1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(boxes);
    layout->addLayout(buttons);

    connect(picCal_, &QCalendarWidget::selectionChanged, this, [this] {
        if (showing_) return;
        const QDate d = picCal_->selectedDate();
        setMoment(DateTime::fromParts(d.year(), d.month(), d.day(), moment_.hour(),
                                      moment_.minute(), moment_.second()));
    });
    connect(picClock_, &ClockFace::handMoved, this, [this](int hand, int value) {
        if (hand == 1) value += chkPM_->isChecked() ? 12 : 0;
        setTimePart(hand == 1 ? kHour : hand == 2 ? kMinute : kSecond, value);
    });
    connect(chkPM_, &QCheckBox::toggled, this, [this](bool pm) {
        if (showing_ || (moment_.hour() >= 12) == pm) return;
        setTimePart(kHour, moment_.hour() + (pm ? 12 : -12));
    });
    connect(cmdNow_, &QPushButton::clicked, this,
            [this] { setMoment(fromQDateTime(QDateTime::currentDateTime())); });
    connect(cmdOk_, &QPushButton::clicked, this, [this] {
        ok_ = true;
        accept();
    });
    connect(cmdCancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdClose_, &QPushButton::clicked, this, &QDialog::reject);

    setMoment(fromQDateTime(QDateTime::currentDateTime()));
    translate();
}

void frmDateTime::translate() {
    translateForm(this, translation_);
    lblMonth_->setText(qs(formatDate(moment_, "mmmm yyyy", names_)));
}

void frmDateTime::setLocation(int x, int y) {
    adjustSize();
    QRect r(QPoint(x, y), size());
    if (const QScreen* s = QGuiApplication::screenAt(QPoint(x, y))) {
        const QRect area = s->availableGeometry();
        if (r.right() > area.right()) r.moveRight(area.right());
        if (r.bottom() > area.bottom()) r.moveBottom(area.bottom());
        if (r.left() < area.left()) r.moveLeft(area.left());
        if (r.top() < area.top()) r.moveTop(area.top());
    }
    move(r.topLeft());
}

void frmDateTime::setDate(DateTime moment) {
    ok_ = false;
    setMoment(moment);
}

void frmDateTime::setAmPm(bool on) {
    // Hidden, not taken out: it still tells the clock's hour hand the half of the day.
    chkPM_->setVisible(on);
}

void frmDateTime::setMoment(DateTime moment) {
    moment_ = moment;
    showMoment();
}

void frmDateTime::setTimePart(int part, int value) {
    const DateTime m = moment_;
    setMoment(DateTime::fromParts(m.year(), m.month(), m.day(), part == kHour ? value : m.hour(),
                                  part == kMinute ? value : m.minute(),
                                  part == kSecond ? value : m.second()));
}

void frmDateTime::showMoment() {
    showing_ = true;
    const DateTime m = moment_;
    box(kDay)->setMaxValue(daysInMonth(m.year(), m.month()));
    const int parts[6] = {m.year(), m.month(), m.day(), m.hour(), m.minute(), m.second()};
    for (int i = 0; i < 6; ++i)
        if (box(i)->value() != parts[i]) box(i)->setValue(parts[i]);
    picCal_->setSelectedDate(QDate(m.year(), m.month(), m.day()));
    picClock_->setTime(m.hour(), m.minute(), m.second());
    chkPM_->setChecked(m.hour() >= 12);
    lblMonth_->setText(qs(formatDate(m, "mmmm yyyy", names_)));
    showing_ = false;
}

void frmDateTime::readBoxes() {
    if (showing_) return;
    int parts[6];
    for (int i = 0; i < 6; ++i) parts[i] = box(i)->value();
    // A typed value out of range (a 31st in April, month 13) is brought into it.
    parts[kYear] = std::clamp(parts[kYear], 100, 9998);
    parts[kMonth] = std::clamp(parts[kMonth], 1, 12);
    parts[kDay] = std::clamp(parts[kDay], 1, daysInMonth(parts[kYear], parts[kMonth]));
    parts[kHour] = std::clamp(parts[kHour], 0, 23);
    parts[kMinute] = std::clamp(parts[kMinute], 0, 59);
    parts[kSecond] = std::clamp(parts[kSecond], 0, 59);
    moment_ = DateTime::fromParts(parts[kYear], parts[kMonth], parts[kDay], parts[kHour],
                                  parts[kMinute], parts[kSecond]);
    // The other views follow; the boxes keep what is being typed, except a
    // day the month no longer has when the month or year moved on.
    showing_ = true;
    box(kDay)->setMaxValue(daysInMonth(parts[kYear], parts[kMonth]));
    if (box(kDay)->value() > parts[kDay] && !box(kDay)->textField()->hasFocus())
        box(kDay)->setValue(parts[kDay]);
    picCal_->setSelectedDate(QDate(parts[kYear], parts[kMonth], parts[kDay]));
    picClock_->setTime(parts[kHour], parts[kMinute], parts[kSecond]);
    chkPM_->setChecked(parts[kHour] >= 12);
    lblMonth_->setText(qs(formatDate(moment_, "mmmm yyyy", names_)));
    showing_ = false;
}

void frmDateTime::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_N && (event->modifiers() & Qt::ControlModifier)) {
        cmdNow_->click();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        cmdOk_->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool frmDateTime::pick(QWidget* parent, const modTranslation& translation, const DateNames& names,
                       const QPoint& near, DateTime& moment, bool amPm) {
    frmDateTime picker(translation, names, parent);
    picker.setAmPm(amPm);
    picker.setLocation(near.x(), near.y());
    picker.setDate(moment);
    picker.exec();
    if (!picker.getOk()) return false;
    moment = picker.getDate();
    return true;
}

}  // namespace qv
