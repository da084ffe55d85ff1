#pragma once
// Asks for the language and the date and time formats when the program starts
// without settings or without its language file.

#include <QDialog>
#include <string>
#include <vector>

#include "base/settingsvalues.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace qv {

class Program;

class frmFirstTimeSettings : public QDialog {
    Q_OBJECT
  public:
    explicit frmFirstTimeSettings(Program& program, QWidget* parent = nullptr);

    void translate();
    // False when no language file was found.
    bool hasLanguages() const { return !languages_.empty(); }
    // The language that would be taken now ("" when none).
    std::string chosenLanguage() const;
    // Writes "lng", "da", "ti" and the four display formats into `s`.
    void applyTo(SettingsValues& s) const;

    // The four display formats of a date order (0 d/m/y, 1 m/d/y, 2 y/m/d,
    // 3 y/d/m) and time format (1 = AM/PM).
    static DisplayFormats formatsFor(int dateOrder, int timeFormat);
    // The language to preselect: the one whose "msid" is `systemId`, else
    // "English", else the first; -1 when the list is empty.
    static int preselect(const std::vector<std::string>& names, const std::vector<int>& msids,
                         int systemId);

  private:
    void languageChosen(int index);

    Program& p_;
    std::vector<std::string> languages_;
    QComboBox* cmbLanguage_ = nullptr;
    QComboBox* cmbDateFormat_ = nullptr;
    QComboBox* cmbTimeFormat_ = nullptr;
    QLabel* lblExplanation_ = nullptr;
    QPushButton* cmdOk_ = nullptr;
};

}  // namespace qv
