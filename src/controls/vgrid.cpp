#include "controls/vgrid.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTextDocument>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <optional>

namespace qv {

VGridObject::~VGridObject() = default;
QString VGridObject::getToolTip() const { return {}; }
QString VGridObject::getText() const { return {}; }

void VGridCell::addNewEntry(const QString& key, const QString& text, std::int32_t color,
                            std::shared_ptr<VGridObject> obj) {
    addEntry(VGridCellEntry{key, text, color, std::move(obj)});
}

void VGridCell::setHeader(const QString& key, const QString& text, std::int32_t color,
                          std::shared_ptr<VGridObject> obj) {
    header_ = std::make_unique<VGridCellEntry>(VGridCellEntry{key, text, color, std::move(obj)});
}

void VGridCell::addNewInterval(float start, float end, std::int32_t color) {
    intervals_.push_back(VGridCellInterval{start, end, color});
}

void VGridCell::clearContents() {
    clearEntries();
    header_.reset();
}

void VGridCell::clearEntries() {
    entries_.clear();
    owned_.clear();
    intervals_.clear();
    hidden_ = 0;
}

namespace {

bool isSystem(std::int32_t c) { return c < -1 && (static_cast<std::uint32_t>(c) & 0x80000000u); }

// Writes a colour as "#RRGGBB".
QString htmlColour(const QColor& c) {
    return QStringLiteral("#%1%2%3")
        .arg(c.red(), 2, 16, QLatin1Char('0'))
        .arg(c.green(), 2, 16, QLatin1Char('0'))
        .arg(c.blue(), 2, 16, QLatin1Char('0'))
        .toUpper();
}

}  // namespace

VGrid::VGrid(QWidget* parent)
    : QWidget(parent),
      hsc_(new QScrollBar(Qt::Horizontal, this)),
      vsc_(new QScrollBar(Qt::Vertical, this)),
      vscSel_(new QScrollBar(Qt::Vertical, this)) {
    hsc_->setObjectName(QStringLiteral("hsc"));
    vsc_->setObjectName(QStringLiteral("vsc"));
    vscSel_->setObjectName(QStringLiteral("vscSel"));
    hsc_->hide();
    vsc_->hide();
    vscSel_->hide();
    for (QScrollBar* s : {hsc_, vsc_, vscSel_}) s->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    cells_.push_back(std::make_unique<VGridCell>());
    connect(hsc_, &QScrollBar::valueChanged, this, [this](int v) {
        if (v == colOffset_) return;
        colOffset_ = v;
        refresh();
    });
    connect(vsc_, &QScrollBar::valueChanged, this, [this](int v) {
        if (v == rowOffset_) return;
        rowOffset_ = v;
        refresh();
    });
    connect(vscSel_, &QScrollBar::valueChanged, this, [this](int v) {
        selScroll_ = v;
        update(cellRect(selCol_, selRow_));
    });
}

VGrid::~VGrid() = default;

QColor VGrid::toQColor(std::int32_t stored) const {
    if (isSystem(stored)) {
        const QPalette& pal = palette();
        switch (static_cast<std::uint32_t>(stored) & 0xFFu) {
            case 5:
                return pal.color(QPalette::Base);
            case 8:
                return pal.color(QPalette::Text);
            case 13:
                return pal.color(QPalette::Highlight);
            case 14:
                return pal.color(QPalette::HighlightedText);
            case 15:
                return pal.color(QPalette::Button);
            case 18:
                return pal.color(QPalette::ButtonText);
            case 6:
                return pal.color(QPalette::Mid);
            default:
                return pal.color(QPalette::WindowText);
        }
    }
    const auto v = static_cast<std::uint32_t>(stored);
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                  static_cast<int>((v >> 16) & 0xFF));
}

// ---------------------------------------------------------------- size

void VGrid::redim(int cols, int rows) {
    std::vector<std::unique_ptr<VGridCell>> next(static_cast<size_t>(cols) * rows);
    for (int c = 0; c < cols; ++c)
        for (int r = 0; r < rows; ++r) {
            auto& slot = next[static_cast<size_t>(c) * rows + r];
            if (c < cols_ && r < rows_)
                slot = std::move(cells_[static_cast<size_t>(c) * rows_ + r]);
            if (!slot) slot = std::make_unique<VGridCell>();
        }
    cells_ = std::move(next);
    cols_ = cols;
    rows_ = rows;
    if (selCol_ >= cols_ || selRow_ >= rows_) selCol_ = selRow_ = -1, selIndex_ = 0;
}

bool VGrid::setNrOfCols(int n) {
    if (n <= 0) return false;
    redim(n, rows_);
    if (lockShownGridSize_) colsShown_ = std::max(1, n - headerCols());
    if (n > colsShown_ + headerCols()) colsShown_ = n - headerCols();
    refresh();
    return true;
}

