#include "presentation/snoozepresets.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace qv {
namespace {

// The amounts in minutes of the presets before "tomorrow".
constexpr std::array<int, 4> kMinutesOf = {5, 10, 30, 60};
// The most the snooze row's amount box takes.
constexpr int kMostAmount = 32767;

}  // namespace

SnoozePresets::SnoozePresets(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("fraSnoozePresets"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    const char* captions[kCount] = {"5 min", "10 min", "30 min", "1 hour", "Tomorrow"};
    for (int i = 0; i < kCount; ++i) {
        auto* b = new QPushButton(QString::fromLatin1(captions[i]), this);
        b->setObjectName(QStringLiteral("cmdSnoozePreset(%1)").arg(i));
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::TabFocus);
        buttons_[static_cast<std::size_t>(i)] = b;
        row->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, i] { emit chosen(i); });
    }
    row->addStretch(1);
}

int SnoozePresets::rowHeight() const { return buttons_[0]->sizeHint().height(); }

SnoozeChoice SnoozePresets::choice(int index, DateTime due, bool timed, DateTime now) {
    if (index >= 0 && index < kTomorrow) {
        // Shown in the row as it reads best: "1 hour", not "60 minutes".
        const int minutes = kMinutesOf[static_cast<std::size_t>(index)];
        return minutes % 60 == 0 ? SnoozeChoice{minutes / 60, kHours, 1}
                                 : SnoozeChoice{minutes, kMinutes, 1};
    }
    // Tomorrow: whole days from the alarm's moment, so the time of day stays.
    if (!timed) return {1, kDays, 1};
    std::int64_t days = 1;
    if (!(addToDate(due, 1, kDays) > now)) days = (now.seconds() - due.seconds()) / 86400 + 1;
    while (!(addToDate(due, days, kDays) > now)) ++days;
    if (days > kMostAmount) return {1, kDays, 1};
    return {static_cast<int>(days), kDays, 0};
}

}  // namespace qv
