#pragma once
// The program's own number entry: a text field `txt` for a 32-bit integer with
// a spinner `picSpinner` at its right edge. Up and Down and the spinner step by
// StepSize; with Wrap, stepping past a bound goes on at the other bound and
// says so through wrapped(), which the date picker uses to carry into the
// neighbouring field. Typing does not clamp while the field is being edited; a
// number outside the bounds left when editing is finished (a paste) is brought
// back within them, and a sign is refused where no negative number is allowed.

#include <QWidget>
#include <cstdint>

class QLineEdit;
class QRegularExpressionValidator;
class QTimer;

namespace qv {

class VNumberBox : public QWidget {
    Q_OBJECT
  public:
    explicit VNumberBox(QWidget* parent = nullptr);

    // The number the text reads as; 0 for a text that is no number.
    std::int32_t value() const;
    // Clamped to the bounds, or wrapped round them with Wrap (a wider type, so
    // a step past the 32-bit range is still a step past the bound).
    void setValue(std::int64_t value);

    std::int32_t minValue() const { return min_; }
    void setMinValue(std::int32_t v);
    std::int32_t maxValue() const { return max_; }
    void setMaxValue(std::int32_t v);
    std::int32_t stepSize() const { return step_; }
    void setStepSize(std::int32_t v) { step_ = v; }
    bool showSpinner() const { return showSpinner_; }
    void setShowSpinner(bool show);
    bool wrap() const { return wrap_; }
    void setWrap(bool wrap) { wrap_ = wrap; }

    // Adds `steps` times the step size; the text is then selected.
    void crement(std::int16_t steps);

    QLineEdit* textField() const { return txt_; }
    QWidget* spinner() const { return picSpinner_; }

  signals:
    // Every change of the text (typed or set).
    void changed();
    // -1 when the value went below the minimum and wrapped to the maximum,
    // +1 when it went above the maximum and wrapped to the minimum.
    void wrapped(int direction);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void onTextEdited();
    void clampText();
    void spinnerPressed(int y, bool repeatLast);
    void stopStepping();

    QLineEdit* txt_;
    QRegularExpressionValidator* validator_ = nullptr;
    QWidget* picSpinner_;
    QTimer* repeat_;
    std::int32_t min_ = INT32_MIN;
    std::int32_t max_ = INT32_MAX;
    std::int32_t step_ = 1;
    bool showSpinner_ = true;
    bool wrap_ = false;
    int lastStep_ = 0;
};

}  // namespace qv