bool VGrid::setNrOfRows(int n) {
    if (n <= 0) return false;
    redim(cols_, n);
    if (lockShownGridSize_) rowsShown_ = std::max(1, n - headerRows());
    if (n > rowsShown_ + headerRows()) rowsShown_ = n - headerRows();
    refresh();
    return true;
}

void VGrid::setNrOfColsShown(int n) {
    colsShown_ = std::max(1, n);
    refresh();
}

void VGrid::setNrOfRowsShown(int n) {
    rowsShown_ = std::max(1, n);
    refresh();
}

void VGrid::setTopHeaderHeight(double h) {
    topHeaderHeight_ = std::max(0.0, h);
    refresh();
}

void VGrid::setLeftHeaderWidth(double w) {
    leftHeaderWidth_ = std::max(0.0, w);
    refresh();
}

void VGrid::setColOffset(int n) {
    colOffset_ = std::max(0, n);
    refresh();
}

void VGrid::setRowOffset(int n) {
    rowOffset_ = std::max(0, n);
    refresh();
}

void VGrid::setLockRefresh(bool on) {
    lockRefresh_ = on;
    if (!on) refresh();
}

void VGrid::setMinimumCellLines(int n) {
    minimumCellLines_ = std::clamp(n, 1, 100);
    refresh();
}

int VGrid::lineHeight() const { return fontMetrics().height() + 2; }

void VGrid::setBorderStyle(int s) {
    borderStyle_ = s;
    refresh();
}

VGridCell* VGrid::cell(int col, int row) {
    if (col < 0 || row < 0 || col >= cols_ || row >= rows_) return nullptr;
    return cells_[static_cast<size_t>(col) * rows_ + row].get();
}

const VGridCell* VGrid::cell(int col, int row) const {
    return const_cast<VGrid*>(this)->cell(col, row);
}

void VGrid::clearCells() {
    for (auto& c : cells_) c->clearContents();
    selIndex_ = 0;
    selScroll_ = 0;
    refresh();
}

void VGrid::clearCellEntries() {
    for (auto& c : cells_) c->clearEntries();
    selIndex_ = 0;
    selScroll_ = 0;
    refresh();
}

void VGrid::addEntry(int col, int row, const QString& text, const QString& key, std::int32_t color,
                     std::shared_ptr<VGridObject> obj) {
    if (VGridCell* c = cell(col, row)) {
        c->addNewEntry(key, text, color, std::move(obj));
        if (col == selCol_ && row == selRow_)
            refresh();
        else if (!lockRefresh_)
            update(cellRect(col, row));
    }
}

void VGrid::setHeader(int col, int row, const QString& text, std::int32_t color) {
    if (VGridCell* c = cell(col, row)) {
        c->setHeader(QString(), text, color);
        if (!lockRefresh_) update(cellRect(col, row));
    }
}

// ---------------------------------------------------------------- properties

QVariantMap VGrid::saveProperties() const {
    return {
        {QStringLiteral("BackColor"), backColor_},
        {QStringLiteral("BorderStyle"), borderStyle_},
        {QStringLiteral("CellFillMode"), cellFillMode_},
        {QStringLiteral("CellHeaderAlignment"), cellHeaderAlignment_},
        {QStringLiteral("CellMargin"), cellMargin_},
        {QStringLiteral("ColOffset"), colOffset_},
        {QStringLiteral("RowOffset"), rowOffset_},
        {QStringLiteral("Effect"), effect_},
        {QStringLiteral("ForeColor"), foreColor_},
        {QStringLiteral("GridLineColor"), gridLineColor_},
        {QStringLiteral("HeaderBackColor"), headerBackColor_},
        {QStringLiteral("HeaderForeColor"), headerForeColor_},
        {QStringLiteral("HeaderLineColor"), headerLineColor_},
        {QStringLiteral("HeaderSelectable"), headerSelectable_},
        {QStringLiteral("HeaderStyle"), headerStyle_},
        {QStringLiteral("HorizontalWrap"), horizontalWrap_},
        {QStringLiteral("HorizontalWrapIncrement"), horizontalWrapIncrement_},
        {QStringLiteral("IntervalBarBreadth"), intervalBarBreadth_},
        {QStringLiteral("IntervalBarVertical"), intervalBarVertical_},
        {QStringLiteral("LeftHeaderVertical"), leftHeaderVertical_},
        {QStringLiteral("LockShownGridSize"), lockShownGridSize_},
        {QStringLiteral("NrOfCols"), cols_},
        {QStringLiteral("NrOfRows"), rows_},
        {QStringLiteral("VerticalWrap"), verticalWrap_},
        {QStringLiteral("VerticalWrapIncrement"), verticalWrapIncrement_},
    };
}

