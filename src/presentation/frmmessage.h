#pragma once
// A plain message window: one label and OK.

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

namespace qv {

class Program;

class frmMessage : public QWidget {
    Q_OBJECT
  public:
    explicit frmMessage(Program& program, QWidget* parent = nullptr);

    // Title: the window's text `titleNumber`, " - " and the program's title.
    void showMessage(const QString& text, int titleNumber);
    QString getMessage() const;
    void translate();

    QLabel* lblMessage = nullptr;
    QPushButton* cmdOk = nullptr;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    Program& p_;
};

}  // namespace qv
