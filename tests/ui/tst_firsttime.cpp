// The first-time settings dialog: the language list and its preselection,
// translation on choosing a language, and the settings it writes.

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "ui/frmfirsttimesettings.h"
#include "ui/uifixture.h"

using namespace qv;
using namespace qv::test;

class TestFirstTime : public QObject {
    Q_OBJECT
  private slots:
    void formatsOfEveryDateOrder();
    void preselection();
    void okStoresLanguageOrderAndFormats();
    void choosingALanguageTranslatesTheDialog();
    void withoutLanguageFilesItSaysSo();
};

void TestFirstTime::formatsOfEveryDateOrder() {
    const DisplayFormats f = frmFirstTimeSettings::formatsFor(2, 1);
    QCOMPARE(f.na, std::string("dddd yyyy/mm/dd hh:nn:ss AM/PM"));
    QCOMPARE(f.al, std::string("ddd yyyy/mm/dd hh:nn:ss AM/PM"));
    QCOMPARE(f.sa, f.al);
    QCOMPARE(f.ot, std::string("yyyy/mm/dd hh:nn:ss AM/PM"));
    QCOMPARE(f.da, std::int16_t(2));
    QCOMPARE(f.ti, std::int16_t(1));

    const DisplayFormats dmy = frmFirstTimeSettings::formatsFor(0, 0);
    QCOMPARE(dmy.al, std::string("ddd dd/mm/yyyy hh:nn:ss"));
    QCOMPARE(dmy.na, std::string("dddd dd/mm/yyyy hh:nn:ss"));
    QCOMPARE(dmy.ot, std::string("dd/mm/yyyy hh:nn:ss"));
    QCOMPARE(frmFirstTimeSettings::formatsFor(1, 0).na, std::string("dddd mm/dd/yyyy hh:nn:ss"));
    QCOMPARE(frmFirstTimeSettings::formatsFor(3, 0).ot, std::string("yyyy/dd/mm hh:nn:ss"));
}

void TestFirstTime::preselection() {
    const std::vector<std::string> names{"Deutsch", "English", "Nederlands"};
    const std::vector<int> msids{1031, 1033, 1043};
    QCOMPARE(frmFirstTimeSettings::preselect(names, msids, 1043), 2);
    QCOMPARE(frmFirstTimeSettings::preselect(names, msids, 1036), 1);  // no match: English
    QCOMPARE(frmFirstTimeSettings::preselect({"Deutsch", "Nederlands"}, {1031, 1043}, 1036), 0);
    // A file without "msid" reads -1, which never matches an unknown system language.
    QCOMPARE(frmFirstTimeSettings::preselect({"Deutsch", "Other"}, {1031, -1}, -1), 0);
    QCOMPARE(frmFirstTimeSettings::preselect({}, {}, 1033), -1);
}

void TestFirstTime::okStoresLanguageOrderAndFormats() {
    UiFixture f;
    frmFirstTimeSettings dialog(f.p());
    auto* language = dialog.findChild<QComboBox*>(QStringLiteral("cmbLanguage"));
    auto* order = dialog.findChild<QComboBox*>(QStringLiteral("cmbDateFormat"));
    auto* time = dialog.findChild<QComboBox*>(QStringLiteral("cmbTimeFormat"));
    QVERIFY(language && order && time);
    QCOMPARE(language->count(), 2);
    QCOMPARE(order->count(), 4);
    QCOMPARE(time->count(), 2);
    language->setCurrentIndex(language->findText(QStringLiteral("Deutsch")));
    order->setCurrentIndex(2);
    time->setCurrentIndex(1);
    SettingsValues s;
    dialog.applyTo(s);
    QCOMPARE(s.lng, std::string("Deutsch"));
    QCOMPARE(s.df.da, std::int16_t(2));
    QCOMPARE(s.df.ti, std::int16_t(1));
    QCOMPARE(s.df.na, std::string("dddd yyyy/mm/dd hh:nn:ss AM/PM"));
    QCOMPARE(s.df.ot, std::string("yyyy/mm/dd hh:nn:ss AM/PM"));
    QCOMPARE(s.df.sc, std::int16_t(1));  // untouched
}

void TestFirstTime::choosingALanguageTranslatesTheDialog() {
    UiFixture f;
    frmFirstTimeSettings dialog(f.p());
    auto* language = dialog.findChild<QComboBox*>(QStringLiteral("cmbLanguage"));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("cmdOk"));
    auto* order = dialog.findChild<QComboBox*>(QStringLiteral("cmbDateFormat"));
    QStringList titles;
    for (const char* lng : {"English", "Deutsch"}) {
        language->activated(language->findText(QString::fromLatin1(lng)));
        QCOMPARE(f.p().translation.language(), std::string(lng));
        titles << dialog.windowTitle();
        QStringList shown{dialog.windowTitle(), ok->text()};
        for (auto* l : dialog.findChildren<QLabel*>()) shown << l->text();
        for (int i = 0; i < order->count(); ++i) shown << order->itemText(i);
        for (const QString& s : shown)
            QVERIFY2(!s.contains(QLatin1String("not found")), qPrintable(s));
        for (const char* key : {"frmFirstTimeSettings", "lblExplanation", "lblLanguage",
                                "lblDateFormat", "lblTimeFormat", "cmdOk"})
            QVERIFY2(f.p().translation.readKey("frmFirstTimeSettings", key, "\x01") != "\x01", key);
    }
    QVERIFY(titles[0] != titles[1]);
}

void TestFirstTime::withoutLanguageFilesItSaysSo() {
    UiFixture f;
    for (const char* lng : {"English", "Deutsch"})
        std::filesystem::remove(f.core.folder.file(std::string(lng) + ".lng"));
    Folders none = Folders::forFolder(f.core.folder.path());
    QVERIFY(modTranslation::availableLanguages(none).empty());
    {
        frmFirstTimeSettings dialog(f.p());
        QVERIFY(!dialog.hasLanguages());
        auto* label = dialog.findChild<QLabel*>(QStringLiteral("lblExplanation"));
        QCOMPARE(label->text(), QStringLiteral("No language file was found. You need a language "
                                               "file to use the program."));
        QVERIFY(!dialog.findChild<QPushButton*>(QStringLiteral("cmdOk"))->isEnabled());
        SettingsValues s;
        dialog.applyTo(s);
        QCOMPARE(s.lng, std::string("English"));  // left as it was
    }
}

QTEST_MAIN(TestFirstTime)
#include "tst_firsttime.moc"