void VGrid::loadProperties(const QVariantMap& props) {
    auto integer = [&](const char* name, int& field) {
        auto it = props.find(QLatin1String(name));
        if (it != props.end()) {
            bool ok = false;
            const int v = it->toInt(&ok);
            if (ok) field = v;
        }
    };
    auto boolean = [&](const char* name, bool& field) {
        auto it = props.find(QLatin1String(name));
        if (it != props.end()) field = it->toBool();
    };
    const bool wasLocked = lockRefresh_;
    lockRefresh_ = true;
    integer("BackColor", backColor_);
    integer("BorderStyle", borderStyle_);
    integer("CellFillMode", cellFillMode_);
    integer("CellHeaderAlignment", cellHeaderAlignment_);
    integer("CellMargin", cellMargin_);
    integer("ColOffset", colOffset_);
    integer("RowOffset", rowOffset_);
    integer("Effect", effect_);
    integer("ForeColor", foreColor_);
    integer("GridLineColor", gridLineColor_);
    integer("HeaderBackColor", headerBackColor_);
    integer("HeaderForeColor", headerForeColor_);
    integer("HeaderLineColor", headerLineColor_);
    boolean("HeaderSelectable", headerSelectable_);
    integer("HeaderStyle", headerStyle_);
    boolean("HorizontalWrap", horizontalWrap_);
    integer("HorizontalWrapIncrement", horizontalWrapIncrement_);
    integer("IntervalBarBreadth", intervalBarBreadth_);
    boolean("IntervalBarVertical", intervalBarVertical_);
    boolean("LeftHeaderVertical", leftHeaderVertical_);
    boolean("LockShownGridSize", lockShownGridSize_);
    int cols = cols_, rows = rows_;
    integer("NrOfCols", cols);
    integer("NrOfRows", rows);
    boolean("VerticalWrap", verticalWrap_);
    integer("VerticalWrapIncrement", verticalWrapIncrement_);
    colOffset_ = std::max(0, colOffset_);
    rowOffset_ = std::max(0, rowOffset_);
    if (cols > 0) setNrOfCols(cols);
    if (rows > 0) setNrOfRows(rows);
    lockRefresh_ = wasLocked;
    refresh();
}

// ---------------------------------------------------------------- geometry

VGrid::Geometry VGrid::geometry() const {
    Geometry g;
    const int border = borderStyle_ == 1 ? 1 : 0;
    g.area = rect().adjusted(border, border, -border, -border);
    g.hdrCols = headerCols();
    g.hdrRows = headerRows();
    g.hscShown = colsShown_ < cols_ - g.hdrCols;
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    if (g.hscShown) g.area.setBottom(g.area.bottom() - extent);
    const int bar = intervalBarVertical_ ? 0 : intervalBarBreadth_;
    const int minRowH = 2 * cellMargin_ + minimumCellLines_ * lineHeight() + bar;
    g.rows =
        std::clamp(static_cast<int>((g.area.height() - topHeaderHeight_) / minRowH), 1, rowsShown_);
    g.vscShown = g.rows < rows_ - g.hdrRows;
    if (g.vscShown) g.area.setRight(g.area.right() - extent);
    g.colW = std::max(1.0, (g.area.width() - leftHeaderWidth_) / colsShown_);
    g.rowH = std::max(1.0, (g.area.height() - topHeaderHeight_) / g.rows);
    return g;
}

QRect VGrid::cellRect(int col, int row) const {
    if (col < 0 || row < 0 || col >= cols_ || row >= rows_) return {};
    const Geometry g = geometry();
    double x0, x1, y0, y1;
    if (col < g.hdrCols) {
        x0 = g.area.left();
        x1 = x0 + leftHeaderWidth_;
    } else {
        const int k = col - g.hdrCols - colOffset_;
        if (k < 0 || k >= colsShown_) return {};
        x0 = g.area.left() + leftHeaderWidth_ + k * g.colW;
        x1 = x0 + g.colW;
    }
    if (row < g.hdrRows) {
        y0 = g.area.top();
        y1 = y0 + topHeaderHeight_;
    } else {
        const int k = row - g.hdrRows - rowOffset_;
        if (k < 0 || k >= g.rows) return {};
        y0 = g.area.top() + topHeaderHeight_ + k * g.rowH;
        y1 = y0 + g.rowH;
    }
    return QRect(
        QPoint(static_cast<int>(std::lround(x0)), static_cast<int>(std::lround(y0))),
        QPoint(static_cast<int>(std::lround(x1)) - 1, static_cast<int>(std::lround(y1)) - 1));
}

namespace {

struct CellLayout {
    QRect text;  // the area the header line and the entries are written in
    int lineHeight = 1;
    int entriesTop = 0;
    int fit = 1;  // entry lines that fit
};

}  // namespace

// A header line only when the header has text (a calendar's cells keep their
// period in a header without a caption).
static bool hasHeaderLine(const VGridCell* c) {
    return c && c->HeaderEntry() && !c->HeaderEntry()->text.isEmpty();
}

