// Shows every window of the program in turn in one language and saves a
// picture of the whole screen, window-manager frames included, for a look by
// eye at a screen size (scripts/screenshot runs it under Xvfb and openbox with
// QUORVANE_SHOT_WINDOWS). A developer's tool, not a test: it checks nothing.
//
//   window_gallery OUTPUT_FOLDER LANGUAGE

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QScreen>
#include <QTest>
#include <functional>
#include <memory>

#include "ui/frmabout.h"
#include "ui/frmactions.h"
#include "ui/frmalarmgroupproperties.h"
#include "ui/frmalarmproperties.h"
#include "ui/frmdatetime.h"
#include "ui/frmfind.h"
#include "ui/frmfirsttimesettings.h"
#include "ui/frmplugins.h"
#include "ui/frmquorvanemain.h"
#include "ui/frmsettings.h"
#include "uifixture.h"

using namespace qv;
using namespace qv::test;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        fprintf(stderr, "usage: window_gallery OUTPUT_FOLDER LANGUAGE\n");
        return 64;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const std::string language = argv[2];
    QDir().mkpath(out);

    UiFixture f;
    f.p().translation.setLanguage(language);
    f.p().settings.lng = language;
    f.ui.translateAll();
    const DateTime now = f.core.clock.now();
    auto work = f.addGroup("Work", {{"Stand-up meeting", addToDate(now, 1, kDays)},
                                    {"Send the weekly report", addToDate(now, 3, kDays)},
                                    {"Dentist appointment", addToDate(now, 50, kHours)}});
    f.addGroup("Home", {{"Take the bins out", addToDate(now, 2, kDays)}});
    f.p().control.checkAlarms();
    f.selectGroups({work});

    auto shoot = [&](const QString& name, QWidget* w) {
        w->show();
        w->raise();
        w->activateWindow();
        QTest::qWait(900);
        const QString file = QStringLiteral("%1/%2-%3.png").arg(out, name, QString::fromStdString(language));
        QGuiApplication::primaryScreen()->grabWindow(0).save(file);
        printf("window_gallery: wrote %s\n", qPrintable(file));
        w->hide();
    };

    f.main().showMaximized();
    shoot(QStringLiteral("main"), &f.main());
    f.main().showNormal();
    f.main().hide();

    const std::vector<std::pair<const char*, std::function<QWidget*()>>> windows = {
        {"alarm",
         [&] {
             auto* d = new frmAlarmProperties(f.p());
             d->setAlarms({work->alarms.elementAt(0)}, frmAlarmProperties::kEdit, false);
             return d;
         }},
        {"alarms",
         [&] {
             auto* d = new frmAlarmProperties(f.p());
             d->setAlarms({work->alarms.elementAt(0), work->alarms.elementAt(1)},
                          frmAlarmProperties::kEdit, false);
             return d;
         }},
        {"datetime", [&] { return new frmDateTime(f.p().translation, f.core.names); }},
        {"find", [&] { return new frmFind(f.p()); }},
        {"group",
         [&] {
             auto* d = new frmAlarmGroupProperties(f.p(), {});
             d->setAlarmGroups({work});
             return d;
         }},
        {"actions", [&] { return new frmActions(f.p()); }},
        {"plugins", [&] { return new frmPlugIns(f.p()); }},
        {"about", [&] { return new frmAbout(f.p(), f.ui); }},
    };
    for (const auto& [name, make] : windows) {
        std::unique_ptr<QWidget> w(make());
        shoot(QString::fromLatin1(name), w.get());
    }
    // The settings, page by page.
    std::unique_ptr<frmSettings> settings(new frmSettings(f.p(), f.ui, {}, {}));
    auto* pages = settings->findChild<QListWidget*>(QStringLiteral("lstTab"));
    for (int i = 0; pages && i < pages->count(); ++i) {
        pages->setCurrentRow(i);
        shoot(QStringLiteral("settings%1").arg(i), settings.get());
    }
    // Last: the first-time dialog switches the program to the language it offers.
    std::unique_ptr<QWidget> first(new frmFirstTimeSettings(f.p()));
    shoot(QStringLiteral("firsttime"), first.get());
    return 0;
}
