// The number box, driven with real key and mouse events: typing, stepping,
// clamping, wrapping and the spinner.

#include <QLineEdit>
#include <QSignalSpy>
#include <QClipboard>
#include <QGuiApplication>
#include <QtTest>

#include "controls/vnumberbox.h"

using namespace qv;

class TestNumberBox : public QObject {
    Q_OBJECT
  private slots:
    void typingTakesDigitsAndASignOnlyWhereNegativeNumbersAreAllowed() {
        VNumberBox box;
        box.show();
        QLineEdit* txt = box.textField();
        txt->setFocus();
        txt->clear();
        QTest::keyClicks(txt, "1a2-");
        QCOMPARE(txt->text(), QStringLiteral("12"));
        QCOMPARE(box.value(), 12);

        box.setMinValue(0);
        txt->clear();
        QTest::keyClicks(txt, "-");
        QCOMPARE(txt->text(), QString());
        QCOMPARE(box.value(), 0);  // no number at all reads as 0

        box.setMinValue(-100);
        QTest::keyClicks(txt, "-");
        QCOMPARE(txt->text(), QStringLiteral("-0"));
        QTest::keyClicks(txt, "7");  // replaces the selected 0
        QCOMPARE(box.value(), -7);

        // Typing does not clamp; setting or stepping does.
        box.setMaxValue(50);
        txt->selectAll();
        QTest::keyClicks(txt, "99");
        QCOMPARE(box.value(), 99);
        QTest::keyClick(txt, Qt::Key_Up);
        QCOMPARE(box.value(), 50);
    }

    // A pasted number outside the bounds (a duration of -30, 99999 in a box
    // up to 999) is refused or brought back in once the field is left.
    void aPastedNumberOutsideTheBoundsIsRefusedOrClamped() {
        VNumberBox box;
        box.setMinValue(0);
        box.setMaxValue(999);
        box.show();
        QLineEdit* txt = box.textField();
        txt->setFocus();
        txt->selectAll();
        QGuiApplication::clipboard()->setText(QStringLiteral("-30"));
        txt->paste();
        QVERIFY(!txt->text().startsWith(QLatin1Char('-')));
        txt->selectAll();
        QGuiApplication::clipboard()->setText(QStringLiteral("99999"));
        txt->paste();
        emit txt->editingFinished();
        QCOMPARE(box.value(), 999);
        QCOMPARE(txt->text(), QStringLiteral("999"));
    }

    void steppingClampsOrWrapsAndSaysWhichWay() {
        VNumberBox box;
        box.setMinValue(0);
        box.setMaxValue(59);
        box.setValue(59);
        QSignalSpy wrapped(&box, &VNumberBox::wrapped);
        QTest::keyClick(box.textField(), Qt::Key_Up);
        QCOMPARE(box.value(), 59);
        QCOMPARE(wrapped.count(), 0);

        box.setWrap(true);
        QTest::keyClick(box.textField(), Qt::Key_Up);
        QCOMPARE(box.value(), 0);
        QCOMPARE(wrapped.count(), 1);
        QCOMPARE(wrapped.takeFirst().at(0).toInt(), 1);
        QTest::keyClick(box.textField(), Qt::Key_Down);
        QCOMPARE(box.value(), 59);
        QCOMPARE(wrapped.takeFirst().at(0).toInt(), -1);
        QCOMPARE(box.textField()->selectedText(), QStringLiteral("59"));

        box.setStepSize(15);
        box.setValue(50);
        box.crement(1);
        QCOMPARE(box.value(), 0);
        box.crement(-2);
        QCOMPARE(box.value(), 59);
    }

    void boundsGivenTheWrongWayRoundAreSwapped() {
        VNumberBox box;
        box.setMinValue(10);
        box.setMaxValue(5);
        box.setValue(100);
        QCOMPARE(box.minValue(), 5);
        QCOMPARE(box.maxValue(), 10);
        QCOMPARE(box.value(), 10);
        box.setValue(-3);
        QCOMPARE(box.value(), 5);
        // The 32-bit bounds hold however far a step goes.
        VNumberBox wide;
        wide.setValue(INT32_MAX);
        wide.crement(1);
        QCOMPARE(wide.value(), INT32_MAX);
    }

    void theSpinnerStepsUpInItsUpperHalfAndDownInItsLowerHalf() {
        VNumberBox box;
        box.resize(80, 24);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QWidget* spin = box.spinner();
        QTest::mouseClick(spin, Qt::LeftButton, {}, QPoint(5, 2));
        QCOMPARE(box.value(), 1);
        QTest::mouseClick(spin, Qt::LeftButton, {}, QPoint(5, spin->height() - 2));
        QTest::mouseClick(spin, Qt::LeftButton, {}, QPoint(5, spin->height() - 2));
        QCOMPARE(box.value(), -1);
        box.setEnabled(false);
        QTest::mouseClick(spin, Qt::LeftButton, {}, QPoint(5, 2));
        QCOMPARE(box.value(), -1);
        box.setShowSpinner(false);
        QVERIFY(!spin->isVisible());
    }
};

QTEST_MAIN(TestNumberBox)
#include "tst_numberbox.moc"
