// Message boxes with the classic button, icon and default codes.

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "ui/messagebox.h"

using namespace qv;

class TestMessageBox : public QObject {
    Q_OBJECT
  private slots:
    void buttonsIconsAndDefaults_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("buttonCount");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("defaultButton");
        QTest::newRow("ok") << 0 << 1 << int(QMessageBox::NoIcon) << int(QMessageBox::Ok);
        QTest::newRow("critical ok")
            << 16 << 1 << int(QMessageBox::Critical) << int(QMessageBox::Ok);
        QTest::newRow("yes/no, exclamation")
            << 52 << 2 << int(QMessageBox::Warning) << int(QMessageBox::Yes);
        QTest::newRow("yes/no, exclamation, No default")
            << 308 << 2 << int(QMessageBox::Warning) << int(QMessageBox::No);
        QTest::newRow("yes/no, question")
            << 36 << 2 << int(QMessageBox::Question) << int(QMessageBox::Yes);
        QTest::newRow("yes/no/cancel, third default")
            << (3 | 64 | 512) << 3 << int(QMessageBox::Information) << int(QMessageBox::Cancel);
        QTest::newRow("ok/cancel") << 1 << 2 << int(QMessageBox::NoIcon) << int(QMessageBox::Ok);
    }
    void buttonsIconsAndDefaults() {
        QFETCH(int, code);
        QFETCH(int, buttonCount);
        QFETCH(int, icon);
        QFETCH(int, defaultButton);
        std::unique_ptr<QMessageBox> box(createMessageBox(nullptr, "text", code, "Quorvane"));
        QCOMPARE(box->windowTitle(), QString("Quorvane"));
        QCOMPARE(box->text(), QString("text"));
        QCOMPARE(box->buttons().size(), buttonCount);
        QCOMPARE(int(box->icon()), icon);
        QVERIFY(box->defaultButton());
        QCOMPARE(int(box->standardButton(box->defaultButton())), defaultButton);
    }

    void answersFollowTheClickedButton() {
        struct Case {
            int code;
            QMessageBox::StandardButton click;
            int answer;
        };
        for (const Case& c : {Case{4, QMessageBox::Yes, 6}, Case{4, QMessageBox::No, 7},
                              Case{1, QMessageBox::Ok, 1}, Case{1, QMessageBox::Cancel, 2},
                              Case{3, QMessageBox::Cancel, 2}, Case{2, QMessageBox::Retry, 4},
                              Case{2, QMessageBox::Ignore, 5}, Case{5, QMessageBox::Retry, 4}}) {
            std::unique_ptr<QMessageBox> box(createMessageBox(nullptr, "t", c.code, "T"));
            box->show();
            box->button(c.click)->click();
            QCOMPARE(messageBoxAnswer(*box), c.answer);
        }
    }

    void closingWithoutAButtonIsTheEscapeAnswer() {
        std::unique_ptr<QMessageBox> yesNo(createMessageBox(nullptr, "t", 4, "T"));
        QCOMPARE(messageBoxAnswer(*yesNo), 7);
        std::unique_ptr<QMessageBox> yesNoCancel(createMessageBox(nullptr, "t", 3, "T"));
        QCOMPARE(messageBoxAnswer(*yesNoCancel), 2);
        std::unique_ptr<QMessageBox> ok(createMessageBox(nullptr, "t", 48, "T"));
        QCOMPARE(messageBoxAnswer(*ok), 1);
        // Escape presses the escape button.
        yesNo->show();
        QTest::keyClick(yesNo.get(), Qt::Key_Escape);
        QCOMPARE(messageBoxAnswer(*yesNo), 7);
    }

    // A name from a file or a plug-in's answer is shown as it is, not as markup.
    void textIsNeverMarkup() {
        std::unique_ptr<QMessageBox> box(
            createMessageBox(nullptr, "<b>Wake</b> <img src=x>", 48, "T"));
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->text(), QStringLiteral("<b>Wake</b> <img src=x>"));
    }
};

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