static CellLayout layoutCell(const QRect& r, int margin, int barBreadth, bool barVertical,
                             bool hasHeader, int lineHeight) {
    CellLayout l;
    l.lineHeight = std::max(1, lineHeight);
    l.text = r.adjusted(margin, margin, -margin, -margin);
    if (barBreadth > 0) {
        if (barVertical)
            l.text.setLeft(l.text.left() + barBreadth);
        else
            l.text.setBottom(l.text.bottom() - barBreadth);
    }
    l.entriesTop = l.text.top() + (hasHeader ? l.lineHeight : 0);
    l.fit = std::max(1, (l.text.bottom() + 1 - l.entriesTop) / l.lineHeight);
    return l;
}

int VGrid::entriesShown() const {
    QRect r = cellRect(selCol_, selRow_);
    if (r.isEmpty()) {
        const Geometry g = geometry();
        r = QRect(0, 0, static_cast<int>(g.colW), static_cast<int>(g.rowH));
    }
    const VGridCell* c = cell(selCol_, selRow_);
    return layoutCell(r, cellMargin_, intervalBarBreadth_, intervalBarVertical_,
                      hasHeaderLine(c), lineHeight())
        .fit;
}

int VGrid::cellCapacity() const {
    const Geometry g = geometry();
    const QRect r(0, 0, static_cast<int>(g.colW), static_cast<int>(g.rowH));
    return layoutCell(r, cellMargin_, intervalBarBreadth_, intervalBarVertical_, false,
                      lineHeight())
        .fit;
}

void VGrid::setOverflowMark(bool on) {
    overflowMark_ = on;
    refresh();
}

namespace {
// Where a full cell's "+N" stands: the right end of its last entry line.
QRect moreMark(const QRect& text, int top, int lineHeight, std::int64_t more,
               const QFontMetrics& fm) {
    const int width = std::min(text.width(), fm.horizontalAdvance(QStringLiteral("+%1").arg(more)) + 6);
    return QRect(text.right() + 1 - width, top, width, lineHeight) & text;
}

// Entry lines of a cell and, with the overflow mark, how many of them its
// entries take and what its "+N" line counts.
struct CellLines {
    int drawn = 0;
    std::int64_t more = 0;
};
CellLines linesOf(const VGridCell* c, int fit, bool overflowMark) {
    CellLines l;
    if (!c) return l;
    const std::int64_t all = c->NumberOfEntries() + (overflowMark ? c->HiddenCount() : 0);
    if (overflowMark && all > fit) {
        // Every line keeps its entry; the "+N" sits at the end of the last one.
        l.drawn = fit;
        l.more = all - l.drawn;
    } else {
        l.drawn = std::min(c->NumberOfEntries(), fit);
    }
    return l;
}
}  // namespace

std::pair<int, std::int64_t> VGrid::cellLines(int col, int row) const {
    const VGridCell* c = cell(col, row);
    QRect r = cellRect(col, row);
    if (r.isEmpty()) {
        const Geometry g = geometry();
        r = QRect(0, 0, static_cast<int>(g.colW), static_cast<int>(g.rowH));
    }
    const CellLayout l = layoutCell(r, cellMargin_, intervalBarBreadth_, intervalBarVertical_,
                                    hasHeaderLine(c), lineHeight());
    const CellLines lines = linesOf(c, l.fit, overflowMark_);
    return {lines.drawn, lines.more};
}

int VGrid::entriesDrawn(int col, int row) const { return cellLines(col, row).first; }

std::int64_t VGrid::overflowCount(int col, int row) const { return cellLines(col, row).second; }

QRect VGrid::overflowRect(int col, int row) const {
    const QRect r = cellRect(col, row);
    const VGridCell* c = cell(col, row);
    if (r.isEmpty() || !c) return {};
    const CellLayout l = layoutCell(r, cellMargin_, intervalBarBreadth_, intervalBarVertical_,
                                    hasHeaderLine(c), lineHeight());
    const CellLines lines = linesOf(c, l.fit, overflowMark_);
    if (lines.more == 0) return {};
    return moreMark(l.text, l.entriesTop + (lines.drawn - 1) * l.lineHeight, l.lineHeight,
                    lines.more, fontMetrics());
}

