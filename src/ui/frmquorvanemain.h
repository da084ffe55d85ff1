#pragma once
// The main window: the alarm groups, the alarms of the selected groups, the
// two see-alarms lists, the next alarm, the to-do text, and every command of
// the program in its menus.

#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <array>
#include <functional>
#include <vector>

#include "base/settingsvalues.h"
#include "model/alarm.h"
#include "model/alarmgroup.h"
#include "ui/alarmundo.h"
#include "xml/xmlnode.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace qv {

class PlugInMenus;
class QuorvaneCalendar;

class frmFind;

class Program;
class QtUserInterface;

class frmQuorvaneMain : public QMainWindow {
    Q_OBJECT
  public:
    frmQuorvaneMain(Program& program, QtUserInterface& ui, QWidget* parent = nullptr);
    ~frmQuorvaneMain() override;

    // Cut or copied alarms ("cb") and the group they were cut from.
    XMLNodePtr ClipboardAlarms;
    AlarmGroupPtr ClipboardParentAg;

    // The lists: 0 groups, 1 alarms, 2 and 3 see-alarms lists 0 and 1.
    enum ListId { kGroups = 0, kAlarms = 1, kSeeAlarms0 = 2, kSeeAlarms1 = 3 };

    void translate();
    void initializeLists();
    void showAlarmGroups();
    void showAlarms();
    void showSeeAlarms(int list);
    void showNextAlarm();
    // What could not be written, below the next alarm; hidden when empty.
    void showWriteProblem(const QString& text);
    QString writeProblemText() const;
    void showBlocked(bool blocked);
    void showFont(const QFont& font);
    void clearLists();
    void updateSelected();
    void updateSelectedAlarmGroups();
    void updateSelectedAlarms();
    void updateColumnsToReal(XMLNode& layouts);
    void fillSeeAlarmsControls();
    void toggleWindowVisibility();
    // The view of the right-hand pane: 0 the alarm list, 1 the alarm calendar.
    int view() const { return view_; }
    void setView(int view);
    // The calendar's occurrences listed anew, once the current event is done
    // (several reports of one change give one listing); while the calendar is
    // not shown it is only marked for listing when it is shown next.
    void showCalendars(int view = -1);
    QuorvaneCalendar* calendarView() const { return calview_; }
    // How often the calendar's occurrences were listed (for measurements).
    int calendarListings() const { return calendarListings_; }
    // The close-box rule: hidden when the tray icon can bring the window back,
    // minimised otherwise.
    void putAway();
    // Asks the exit question and, on Yes, runs the exit path.
    void askAndExit();

    // Placement in twips, the window state and visibility, the dividers.
    MainWindowSettings placement() const;
    void applyPlacement(const MainWindowSettings& mw);

    QString toDoText() const;
    void setToDoText(const QString& text);

    // ---- Commands (the menus call these) ----
    AlarmGroupPtr addNewAlarmGroup();
    // A new group whose dialog was cancelled: gone from the list and the folder.
    void discardNewAlarmGroup(const AlarmGroupPtr& g);
    void unloadAlarmGroups();
    void reloadAllAlarmGroups();
    void saveAll();
    // Groups from group files (".agx") or collections (".agc"); the number added.
    int importFiles(const QStringList& files);
    bool exportGroupToFile(const AlarmGroupPtr& group, const QString& path);
    bool exportCollection(const std::vector<AlarmGroupPtr>& groups, const QString& path);
    // The file name offered for a collection: "<name> yyyy-mm-dd.agc".
    QString suggestedCollectionName() const;
    void switchGroups(int how);  // 0 toggle, 1 on, 2 off
    void moveGroup(int delta);
    // A new alarm from the target group's template, made in the properties
    // dialog; null when the user cancelled.
    AlarmPtr addNewAlarm();
    // The properties dialog for the alarms given; true when they were changed.
    bool editAlarms(const std::vector<AlarmPtr>& alarms);
    // The group properties for the groups given, the settings dialog; true on OK.
    bool editGroups(const std::vector<AlarmGroupPtr>& groups);
    bool editSettings();
    // The alarm dialog in template mode, for the secondary, attention and group template alarms.
    std::function<bool(const AlarmPtr&)> templateEditor();
    // The find window (one, made when first asked for).
    frmFind* showFind();
    // The dialog, or the hook that stands in for it.
    bool runAlarmDialog(const std::vector<AlarmPtr>& alarms, int mode);
    void deleteAlarms(bool onlySounded, bool fromSeeAlarms = false);
    // The common deletion, after the question: takes the alarms out of their
    // groups, marks the groups changed and reports it.
    void removeAlarms(const std::vector<AlarmPtr>& alarms);
    void testAlarms(bool fromSeeAlarms = false);
    void switchAlarms(int how, bool fromSeeAlarms = false);  // 0 toggle, 1 on, 2 off
    void stopSnoozing(bool fromSeeAlarms = false);
    void moveAlarm(int delta);
    void cutAlarms();
    void copyAlarms();
    void pasteAlarms();
    // Ctrl+Z: undoes the last delete, cut or paste of this session.
    void undoLast();
    bool canUndo() const { return undo_.canUndo(); }
    void sortBy(int list, int field);

