#pragma once
// The plug-ins window: the installed plug-ins by type, with their names,
// types and descriptions, the components that could not be loaded with the
// loader's reason, and the plug-ins' own settings, about and help windows.

#include <QDialog>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace qv {

class Program;

class frmPlugIns : public QDialog {
    Q_OBJECT
  public:
    explicit frmPlugIns(Program& program, QWidget* parent = nullptr);

    Q_INVOKABLE void translate();
    // Rebuilds the list for the chosen entry of the type box (0: all).
    void showType(int index);
    // Calls "ShowSettings", "ShowAbout" or "ShowHelp" on the selected plug-in.
    void callSelected(const char* method);
    const std::vector<std::string>& shown() const { return shown_; }

  private:
    Program& p_;
    std::vector<std::string> shown_;
    QComboBox* cmbPlugInTypes_;
    QTreeWidget* lstPlugIns_;
    QLabel* lblErrors_;
    QLabel* txtWebsite_;
    QString helpPage_;
    QListWidget* lstErrors_;
    QPushButton* cmdSettings_;
    QPushButton* cmdAbout_;
    QPushButton* cmdHelp_;
    QPushButton* cmdClose_;
};

}  // namespace qv
