// The grid, driven with real key and mouse events: sizing, selection and
// scrolling, entries inside a cell, tooltips and the HTML export.

#include <QScrollBar>
#include <QSignalSpy>
#include <QTextDocument>
#include <QXmlStreamReader>
#include <QtTest>

#include "controls/vgrid.h"

using namespace qv;

namespace {

class Tip : public VGridObject {
  public:
    explicit Tip(QString t) : t_(std::move(t)) {}
    QString getToolTip() const override { return t_; }

  private:
    QString t_;
};

// A grid with a header row and column and 20 x 30 data cells, 5 x 4 of them shown.
void makeBigGrid(VGrid& g) {
    g.resize(500, 300);
    g.setLockRefresh(true);
    g.setTopHeaderHeight(20);
    g.setLeftHeaderWidth(40);
    QVERIFY(g.setNrOfCols(21));
    QVERIFY(g.setNrOfRows(31));
    g.setNrOfColsShown(5);
    g.setNrOfRowsShown(4);
    g.setLockRefresh(false);
}

}  // namespace

class TestGrid : public QObject {
    Q_OBJECT
  private slots:
    // Asked to show more rows than the height holds, the grid keeps each row
    // a line of text high and scrolls to the rest (a day of hours in a small window).
    void rowsNeverShrinkBelowALineOfText() {
        VGrid g;
        g.resize(300, 120);
        g.setTopHeaderHeight(20);
        g.setLeftHeaderWidth(40);
        QVERIFY(g.setNrOfCols(5));
        QVERIFY(g.setNrOfRows(25));
        g.setNrOfRowsShown(24);
        g.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g));
        const int line = g.fontMetrics().height();
        QVERIFY(g.cellRect(1, 1).height() >= line);
        QVERIFY(g.verticalScrollBar()->isVisible());
        g.select(1, 24, -1);
        QVERIFY(!g.cellRect(1, 24).isEmpty());
        QVERIFY(g.cellRect(1, 24).bottom() <= g.height());
    }

    void sizeIsRefusedBelowOneAndGrowingKeepsCells() {
        VGrid g;
        QCOMPARE(g.NrOfCols(), 1);
        QCOMPARE(g.NrOfRows(), 1);
        g.setNrOfRows(3);
        g.addEntry(0, 2, "kept", "k", 0);
        QVERIFY(!g.setNrOfRows(0));
        QVERIFY(!g.setNrOfCols(-1));
        QCOMPARE(g.NrOfRows(), 3);
        QVERIFY(g.setNrOfCols(4));
        QCOMPARE(g.cell(0, 2)->Entry(0).text, QStringLiteral("kept"));
        QVERIFY(g.cell(3, 2) != nullptr);
        QVERIFY(g.cell(4, 0) == nullptr);
        // The shown part follows the grid while nothing says otherwise.
        QCOMPARE(g.NrOfColsShown(), 4);
        QCOMPARE(g.NrOfRowsShown(), 3);
    }

    void keyboardMovesTheSelectionAndScrollsItIntoView() {
        VGrid g;
        makeBigGrid(g);
        g.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g));
        QVERIFY(g.verticalScrollBar()->isVisible());
        QVERIFY(g.horizontalScrollBar()->isVisible());
        QCOMPARE(g.verticalScrollBar()->maximum(), 26);
        QCOMPARE(g.horizontalScrollBar()->maximum(), 15);

        QSignalSpy changed(&g, &VGrid::SelectionChange);
        // A click on a header does not select; a click on a data cell does.
        QTest::mouseClick(&g, Qt::LeftButton, {}, g.cellRect(2, 0).center());
        QVERIFY(!g.isCellSelected());
        QTest::mouseClick(&g, Qt::LeftButton, {}, g.cellRect(2, 3).center());
        QCOMPARE(g.SelectedCol(), 2);
        QCOMPARE(g.SelectedRow(), 3);
        QCOMPARE(changed.count(), 1);

        QTest::keyClick(&g, Qt::Key_Right);
        QTest::keyClick(&g, Qt::Key_Down);
        QCOMPARE(g.SelectedCol(), 3);
        QCOMPARE(g.SelectedRow(), 4);
        QCOMPARE(g.RowOffset(), 0);
        QTest::keyClick(&g, Qt::Key_Down);  // row 5 is below the four shown rows
        QCOMPARE(g.RowOffset(), 1);
        QCOMPARE(g.verticalScrollBar()->value(), 1);

        QTest::keyClick(&g, Qt::Key_End);
        QCOMPARE(g.SelectedCol(), 20);
        QCOMPARE(g.ColOffset(), 15);
        QTest::keyClick(&g, Qt::Key_Home);
        QCOMPARE(g.SelectedCol(), 1);
        QCOMPARE(g.ColOffset(), 0);
        QTest::keyClick(&g, Qt::Key_Left);  // into the header column: refused
        QCOMPARE(g.SelectedCol(), 1);

        // Page Down goes a page less one row and stops at the last row.
        QTest::keyClick(&g, Qt::Key_PageDown);
        QCOMPARE(g.SelectedRow(), 8);
        for (int i = 0; i < 12; ++i) QTest::keyClick(&g, Qt::Key_PageDown);
        QCOMPARE(g.SelectedRow(), 30);
        QCOMPARE(g.RowOffset(), 26);
        QTest::keyClick(&g, Qt::Key_Down);
        QCOMPARE(g.SelectedRow(), 30);
        for (int i = 0; i < 12; ++i) QTest::keyClick(&g, Qt::Key_PageUp);
        QCOMPARE(g.SelectedRow(), 1);

        // Moving the scroll bar scrolls without touching the selection.
        g.verticalScrollBar()->setValue(10);
        QCOMPARE(g.RowOffset(), 10);
        QVERIFY(g.cellRect(1, 1).isEmpty());
        QCOMPARE(g.cellRect(1, 11).top(), 20 + 1);
        QCOMPARE(g.SelectedRow(), 1);

        // With horizontal wrapping, Right from the last column goes on in the next row.
        g.setHorizontalWrap(true);
        g.setHorizontalWrapIncrement(1);
        QTest::keyClick(&g, Qt::Key_End);
        QTest::keyClick(&g, Qt::Key_Right);
        QCOMPARE(g.SelectedCol(), 1);
        QCOMPARE(g.SelectedRow(), 2);
    }

    void entriesInACellAreSelectedByMouseAndCtrlKeysAndShowTheirTooltips() {
        VGrid g;
        g.resize(300, 200);
        g.setNrOfCols(2);
        g.setNrOfRows(2);
        for (int i = 0; i < 30; ++i)
            g.addEntry(1, 1, QStringLiteral("entry %1").arg(i), QString::number(i), 0,
                       std::make_shared<Tip>(QStringLiteral("<b>tip</b> %1").arg(i)));
        g.addEntry(0, 0, "no tooltip", "x", 0);
        g.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g));

        const int lh = g.fontMetrics().height();
        const QRect r = g.cellRect(1, 1);
        QSignalSpy clicks(&g, &VGrid::CellClick);
        QTest::mouseClick(&g, Qt::LeftButton, {}, QPoint(r.left() + 10, r.top() + 2 + lh + lh / 2));
        QCOMPARE(g.SelectedIndex(), 1);
        QCOMPARE(g.getSelectedCellEntry()->Key, QStringLiteral("1"));
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(clicks.first().at(2).toInt(), 1);

        // More entries than fit: the cell's own scroll bar follows the selected entry.
        QVERIFY(g.selectedCellScrollBar()->isVisible());
        QTest::keyClick(&g, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(g.SelectedIndex(), 29);
        QCOMPARE(g.selectedCellScroll(), 30 - g.entriesShown());
        QCOMPARE(g.selectedCellScrollBar()->value(), g.selectedCellScroll());
        QTest::keyClick(&g, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(g.SelectedIndex(), 29);
        QTest::keyClick(&g, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClick(&g, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(g.SelectedIndex(), 1);
        QCOMPARE(g.selectedCellScroll(), 0);

        // The entry under the pointer gives the tooltip, its text never read as
        // markup; one without an object none.
        QTest::mouseMove(&g, QPoint(r.left() + 10, r.top() + 2 + lh / 2));
        QTRY_COMPARE(g.toolTip(), QStringLiteral("<p>&lt;b&gt;tip&lt;/b&gt; 0</p>"));
        const QRect r0 = g.cellRect(0, 0);
        QTest::mouseMove(&g, QPoint(r0.left() + 10, r0.top() + 2 + lh / 2));
        QTRY_COMPARE(g.toolTip(), QString());
    }

    void intervalBarsMarkTheirPartOfTheCell() {
        VGrid g;
        g.resize(210, 110);
        g.setBorderStyle(0);
        g.setNrOfCols(1);
        g.setNrOfRows(1);
        g.setIntervalBarBreadth(4);
        g.cell(0, 0)->BackColor = 0xFFFFFF;
        // Many small intervals under one long one of another colour: the later one is on top.
        for (int i = 0; i < 1000; ++i)
            g.cell(0, 0)->addNewInterval(i / 4000.0f, i / 4000.0f, 0xFF0000);
        g.cell(0, 0)->addNewInterval(0.5f, 0.75f, 0x0000FF);
        g.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g));
        const QImage img = g.grab().toImage();
        const QRect r = g.cellRect(0, 0);
        const int y = r.bottom() - 2;
        auto at = [&](double f) { return img.pixelColor(r.left() + int(f * r.width()), y); };
        QCOMPARE(at(0.1), QColor(0, 0, 0xFF));  // stored colours keep red in the low byte
        QCOMPARE(at(0.6), QColor(0xFF, 0, 0));
        QCOMPARE(at(0.9), QColor(0xFF, 0xFF, 0xFF));
        g.setIntervalBarVertical(true);
        const QImage v = g.grab().toImage();
        QCOMPARE(v.pixelColor(r.left() + 2, r.top() + int(0.6 * r.height())), QColor(0xFF, 0, 0));
        QCOMPARE(v.pixelColor(r.left() + 2, r.top() + int(0.9 * r.height())),
                 QColor(0xFF, 0xFF, 0xFF));
    }

    void exportWritesTheFragmentsInOrder() {
        VGrid g;
        g.setNrOfCols(2);
        g.setNrOfRows(2);
        g.setHeader(1, 0, "Mon", 0x000080);
        g.addEntry(1, 1, "a", "1", 255);
        g.addEntry(1, 1, "b", "2", 0x00FF00);
        const QString start = QStringLiteral(
            "<html><head><meta charset=\"utf-8\"/><link rel=\"stylesheet\" type=\"text/css\" href=\"vgrstyle.css\"/></head>"
            "<body><table border=\"1\">");
        // Without header sizes every cell is an ordinary cell.
        QCOMPARE(g.toHtml(),
                 start +
                     "<tr><td>&nbsp;</td><td><font color=\"#800000\"><div class=\"vgrcellheader\">"
                     "Mon</div></font>&nbsp;</td></tr>"
                     "<tr><td>&nbsp;</td><td><font color=\"#FF0000\">a</font><br /><font "
                     "color=\"#00FF00\">b</font><br /></td></tr></table></body></html>");
        g.setTopHeaderHeight(20);
        QVERIFY(g.toHtml().startsWith(start + "<tr><td class=\"vgrheadercell\">&nbsp;</td>"
                                              "<td class=\"vgrheadercell\">"));
        QVERIFY(g.toHtml().contains("</tr><tr><td>&nbsp;</td>"));
    }

    // Entry texts come from users and imported files: the export must not let
    // them write markup into the page.
    void exportEscapesEveryText() {
        VGrid g;
        g.setNrOfCols(1);
        g.setNrOfRows(1);
        const QString evil = QStringLiteral("<img src=x onerror=alert(1)> & \"q\"");
        g.cell(0, 0)->setHeader("h", "</div><script>x</script>", 0);
        g.addEntry(0, 0, evil, "k", 0);
        QString html = g.toHtml();
        // "&nbsp;" is HTML's own entity; XML knows only numeric ones.
        html.replace("&nbsp;", "&#160;");
        QXmlStreamReader xml(html);
        QStringList elements;
        QString fontTexts;
        int depth = 0, roots = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                if (depth++ == 0) ++roots;
                elements << xml.name().toString();
            } else if (xml.isEndElement()) {
                --depth;
            } else if (xml.isCharacters()) {
                fontTexts += xml.text();
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString() + ": " + html));
        QCOMPARE(roots, 1);
        QVERIFY(!elements.contains("img"));
        QVERIFY(!elements.contains("script"));
        QVERIFY(fontTexts.contains(evil));
        QVERIFY(fontTexts.contains("</div><script>x</script>"));
    }
};

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
