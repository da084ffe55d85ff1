#pragma once
// The program's grid: a table of cells, each with an optional header entry, a
// list of coloured text entries and coloured interval bars marking parts of
// the cell. It paints itself in one widget, scrolls over grids larger than the
// shown part, lets the user select a cell and an entry in it with mouse and
// keyboard, shows the tooltip of the entry under the pointer and exports
// itself as HTML. It knows nothing of what the entries stand for.
//
// Colours are kept in the stored form: red in the low byte, then green, then
// blue; 0x800000nn is the desktop's system colour nn (taken from the palette).

#include <QString>
#include <QVariantMap>
#include <QWidget>
#include <cstdint>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

class QScrollBar;

namespace qv {

// What the caller keeps behind an entry; the grid asks it for the tooltip.
class VGridObject {
  public:
    virtual ~VGridObject();
    virtual QString getToolTip() const;
    // The text of an entry that leaves it to its object (an entry whose text is null).
    virtual QString getText() const;
};

struct VGridCellEntry {
    QString Key;
    QString text;
    std::int32_t Color = 0;
    std::shared_ptr<VGridObject> obj;
    // What is shown: the entry's text, or its object's when the entry has none.
    // (A calendar leaves its thousands of entries' texts to be made when drawn.)
    QString shownText() const { return text.isNull() && obj ? obj->getText() : text; }
};

struct VGridCellInterval {
    float IntStart = 0;
    float IntEnd = 0;
    std::int32_t IntColor = 0;
};

class VGridCell {
  public:
    // -1: the grid's BackColor.
    std::int32_t BackColor = -1;
    bool Selectable = true;

    int NumberOfEntries() const { return static_cast<int>(entries_.size()); }
    const VGridCellEntry& Entry(int i) const { return *entries_.at(static_cast<size_t>(i)); }
    const VGridCellEntry* HeaderEntry() const { return header_.get(); }
    int NumberOfIntervals() const { return static_cast<int>(intervals_.size()); }
    const VGridCellInterval& Interval(int i) const { return intervals_.at(static_cast<size_t>(i)); }

    void addEntry(VGridCellEntry entry) {
        owned_.push_back(std::move(entry));
        entries_.push_back(&owned_.back());
    }
    // An entry the caller keeps, unchanged and in place, until the cell's
    // entries are cleared (a calendar shows one entry in several cells).
    void addEntryRef(const VGridCellEntry& entry) { entries_.push_back(&entry); }
    void addNewEntry(const QString& key, const QString& text, std::int32_t color,
                     std::shared_ptr<VGridObject> obj = nullptr);
    void setHeader(const QString& key, const QString& text, std::int32_t color,
                   std::shared_ptr<VGridObject> obj = nullptr);
    void clearHeader() { header_.reset(); }
    void addInterval(VGridCellInterval interval) { intervals_.push_back(interval); }
    void addNewInterval(float start, float end, std::int32_t color);
    // Room for n entries and intervals.
    void reserve(int n) {
        entries_.reserve(static_cast<size_t>(n));
        intervals_.reserve(static_cast<size_t>(n));
    }
    // Entries the cell stands for but does not hold (a calendar lists only what
    // a cell can show); with the grid's overflow mark they count into "+N".
    std::int64_t HiddenCount() const { return hidden_; }
    void setHiddenCount(std::int64_t n) { hidden_ = n < 0 ? 0 : n; }
    // Entries, header and intervals gone; colour and selectability kept.
    void clearContents();
    // Entries and intervals gone; the header stays.
    void clearEntries();

  private:
    std::vector<const VGridCellEntry*> entries_;
    std::deque<VGridCellEntry> owned_;  // the entries added by value
    std::unique_ptr<VGridCellEntry> header_;
    std::vector<VGridCellInterval> intervals_;
    std::int64_t hidden_ = 0;
};

class VGrid : public QWidget {
    Q_OBJECT
  public:
    explicit VGrid(QWidget* parent = nullptr);
    ~VGrid() override;

    // The stored colour form as a QColor (system colours from the palette).
    QColor toQColor(std::int32_t stored) const;

    // Size. Values of 0 or less are refused (false) and the size stays.
    int NrOfCols() const { return cols_; }
    int NrOfRows() const { return rows_; }
    bool setNrOfCols(int n);
    bool setNrOfRows(int n);
    int NrOfColsShown() const { return colsShown_; }
    int NrOfRowsShown() const { return rowsShown_; }
    void setNrOfColsShown(int n);
    void setNrOfRowsShown(int n);
    bool LockShownGridSize() const { return lockShownGridSize_; }
    void setLockShownGridSize(bool on) { lockShownGridSize_ = on; }

    double TopHeaderHeight() const { return topHeaderHeight_; }
    double LeftHeaderWidth() const { return leftHeaderWidth_; }
    void setTopHeaderHeight(double h);
    void setLeftHeaderWidth(double w);

    int ColOffset() const { return colOffset_; }
    int RowOffset() const { return rowOffset_; }
    void setColOffset(int n);
    void setRowOffset(int n);

