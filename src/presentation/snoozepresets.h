#pragma once
// The alarm window's snooze presets: one click snoozes for 5, 10 or 30
// minutes or an hour from now, or until tomorrow at the alarm's own time.
// Each preset is a setting of the snooze row (amount, unit, counted from the
// alarm's moment or from now), so it snoozes and is remembered as the row does.

#include <QWidget>
#include <array>

#include "base/datetime.h"

class QPushButton;

namespace qv {

struct SnoozeChoice {
    int amount = 0;
    int unit = kMinutes;
    int addTo = 1;  // 0: from the alarm's moment, 1: from now
};

class SnoozePresets : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kCount = 5;
    static constexpr int kTomorrow = 4;

    explicit SnoozePresets(QWidget* parent = nullptr);

    // The snooze row's setting for preset `index`, for an alarm due at `due`
    // (`timed` false: a trial run, which has no moment of its own) at `now`.
    // "Tomorrow" is the alarm's time on the first day after its moment that
    // still lies ahead.
    static SnoozeChoice choice(int index, DateTime due, bool timed, DateTime now);

    QPushButton* button(int index) const { return buttons_[static_cast<std::size_t>(index)]; }
    // The height of one button: the row the window lays out.
    int rowHeight() const;

  signals:
    void chosen(int index);

  private:
    std::array<QPushButton*, kCount> buttons_{};
};

}  // namespace qv