bool VGrid::cellAt(const QPoint& pos, int* col, int* row, int* index) const {
    const Geometry g = geometry();
    if (!g.area.contains(pos)) return false;
    int c, r;
    const double x = pos.x() - g.area.left(), y = pos.y() - g.area.top();
    if (x < leftHeaderWidth_)
        c = 0;
    else
        c = g.hdrCols + colOffset_ + static_cast<int>((x - leftHeaderWidth_) / g.colW);
    if (y < topHeaderHeight_)
        r = 0;
    else
        r = g.hdrRows + rowOffset_ + static_cast<int>((y - topHeaderHeight_) / g.rowH);
    if (c >= cols_ || r >= rows_) return false;
    *col = c;
    *row = r;
    *index = -1;
    const VGridCell* cl = cell(c, r);
    const CellLayout l =
        layoutCell(cellRect(c, r), cellMargin_, intervalBarBreadth_, intervalBarVertical_,
                   hasHeaderLine(cl), lineHeight());
    if (pos.y() >= l.entriesTop) {
        const int line = (pos.y() - l.entriesTop) / l.lineHeight;
        const int first = (c == selCol_ && r == selRow_) ? selScroll_ : 0;
        const int shown = overflowMark_ ? linesOf(cl, l.fit, true).drawn : l.fit;
        if (line < shown && first + line < cl->NumberOfEntries()) *index = first + line;
    }
    return true;
}

QRect VGrid::entryRect(int col, int row, int index) const {
    const QRect r = cellRect(col, row);
    const VGridCell* c = cell(col, row);
    const int first = (col == selCol_ && row == selRow_) ? selScroll_ : 0;
    if (r.isEmpty() || !c || index < first || index >= c->NumberOfEntries()) return {};
    const CellLayout l = layoutCell(r, cellMargin_, intervalBarBreadth_, intervalBarVertical_,
                                    hasHeaderLine(c), lineHeight());
    if (index - first >= (overflowMark_ ? linesOf(c, l.fit, true).drawn : l.fit)) return {};
    const QRect line(l.text.left(), l.entriesTop + (index - first) * l.lineHeight, l.text.width(),
                     l.lineHeight);
    // What lies past the text area is covered by the bar or the next cell.
    return line & l.text;
}

void VGrid::layoutScrollBars() {
    const Geometry g = geometry();
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const int colMax = std::max(0, cols_ - g.hdrCols - colsShown_);
    const int rowMax = std::max(0, rows_ - g.hdrRows - g.rows);
    if (colOffset_ > colMax) colOffset_ = 0;
    if (rowOffset_ > rowMax) rowOffset_ = 0;
    const QSignalBlocker bh(hsc_), bv(vsc_), bs(vscSel_);
    hsc_->setVisible(g.hscShown);
    if (g.hscShown) {
        hsc_->setGeometry(g.area.left(), g.area.bottom() + 1, g.area.width(), extent);
        hsc_->setRange(0, colMax);
        hsc_->setPageStep(colsShown_);
        hsc_->setValue(colOffset_);
    }
    vsc_->setVisible(g.vscShown);
    if (g.vscShown) {
        vsc_->setGeometry(g.area.right() + 1, g.area.top(), extent, g.area.height());
        vsc_->setRange(0, rowMax);
        vsc_->setPageStep(g.rows);
        vsc_->setValue(rowOffset_);
    }
    // The selected cell's own scroll bar when its entries do not fit.
    const VGridCell* sel = cell(selCol_, selRow_);
    const QRect r = cellRect(selCol_, selRow_);
    bool selShown = false;
    if (sel && !r.isEmpty()) {
        const CellLayout l = layoutCell(r, cellMargin_, intervalBarBreadth_, intervalBarVertical_,
                                        hasHeaderLine(sel), lineHeight());
        // With the overflow mark the "+N" line stands for what does not fit.
        const int max = overflowMark_ ? 0 : std::max(0, sel->NumberOfEntries() - l.fit);
        selScroll_ = std::clamp(selScroll_, 0, max);
        if (max > 0) {
            const int w = std::min(extent, r.width() / 3);
            vscSel_->setGeometry(r.right() + 1 - w, l.entriesTop, w, r.bottom() + 1 - l.entriesTop);
            vscSel_->setRange(0, max);
            vscSel_->setPageStep(l.fit);
            vscSel_->setValue(selScroll_);
            selShown = true;
        }
    }
    vscSel_->setVisible(selShown);
}

void VGrid::refresh() {
    if (lockRefresh_) return;
    layoutScrollBars();
    update();
}

void VGrid::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    setToolTip(QString());
    refresh();
}

// ---------------------------------------------------------------- painting