    bool LockRefresh() const { return lockRefresh_; }
    void setLockRefresh(bool on);

    // Appearance; each repaints.
    std::int32_t BackColor() const { return backColor_; }
    void setBackColor(std::int32_t c) { backColor_ = c, update(); }
    std::int32_t ForeColor() const { return foreColor_; }
    void setForeColor(std::int32_t c) { foreColor_ = c, update(); }
    std::int32_t GridLineColor() const { return gridLineColor_; }
    void setGridLineColor(std::int32_t c) { gridLineColor_ = c, update(); }
    std::int32_t HeaderBackColor() const { return headerBackColor_; }
    void setHeaderBackColor(std::int32_t c) { headerBackColor_ = c, update(); }
    std::int32_t HeaderForeColor() const { return headerForeColor_; }
    void setHeaderForeColor(std::int32_t c) { headerForeColor_ = c, update(); }
    std::int32_t HeaderLineColor() const { return headerLineColor_; }
    void setHeaderLineColor(std::int32_t c) { headerLineColor_ = c, update(); }
    int BorderStyle() const { return borderStyle_; }
    void setBorderStyle(int s);
    int CellFillMode() const { return cellFillMode_; }
    void setCellFillMode(int m) { cellFillMode_ = m, update(); }
    // 0 left, 1 right, 2 centred.
    int CellHeaderAlignment() const { return cellHeaderAlignment_; }
    void setCellHeaderAlignment(int a) { cellHeaderAlignment_ = a, update(); }
    int CellMargin() const { return cellMargin_; }
    void setCellMargin(int m) { cellMargin_ = m < 0 ? 0 : m, update(); }
    int Effect() const { return effect_; }
    void setEffect(int e) { effect_ = e, update(); }
    int HeaderStyle() const { return headerStyle_; }
    void setHeaderStyle(int s) { headerStyle_ = s, update(); }
    bool HeaderSelectable() const { return headerSelectable_; }
    void setHeaderSelectable(bool on) { headerSelectable_ = on; }
    bool HorizontalWrap() const { return horizontalWrap_; }
    void setHorizontalWrap(bool on) { horizontalWrap_ = on; }
    int HorizontalWrapIncrement() const { return horizontalWrapIncrement_; }
    void setHorizontalWrapIncrement(int n) { horizontalWrapIncrement_ = n; }
    bool VerticalWrap() const { return verticalWrap_; }
    void setVerticalWrap(bool on) { verticalWrap_ = on; }
    int VerticalWrapIncrement() const { return verticalWrapIncrement_; }
    void setVerticalWrapIncrement(int n) { verticalWrapIncrement_ = n; }
    int IntervalBarBreadth() const { return intervalBarBreadth_; }
    void setIntervalBarBreadth(int b) { intervalBarBreadth_ = b < 0 ? 0 : b, update(); }
    bool IntervalBarVertical() const { return intervalBarVertical_; }
    void setIntervalBarVertical(bool on) { intervalBarVertical_ = on, update(); }
    bool LeftHeaderVertical() const { return leftHeaderVertical_; }
    void setLeftHeaderVertical(bool on) { leftHeaderVertical_ = on, update(); }
    // The text lines (a cell header line and entry lines) a data row is at
    // least high, with the cell margins and a bar along its bottom edge; when
    // the rows asked for do not fit that way, fewer are shown and the scroll
    // bar reaches the rest.
    int MinimumCellLines() const { return minimumCellLines_; }
    void setMinimumCellLines(int n);
    // The height of a text line in a cell: the font's line and a little room.
    int lineHeight() const;

    // The persisted properties under their stored names; missing ones keep
    // their defaults.
    QVariantMap saveProperties() const;
    void loadProperties(const QVariantMap& props);

    // Null outside the grid.
    VGridCell* cell(int col, int row);
    const VGridCell* cell(int col, int row) const;
    // Every cell emptied (the size stays); the selection goes to the first data cell.
    void clearCells();
    // Every cell's entries and intervals gone, the headers kept.
    void clearCellEntries();

    void addEntry(int col, int row, const QString& text, const QString& key, std::int32_t color,
                  std::shared_ptr<VGridObject> obj = nullptr);
    void setHeader(int col, int row, const QString& text, std::int32_t color);

    int SelectedCol() const { return selCol_; }
    int SelectedRow() const { return selRow_; }
    int SelectedIndex() const { return selIndex_; }
    VGridCell* getSelectedCell();
    const VGridCellEntry* getSelectedCellEntry() const;
    bool isCellSelected() const;
    bool isEntrySelected() const;
    // Selects a cell (with wrapping); a target outside the grid, not
    // selectable or in a header while headers are not selectable is ignored.
    void select(int col, int row, int index);

    // The grid as one HTML page; every text is escaped.
    QString toHtml() const;