    // ---- What is shown (for the lists' own code and for tests) ----
    std::vector<AlarmGroupPtr> shownGroups() const { return shownGroups_; }
    std::vector<AlarmPtr> shownAlarms() const { return shownAlarms_; }
    std::vector<AlarmGroupPtr> selectedGroups() const;
    std::vector<AlarmPtr> selectedAlarms() const;
    std::vector<AlarmPtr> selectedSeeAlarms(int list) const;
    // The field shown in each column, in display order.
    std::vector<int> columnFields(int list) const;
    QTreeWidget* list(int id) const { return lists_[static_cast<std::size_t>(id)]; }
    QLabel* nextAlarmLabel() const { return lblNextAlarm_; }
    QPlainTextEdit* toDoBox() const { return txtToDo_; }
    QLineEdit* seeAlarmsAmount(int k) const { return txtSeeAlarms_[static_cast<std::size_t>(k)]; }
    QComboBox* seeAlarmsUnit(int k) const { return cmbSeeAlarms_[static_cast<std::size_t>(k)]; }
    QCheckBox* seeAlarmsShown(int k) const { return chkSeeAlarms_[static_cast<std::size_t>(k)]; }
    QSplitter* divider(int n) const { return dividers_[static_cast<std::size_t>(n - 1)]; }

    // Sort codes of the clicked column's field; 0 when the field does not sort.
    static int groupSortCode(int field);
    static int alarmSortCode(int field);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QPointer<frmFind> find_;
    void buildWidgets();
    void buildMenus();
    void updateMenus();
    void buildColumns(int list);
    QString columnCaption(int list, int field) const;
    // The width a column needs for its caption and for the words it may show
    // (states, dates in the current format) in the current language.
    int minimumColumnWidth(int list, int field) const;
    void widenColumns(int list);
    static QString cellText(const std::string& text, std::size_t shown = 1000);
    void fillRow(QTreeWidgetItem* item, const std::vector<std::string>& texts,
                 const std::vector<std::string>& colours, int list);
    std::vector<AlarmGroupPtr> sortedGroups() const;
    std::vector<AlarmPtr> sortedAlarms(const std::vector<AlarmGroupPtr>& groups) const;
    bool handleListKey(int list, QKeyEvent* event);
    void seeAlarmsAmountEdited(int k);
    void nameSeeAlarmsUnits(int k);
    void seeAlarmsChanged(int k);
    void rememberNormalGeometry();
    void rememberDividers();
    void applyDividers();
    double dpi() const;
    AlarmGroupPtr targetGroup() const;
    std::vector<AlarmPtr> commandAlarms(bool fromSeeAlarms) const;
    QString filters(std::initializer_list<int> numbers) const;
    // The program's own filters, then those of the file plug-ins.
    QString withPlugInFilters(const QString& own, bool import) const;
    void runHelp();
    void listCalendars();
    void calendarKey(int view, int key, int modifiers);

    Program& p_;
    QtUserInterface& ui_;
    std::array<QTreeWidget*, 4> lists_{};
    std::array<QCheckBox*, 2> chkSeeAlarms_{};
    std::array<QLineEdit*, 2> txtSeeAlarms_{};
    std::array<QComboBox*, 2> cmbSeeAlarms_{};
    std::array<QSplitter*, 4> dividers_{};
    QLabel* lblAlarmGroups_ = nullptr;
    QLabel* lblAlarms_ = nullptr;
    QLabel* lblNextAlarm_ = nullptr;
    QLabel* lblWriteProblem_ = nullptr;
    QPlainTextEdit* txtToDo_ = nullptr;
    std::array<std::vector<int>, 4> fields_;  // per list: the field of each logical column
    std::vector<AlarmGroupPtr> shownGroups_;
    std::vector<AlarmPtr> shownAlarms_;
    bool filling_ = false;
    bool settingToDo_ = false;
    QString lastNextAlarmText_;
    std::array<int, 4> dv_{337, 206, 155, 463};
    // The normal window's geometry and the twips it came from, so unchanged
    // values go back to the file exactly as they were read.
    QRect normalRect_;
    QRect appliedRect_;
    std::array<float, 4> appliedTwips_{600, 400, 11385, 8445};
    std::int16_t view_ = 0;
    QStackedWidget* rightPane_ = nullptr;
    QuorvaneCalendar* calview_ = nullptr;
    std::array<QAction*, 2> mnuWindowViewB_{};
    // Views whose occurrences are to be listed (bit 0 upper, bit 1 lower).
    int calendarsDue_ = 3;
    bool calendarListingPosted_ = false;
    int calendarListings_ = 0;

    QMenu* mnuAg_ = nullptr;
    QMenu* mnuAl_ = nullptr;
    QMenu* mnuGeneral_ = nullptr;
    QMenu* mnuWindow_ = nullptr;
    QMenu* mnuHelp_ = nullptr;
    QMenu* mnuSA_ = nullptr;
    QAction* mnuGeneralBlocked_ = nullptr;
    QAction* mnuGeneralStopSounds_ = nullptr;
    QAction* mnuWindowShowAC_ = nullptr;
    QAction* mnuHelpAutoCheckVersion_ = nullptr;
    QAction* mnuAlTest_ = nullptr;
    QAction* mnuSATest_ = nullptr;
    QAction* mnuAlPaste_ = nullptr;
    QAction* mnuAlUndo_ = nullptr;
    AlarmUndo undo_;
    void rememberRemoval(const std::vector<AlarmPtr>& alarms);
    void rememberPaste(const std::vector<AlarmPtr>& alarms);
    PlugInMenus* plugInMenus_ = nullptr;
    int contextSeeAlarms_ = 0;
};

}  // namespace qv