void VGrid::drawCell(QPainter& p, int col, int row, const QRect& r, bool header) {
    const VGridCell* c = cell(col, row);
    const bool selected = col == selCol_ && row == selRow_;
    p.fillRect(
        r, toQColor(header ? headerBackColor_ : (c->BackColor == -1 ? backColor_ : c->BackColor)));
    const QFontMetrics fm = p.fontMetrics();
    if (header) {
        if (const VGridCellEntry* h = c->HeaderEntry()) {
            p.setPen(toQColor(headerForeColor_));
            const QRect t = r.adjusted(cellMargin_, 0, -cellMargin_, 0);
            if (leftHeaderVertical_ && col == 0 && row > 0) {
                p.save();
                p.translate(t.left(), t.bottom());
                p.rotate(-90);
                const QRect rt(0, 0, t.height(), t.width());
                p.drawText(rt, Qt::AlignCenter, fm.elidedText(h->text, Qt::ElideRight, rt.width()));
                p.restore();
            } else {
                p.drawText(t, Qt::AlignCenter, fm.elidedText(h->text, Qt::ElideRight, t.width()));
            }
        }
        p.setPen(toQColor(headerLineColor_));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        return;
    }
    const CellLayout l = layoutCell(r, cellMargin_, intervalBarBreadth_, intervalBarVertical_,
                                    hasHeaderLine(c), lineHeight());
    // Interval bars along the cell's left edge (vertical) or bottom edge. A
    // busy cell holds many thousands of intervals: they are first put into
    // one interval per pixel (later ones on top), then drawn as runs of one colour.
    if (intervalBarBreadth_ > 0 && c->NumberOfIntervals() > 0) {
        const int len = intervalBarVertical_ ? r.height() : r.width();
        std::vector<int> px(static_cast<size_t>(std::max(0, len)), -1);
        for (int i = 0; i < c->NumberOfIntervals(); ++i) {
            const VGridCellInterval& iv = c->Interval(i);
            const int a = static_cast<int>(std::clamp<double>(iv.IntStart, 0, 1) * len);
            int b = static_cast<int>(std::clamp<double>(iv.IntEnd, 0, 1) * len);
            if (b <= a) b = std::min(len, a + 1);  // a moment still shows
            std::fill(px.begin() + a, px.begin() + b, i);
        }
        auto colourAt = [&](int x) {
            const int i = px[static_cast<size_t>(x)];
            return i < 0 ? std::optional<std::int32_t>() : c->Interval(i).IntColor;
        };
        for (int a = 0; a < len;) {
            const auto colour = colourAt(a);
            int b = a + 1;
            while (b < len && colourAt(b) == colour) ++b;
            if (colour) {
                const QColor qc = toQColor(*colour);
                if (intervalBarVertical_)
                    p.fillRect(QRect(r.left() + 1, r.top() + a, intervalBarBreadth_, b - a), qc);
                else
                    p.fillRect(QRect(r.left() + a, r.bottom() - intervalBarBreadth_, b - a,
                                     intervalBarBreadth_),
                               qc);
            }
            a = b;
        }
    }
    if (const VGridCellEntry* h = c->HeaderEntry(); h && !h->text.isEmpty()) {
        const Qt::Alignment a = cellHeaderAlignment_ == 0   ? Qt::AlignLeft
                                : cellHeaderAlignment_ == 2 ? Qt::AlignHCenter
                                                            : Qt::AlignRight;
        p.setPen(toQColor(h->Color));
        p.drawText(QRect(l.text.left(), l.text.top(), l.text.width(), l.lineHeight),
                   a | Qt::AlignVCenter, h->text);
    }
    const int first = selected ? selScroll_ : 0;
    const int textRight = selected && vscSel_->isVisible() ? vscSel_->x() - 1 : l.text.right();
    const CellLines lines = linesOf(c, l.fit, overflowMark_);
    const int drawn = overflowMark_ ? lines.drawn : l.fit;
    const QRect mark = lines.more > 0 ? moreMark(l.text, l.entriesTop + (drawn - 1) * l.lineHeight,
                                                 l.lineHeight, lines.more, fm)
                                      : QRect();
    for (int k = 0; k < drawn && first + k < c->NumberOfEntries(); ++k) {
        const VGridCellEntry& e = c->Entry(first + k);
        QRect line(l.text.left(), l.entriesTop + k * l.lineHeight,
                   textRight - l.text.left() + 1, l.lineHeight);
        if (k == drawn - 1 && !mark.isEmpty()) line.setRight(mark.left() - 1);
        if (selected && first + k == selIndex_) {
            p.fillRect(line, palette().color(QPalette::Highlight));
            p.setPen(palette().color(QPalette::HighlightedText));
        } else {
            p.setPen(toQColor(e.Color));
        }
        p.drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                   fm.elidedText(e.shownText(), Qt::ElideRight, line.width()));
    }
    if (!mark.isEmpty()) {
        p.setPen(toQColor(foreColor_));
        p.drawText(mark, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("+%1").arg(lines.more));
    }
    p.setPen(toQColor(gridLineColor_));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    if (selected) {
        QPen pen(palette().color(QPalette::Highlight));
        pen.setWidth(2);
        p.setPen(pen);
        p.drawRect(r.adjusted(1, 1, -1, -1));
    }
}

