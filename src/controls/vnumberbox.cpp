#include "controls/vnumberbox.h"

#include <QEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <algorithm>
#include <QStyleOption>
#include <QTimer>
#include <functional>

namespace qv {
namespace {

constexpr int kSpinnerWidth = 15;
// Held down, the spinner starts repeating after this long, then steps at the
// shorter interval until released.
constexpr int kRepeatDelayMs = 400;
constexpr int kRepeatIntervalMs = 60;

// Two arrow halves: the upper one steps up, the lower one down.
class Spinner : public QWidget {
  public:
    std::function<void(int y, bool repeatLast)> pressed;
    std::function<void()> released;

    explicit Spinner(QWidget* parent) : QWidget(parent) {
        setFixedWidth(kSpinnerWidth);
        setObjectName(QStringLiteral("picSpinner"));
        setCursor(Qt::ArrowCursor);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QStyleOption option;
        option.initFrom(this);
        const int half = height() / 2;
        for (int i = 0; i < 2; ++i) {
            option.rect = QRect(0, i == 0 ? 0 : half, width(), i == 0 ? half : height() - half);
            style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &option, &p, this);
            style()->drawPrimitive(
                i == 0 ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown, &option, &p,
                this);
        }
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && pressed) pressed(e->position().toPoint().y(), false);
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && pressed) pressed(e->position().toPoint().y(), true);
    }
    void mouseReleaseEvent(QMouseEvent*) override {
        if (released) released();
    }
};

}  // namespace

VNumberBox::VNumberBox(QWidget* parent)
    : QWidget(parent), txt_(new QLineEdit(this)), repeat_(new QTimer(this)) {
    auto* spinner = new Spinner(this);
    picSpinner_ = spinner;
    txt_->setObjectName(QStringLiteral("txt"));
    txt_->setText(QStringLiteral("0"));
    txt_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Digits, and a sign in front; whether a sign is allowed at all is decided
    // when it is typed (it depends on the minimum).
    validator_ = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]*")), txt_);
    txt_->setValidator(validator_);
    txt_->installEventFilter(this);
    setFocusProxy(txt_);
    setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(txt_, 1);
    layout->addWidget(picSpinner_);

    connect(txt_, &QLineEdit::textChanged, this, [this] { onTextEdited(); });
    // Typing may pass through numbers outside the bounds; what is left when
    // the field is done with (a pasted -30, a pasted 99999) is brought back in.
    connect(txt_, &QLineEdit::editingFinished, this, [this] { clampText(); });
    spinner->pressed = [this](int y, bool repeatLast) { spinnerPressed(y, repeatLast); };
    spinner->released = [this] { stopStepping(); };
    connect(repeat_, &QTimer::timeout, this, [this] {
        repeat_->setInterval(kRepeatIntervalMs);
        if (lastStep_ != 0) crement(static_cast<std::int16_t>(lastStep_));
    });
}

std::int32_t VNumberBox::value() const {
    bool ok = false;
    const qlonglong v = txt_->text().toLongLong(&ok);
    if (!ok) return 0;
    if (v < INT32_MIN) return INT32_MIN;
    if (v > INT32_MAX) return INT32_MAX;
    return static_cast<std::int32_t>(v);
}

void VNumberBox::setMinValue(std::int32_t v) {
    min_ = v;
    // A sign only where the number may be negative: also when it is pasted.
    validator_->setRegularExpression(
        QRegularExpression(min_ < 0 ? QStringLiteral("-?[0-9]*") : QStringLiteral("[0-9]*")));
}

void VNumberBox::clampText() {
    bool ok = false;
    const qlonglong v = txt_->text().toLongLong(&ok);
    if (!ok) return;
    const qlonglong lo = std::min(min_, max_), hi = std::max(min_, max_);
    if (v < lo || v > hi) txt_->setText(QString::number(std::clamp<qlonglong>(v, lo, hi)));
}
void VNumberBox::setMaxValue(std::int32_t v) { max_ = v; }

void VNumberBox::setShowSpinner(bool show) {
    showSpinner_ = show;
    picSpinner_->setVisible(show);
}

void VNumberBox::setValue(std::int64_t value) {
    if (min_ > max_) std::swap(min_, max_);
    int direction = 0;
    if (value < min_) {
        value = wrap_ ? max_ : min_;
        direction = wrap_ ? -1 : 0;
    } else if (value > max_) {
        value = wrap_ ? min_ : max_;
        direction = wrap_ ? 1 : 0;
    }
    const QString text = QString::number(value);
    if (txt_->text() != text) txt_->setText(text);
    if (direction != 0) emit wrapped(direction);
}

void VNumberBox::crement(std::int16_t steps) {
    setValue(static_cast<std::int64_t>(value()) + static_cast<std::int64_t>(step_) * steps);
    txt_->selectAll();
}

void VNumberBox::onTextEdited() {
    if (txt_->text() == QStringLiteral("-")) {
        // The next digit replaces the 0.
        const QSignalBlocker block(txt_);
        txt_->setText(QStringLiteral("-0"));
        txt_->setSelection(1, 1);
    }
    emit changed();
}

bool VNumberBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched != txt_) return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            crement(key->key() == Qt::Key_Up ? 1 : -1);
            return true;
        }
        // A sign only where the number may be negative.
        if (key->text() == QStringLiteral("-") && min_ >= 0) return true;
    } else if (event->type() == QEvent::FocusIn) {
        // After the click that gave the focus has placed the cursor.
        QTimer::singleShot(0, txt_, [t = txt_] { t->selectAll(); });
    }
    return QWidget::eventFilter(watched, event);
}

void VNumberBox::spinnerPressed(int y, bool repeatLast) {
    if (!isEnabled()) return;
    if (!repeatLast || lastStep_ == 0) lastStep_ = y <= picSpinner_->height() / 2 ? 1 : -1;
    txt_->setFocus();
    crement(static_cast<std::int16_t>(lastStep_));
    repeat_->setInterval(kRepeatDelayMs);
    repeat_->start();
}

void VNumberBox::stopStepping() { repeat_->stop(); }

}  // namespace qv
