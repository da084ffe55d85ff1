// Window translation by object names from the window's section.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include "base/files.h"
#include "base/folders.h"
#include "base/random.h"
#include "base/translation.h"
#include "presentation/qtstrings.h"
#include "presentation/translateform.h"

using namespace qv;

namespace {

template <class W>
W* add(QWidget* parent, const char* name, const char* text) {
    auto* w = new W(parent);
    w->setObjectName(name);
    w->setText(text);
    return w;
}

}  // namespace

class TestTranslateForm : public QObject {
    Q_OBJECT
private slots:
    void captionsComeFromTheWindowsSection() {
        QTemporaryDir dir;
        QVERIFY(writeFile(ss(dir.filePath("Test.lng")),
                          "[frmTest]\nfrmTest=Translated window\ncmdOk=Fine\nchkLoud=Loud\n"
                          "lblInfo=\" Info \"\ncmdTab(2)=Third tab\noptA=Option A\nmnuFile=File\n"
                          "mnuFileOpen=Open...\ntxtName=must not be used\n"
                          "[frmOther]\ncmdCancel=wrong section\n"));
        const Folders folders = Folders::forFolder(ss(dir.path()));
        RandomSource random(1);
        modTranslation t(folders, random);
        t.setLanguage("Test");

        QWidget form;
        form.setObjectName("frmTest");
        form.setWindowTitle("designed");
        auto* ok = add<QPushButton>(&form, "cmdOk", "OK");
        auto* cancel = add<QPushButton>(&form, "cmdCancel", "Cancel");
        auto* loud = add<QCheckBox>(&form, "chkLoud", "loud?");
        auto* info = add<QLabel>(&form, "lblInfo", "info");
        auto* tab = add<QPushButton>(&form, "cmdTab(2)", "tab 2");
        auto* option = add<QRadioButton>(&form, "optA", "a");
        auto* name = add<QLineEdit>(&form, "txtName", "typed by the user");
        auto* bar = new QMenuBar(&form);
        QMenu* file = bar->addMenu("file");
        file->setObjectName("mnuFile");
        QAction* open = file->addAction("open");
        open->setObjectName("mnuFileOpen");
        QAction* unnamed = file->addAction("keep me");

        translateForm(&form, t);
        QCOMPARE(form.windowTitle(), QString("Translated window"));
        QCOMPARE(ok->text(), QString("Fine"));
        QCOMPARE(cancel->text(), QString("Cancel"));  // only the window's own section counts
        QCOMPARE(loud->text(), QString("Loud"));
        QCOMPARE(info->text(), QString(" Info "));
        QCOMPARE(tab->text(), QString("Third tab"));
        QCOMPARE(option->text(), QString("Option A"));
        QCOMPARE(name->text(), QString("typed by the user"));
        QCOMPARE(file->title(), QString("File"));
        QCOMPARE(open->text(), QString("Open..."));
        QCOMPARE(unnamed->text(), QString("keep me"));
    }

    void withoutALanguageFileNothingChanges() {
        QTemporaryDir dir;
        const Folders folders = Folders::forFolder(ss(dir.path()));
        RandomSource random(1);
        modTranslation t(folders, random);
        t.setLanguage("Missing");
        QWidget form;
        form.setObjectName("frmTest");
        form.setWindowTitle("designed");
        auto* ok = add<QPushButton>(&form, "cmdOk", "OK");
        translateForm(&form, t);
        QCOMPARE(form.windowTitle(), QString("designed"));
        QCOMPARE(ok->text(), QString("OK"));
    }
};

QTEST_MAIN(TestTranslateForm)
#include "tst_translateform.moc"