void VGrid::paintEvent(QPaintEvent* e) {
    if (painting_ || lockRefresh_) return;
    painting_ = true;
    paintedCells_ = 0;
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    if (borderStyle_ == 1) {
        p.setPen(palette().color(QPalette::Dark));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    const Geometry g = geometry();
    auto draw = [&](int c, int r, bool header) {
        const QRect cr = cellRect(c, r);
        if (cr.isEmpty() || !cr.intersects(e->rect())) return;
        drawCell(p, c, r, cr, header);
        ++paintedCells_;
    };
    const int c0 = g.hdrCols + colOffset_, c1 = std::min(cols_, c0 + colsShown_);
    const int r0 = g.hdrRows + rowOffset_, r1 = std::min(rows_, r0 + g.rows);
    if (g.hdrRows && g.hdrCols) draw(0, 0, true);
    if (g.hdrRows)
        for (int c = c0; c < c1; ++c) draw(c, 0, true);
    if (g.hdrCols)
        for (int r = r0; r < r1; ++r) draw(0, r, true);
    for (int c = c0; c < c1; ++c)
        for (int r = r0; r < r1; ++r) draw(c, r, false);
    painting_ = false;
}

// ---------------------------------------------------------------- selection

int VGrid::firstDataCol() const { return headerCols() && !headerSelectable_ ? 1 : 0; }
int VGrid::firstDataRow() const { return headerRows() && !headerSelectable_ ? 1 : 0; }

VGridCell* VGrid::getSelectedCell() { return cell(selCol_, selRow_); }

const VGridCellEntry* VGrid::getSelectedCellEntry() const {
    const VGridCell* c = cell(selCol_, selRow_);
    if (!c || selIndex_ < 0 || selIndex_ >= c->NumberOfEntries()) return nullptr;
    return &c->Entry(selIndex_);
}

bool VGrid::isCellSelected() const { return cell(selCol_, selRow_) != nullptr; }
bool VGrid::isEntrySelected() const { return getSelectedCellEntry() != nullptr; }

void VGrid::select(int col, int row, int index) {
    if (col < 0 && horizontalWrap_) {
        col = cols_ - 1;
        row -= horizontalWrapIncrement_;
    } else if (col >= cols_ && horizontalWrap_) {
        col = firstDataCol();
        row += horizontalWrapIncrement_;
    }
    if (row < 0 && verticalWrap_) {
        row = rows_ - 1;
        col -= verticalWrapIncrement_;
    } else if (row >= rows_ && verticalWrap_) {
        row = firstDataRow();
        col += verticalWrapIncrement_;
    }
    VGridCell* target = cell(col, row);
    if (!target || !target->Selectable) return;
    if (!headerSelectable_ && ((row == 0 && headerRows()) || (col == 0 && headerCols()))) return;
    if (index < 0 || index >= target->NumberOfEntries()) index = 0;
    const bool cellChanged = col != selCol_ || row != selRow_;
    if (!cellChanged && index == selIndex_) return;
    selCol_ = col;
    selRow_ = row;
    selIndex_ = index;
    if (cellChanged) {
        selScroll_ = 0;
        scrollIntoView(col, row);
    }
    scrollSelectedEntryIntoView();
    refresh();
    emit SelectionChange(col, row, index);
}

void VGrid::scrollIntoView(int col, int row) {
    const int hc = headerCols(), hr = headerRows();
    const int rowsShown = geometry().rows;
    if (col >= hc) {
        if (col - hc < colOffset_)
            colOffset_ = col - hc;
        else if (col - hc >= colOffset_ + colsShown_)
            colOffset_ = col - hc - colsShown_ + 1;
    }
    if (row >= hr) {
        if (row - hr < rowOffset_)
            rowOffset_ = row - hr;
        else if (row - hr >= rowOffset_ + rowsShown)
            rowOffset_ = row - hr - rowsShown + 1;
    }
}

void VGrid::scrollSelectedEntryIntoView() {
    const int fit = entriesShown();
    if (selIndex_ < selScroll_)
        selScroll_ = selIndex_;
    else if (selIndex_ >= selScroll_ + fit)
        selScroll_ = selIndex_ - fit + 1;
}

void VGrid::keyPressEvent(QKeyEvent* e) {
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    if (!isCellSelected()) {
        switch (e->key()) {
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_Left:
            case Qt::Key_Right:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
            case Qt::Key_Home:
            case Qt::Key_End:
                select(firstDataCol(), firstDataRow(), 0);
                return;
            default:
                QWidget::keyPressEvent(e);
                return;
        }
    }
    int col = selCol_, row = selRow_, index = selIndex_;
    const VGridCell* c = cell(col, row);
    const int n = overflowMark_ ? entriesDrawn(col, row) : c->NumberOfEntries();
    switch (e->key()) {
        case Qt::Key_Up:
            if (ctrl)
                index = std::max(0, index - 1);
            else
                --row;
            break;
        case Qt::Key_Down:
            if (ctrl)
                index = std::min(std::max(0, n - 1), index + 1);
            else
                ++row;
            break;
        case Qt::Key_Left:
            if (ctrl) return;
            --col;
            break;
        case Qt::Key_Right:
            if (ctrl) return;
            ++col;
            break;
        case Qt::Key_PageUp:
            if (ctrl)
                index = std::max(0, index - entriesShown() + 1);
            else
                row = std::max(firstDataRow(), row - geometry().rows + 1);
            break;
        case Qt::Key_PageDown:
            if (ctrl)
                index = std::min(std::max(0, n - 1), index + entriesShown() - 1);
            else
                row = std::min(rows_ - 1, row + geometry().rows - 1);
            break;
        case Qt::Key_Home:
            if (ctrl)
                index = 0;
            else
                col = firstDataCol();
            break;
        case Qt::Key_End:
            if (ctrl)
                index = std::max(0, n - 1);
            else
                col = cols_ - 1;
            break;
        default:
            QWidget::keyPressEvent(e);
            return;
    }
    select(col, row, index);
}

void VGrid::mousePressEvent(QMouseEvent* e) {
    setFocus(Qt::MouseFocusReason);
    int col, row, index;
    if (!cellAt(e->position().toPoint(), &col, &row, &index)) return;
    select(col, row, index < 0 ? selIndex_ : index);
    emit CellClick(col, row, index);
}

void VGrid::mouseReleaseEvent(QMouseEvent* e) {
    if (rect().contains(e->position().toPoint())) emit Click();
}

void VGrid::mouseDoubleClickEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    int col, row, index;
    if (overflowMark_ && cellAt(at, &col, &row, &index) && overflowRect(col, row).contains(at)) {
        // The "+N" line opens what it stands for, not the cell's first entry.
        setFocus(Qt::MouseFocusReason);
        select(col, row, 0);
        emit OverflowDblClick(col, row);
        return;
    }
    mousePressEvent(e);
    emit DblClick();
}

