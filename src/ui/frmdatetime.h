#pragma once
// The date and time picker: a month calendar, an analogue clock whose hands
// can be dragged, and six number boxes for year, month, day, hour, minute and
// second (each carries into the one before it when it wraps). Modal; the
// caller gets the moment only when the user pressed OK.

#include <QDialog>
#include <array>

#include "base/datetime.h"

class QCalendarWidget;
class QCheckBox;
class QLabel;
class QPushButton;

namespace qv {

class VNumberBox;
class modTranslation;
struct DateNames;
class ClockFace;

class frmDateTime : public QDialog {
    Q_OBJECT
  public:
    frmDateTime(const modTranslation& translation, const DateNames& names,
                QWidget* parent = nullptr);

    // Places the window near a screen point (the button that opened it), on the screen.
    void setLocation(int x, int y);
    // Shows `moment` and clears the OK flag.
    void setDate(DateTime moment);
    // With 24-hour times (false) the hour box says all and the AM/PM box is
    // not shown; dragging the hour hand keeps the half of the day.
    void setAmPm(bool on);
    bool getOk() const { return ok_; }
    DateTime getDate() const { return moment_; }
    void translate();

    // The whole round: placed near `near`, showing `moment`; true (and
    // `moment` changed) when the user confirmed.
    static bool pick(QWidget* parent, const modTranslation& translation, const DateNames& names,
                     const QPoint& near, DateTime& moment, bool amPm = true);

    VNumberBox* box(int index) const { return vnbDate_[static_cast<std::size_t>(index)]; }
    QCalendarWidget* calendar() const { return picCal_; }
    ClockFace* clock() const { return picClock_; }
    QCheckBox* pmBox() const { return chkPM_; }

    // Box indices: each box's neighbour below is the next larger unit.
    enum Part { kYear = 0, kMonth, kDay, kHour, kMinute, kSecond };

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void setMoment(DateTime moment);
    void showMoment();
    void readBoxes();
    void setTimePart(int part, int value);

    const modTranslation& translation_;
    const DateNames& names_;
    QCalendarWidget* picCal_;
    ClockFace* picClock_;
    std::array<VNumberBox*, 6> vnbDate_{};
    QCheckBox* chkPM_;
    QLabel* lblMonth_;
    QPushButton* cmdNow_;
    QPushButton* cmdOk_;
    QPushButton* cmdCancel_;
    QPushButton* cmdClose_;
    DateTime moment_;
    bool ok_ = false;
    bool showing_ = false;
};

// The analogue clock of the picker: shows a time of day, and lets the hour,
// minute or second hand be dragged (picked by how far from the centre the
// press is: up to half the radius the hour hand, up to 0.8 the minute hand,
// up to 0.95 the second hand).
class ClockFace : public QWidget {
    Q_OBJECT
  public:
    explicit ClockFace(QWidget* parent = nullptr);
    void setTime(int hour, int minute, int second);
    // 0 none, 1 hour, 2 minute, 3 second.
    int grabbedHand() const { return grabbed_; }
    QSize sizeHint() const override { return {150, 150}; }

  signals:
    // A dragged hand points at `value` (hours 0..11, minutes or seconds 0..59).
    void handMoved(int hand, int value);

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void moveHand(const QPointF& at);

    int hour_ = 0, minute_ = 0, second_ = 0;
    int grabbed_ = 0;
};

}  // namespace qv
