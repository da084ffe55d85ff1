#pragma once
// A one-line label that takes the width its layout gives it and ends its text
// with "…" where it does not fit, instead of widening its window to the
// text's full length. text() stays the whole text (a tool tip can show it).

#include <QLabel>

namespace qv {

class ElidedLabel : public QLabel {
  public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace qv