    // Where things are, for the mouse and for tests: the rectangle of a cell
    // in view (empty when scrolled out), and the cell and entry line at a point
    // (false when none; index -1 when no entry line is hit).
    QRect cellRect(int col, int row) const;
    // The part of the cell's entry line `index` that is shown (empty when it
    // is not drawn).
    QRect entryRect(int col, int row, int index) const;
    bool cellAt(const QPoint& pos, int* col, int* row, int* index) const;
    QScrollBar* horizontalScrollBar() const { return hsc_; }
    QScrollBar* verticalScrollBar() const { return vsc_; }
    QScrollBar* selectedCellScrollBar() const { return vscSel_; }
    // First entry drawn in the selected cell.
    int selectedCellScroll() const { return selScroll_; }
    // Entry lines that fit in a cell.
    int entriesShown() const;
    // Data rows in view now: as many as asked for, fewer when they would be
    // lower than MinimumCellLines allows.
    int rowsInView() const { return geometry().rows; }

    // With the overflow mark a cell whose entries (held and hidden) do not fit
    // shows as many as fit but one, then a line "+N" for the others, instead
    // of a scroll bar in the selected cell. Its tooltip is OverflowToolTip
    // with %1 replaced by N; a double click on it reports OverflowDblClick.
    bool OverflowMark() const { return overflowMark_; }
    void setOverflowMark(bool on);
    const QString& OverflowToolTip() const { return overflowToolTip_; }
    void setOverflowToolTip(const QString& t) { overflowToolTip_ = t; }
    // The entries of a cell drawn without scrolling, and the number the "+N"
    // line shows (0: none).
    int entriesDrawn(int col, int row) const;
    std::int64_t overflowCount(int col, int row) const;
    // The rectangle of a cell's "+N" mark, at the end of its last entry line
    // (empty when it has none in view).
    QRect overflowRect(int col, int row) const;
    // The most entry lines a data cell of the present size shows (a cell
    // without a caption line).
    int cellCapacity() const;

    // Number of cells painted by the last paint (for measurements).
    int lastPaintedCells() const { return paintedCells_; }

  signals:
    void Click();
    void DblClick();
    void CellClick(int col, int row, int index);
    void SelectionChange(int col, int row, int index);
    void OverflowDblClick(int col, int row);

  protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

  private:
    // Entries drawn and the "+N" count of a cell at its present size.
    std::pair<int, std::int64_t> cellLines(int col, int row) const;
    struct Geometry {
        QRect area;
        double colW = 0, rowH = 0;
        int hdrCols = 0, hdrRows = 0;
        // The rows shown now: as many as asked for, but never lower than
        // their minimum lines of text; the scroll bar reaches the rest.
        int rows = 1;
        bool hscShown = false, vscShown = false;
    };
    Geometry geometry() const;
    void layoutScrollBars();
    void redim(int cols, int rows);
    int firstDataCol() const;
    int firstDataRow() const;
    int headerRows() const { return topHeaderHeight_ > 0 ? 1 : 0; }
    int headerCols() const { return leftHeaderWidth_ > 0 ? 1 : 0; }
    void scrollIntoView(int col, int row);
    void scrollSelectedEntryIntoView();
    void drawCell(QPainter& p, int col, int row, const QRect& r, bool header);
    void refresh();

    std::vector<std::unique_ptr<VGridCell>> cells_;  // column-major: col * rows_ + row
    int cols_ = 1, rows_ = 1, colsShown_ = 1, rowsShown_ = 1;
    bool lockShownGridSize_ = true;
    double topHeaderHeight_ = 0, leftHeaderWidth_ = 0;
    int colOffset_ = 0, rowOffset_ = 0;
    bool lockRefresh_ = false;
    bool painting_ = false;

    std::int32_t backColor_ = static_cast<std::int32_t>(0x8000000F);
    std::int32_t foreColor_ = static_cast<std::int32_t>(0x80000012);
    std::int32_t gridLineColor_ = static_cast<std::int32_t>(0x80000012);
    std::int32_t headerBackColor_ = static_cast<std::int32_t>(0x8000000F);
    std::int32_t headerForeColor_ = static_cast<std::int32_t>(0x80000012);
    std::int32_t headerLineColor_ = static_cast<std::int32_t>(0x80000012);
    int borderStyle_ = 1;
    int cellFillMode_ = 0;
    int cellHeaderAlignment_ = 1;
    int cellMargin_ = 2;
    int effect_ = 0;
    int headerStyle_ = 0;
    bool headerSelectable_ = false;
    bool horizontalWrap_ = false;
    int horizontalWrapIncrement_ = 0;
    bool verticalWrap_ = false;
    int verticalWrapIncrement_ = 0;
    int intervalBarBreadth_ = 0;
    bool intervalBarVertical_ = false;
    bool leftHeaderVertical_ = false;
    int minimumCellLines_ = 1;
    bool overflowMark_ = false;
    QString overflowToolTip_;

    int selCol_ = -1, selRow_ = -1, selIndex_ = 0;
    int selScroll_ = 0;
    int paintedCells_ = 0;

    QScrollBar* hsc_;
    QScrollBar* vsc_;
    QScrollBar* vscSel_;
};

}  // namespace qv