void VGrid::mouseMoveEvent(QMouseEvent* e) {
    int col, row, index;
    QString tip;
    const bool hit = cellAt(e->position().toPoint(), &col, &row, &index);
    // The "+N" mark sits on the last entry line and wins over its entry.
    if (hit && overflowMark_ && !overflowToolTip_.isEmpty() &&
        overflowRect(col, row).contains(e->position().toPoint())) {
        tip = overflowToolTip_;
        tip.replace(QStringLiteral("%1"), QString::number(overflowCount(col, row)));
    } else if (hit && index >= 0) {
        const VGridCellEntry& entry = cell(col, row)->Entry(index);
        if (entry.obj) tip = entry.obj->getToolTip();
    }
    // Entry texts come from users and imports: shown as plain text.
    if (!tip.isEmpty()) tip = Qt::convertFromPlainText(tip, Qt::WhiteSpaceNormal);
    if (tip != toolTip()) setToolTip(tip);
}

void VGrid::wheelEvent(QWheelEvent* e) {
    const int steps = -e->angleDelta().y() / 120;
    if (steps == 0) return;
    if (vsc_->isVisible())
        vsc_->setValue(vsc_->value() + steps);
    else if (hsc_->isVisible())
        hsc_->setValue(hsc_->value() + steps);
    e->accept();
}

// ---------------------------------------------------------------- export

QString VGrid::toHtml() const {
    QString out = QStringLiteral(
        "<html><head><meta charset=\"utf-8\"/><link rel=\"stylesheet\" type=\"text/css\" href=\"vgrstyle.css\"/></head>"
        "<body><table border=\"1\">");
    auto colour = [&](std::int32_t c) {
        return QStringLiteral("<font color=\"") + htmlColour(toQColor(c)) + QStringLiteral("\">");
    };
    for (int r = 0; r < rows_; ++r) {
        out += QStringLiteral("<tr>");
        for (int c = 0; c < cols_; ++c) {
            const VGridCell* cl = cell(c, r);
            const bool header =
                (r == 0 && topHeaderHeight_ > 0) || (c == 0 && leftHeaderWidth_ > 0);
            out += header ? QStringLiteral("<td class=\"vgrheadercell\">") : QStringLiteral("<td>");
            if (const VGridCellEntry* h = cl->HeaderEntry()) {
                out += colour(h->Color) + QStringLiteral("<div class=\"vgrcellheader\">") +
                       h->text.toHtmlEscaped() + QStringLiteral("</div></font>");
            }
            const std::int64_t hidden = overflowMark_ ? cl->HiddenCount() : 0;
            if (cl->NumberOfEntries() == 0 && hidden == 0) out += QStringLiteral("&nbsp;");
            for (int i = 0; i < cl->NumberOfEntries(); ++i) {
                const VGridCellEntry& e = cl->Entry(i);
                out += colour(e.Color) + e.shownText().toHtmlEscaped() +
                       QStringLiteral("</font><br />");
            }
            // What the cell counts but does not hold, as its "+N" on screen.
            if (hidden > 0) out += QStringLiteral("+%1<br />").arg(hidden);
            out += QStringLiteral("</td>");
        }
        out += QStringLiteral("</tr>");
    }
    out += QStringLiteral("</table></body></html>");
    return out;
}

}  // namespace qv
