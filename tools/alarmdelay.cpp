// Measures how late alarm windows appear: the real program state on the real
// precise timer, offscreen, with alarms due one after another; for each the
// time from its due second to its alarm window being shown. Prints the median
// and the worst. Not a test: the figures depend on the machine and its load.
//
//     build/bin/quorvane-alarmdelay [count]

#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <set>
#include <cstdio>
#include <vector>

#include "base/colors.h"
#include "base/files.h"
#include "core/program.h"
#include "presentation/frmalarm.h"
#include "presentation/qtactionperformer.h"
#include "presentation/qtstrings.h"
#include "ui/frmabout.h"
#include "ui/frmquorvanemain.h"
#include "ui/qtplatform.h"
#include "ui/qtuserinterface.h"

namespace {

class ShowWatcher : public QObject {
public:
    std::vector<qint64> delays;
    std::set<QObject*> seen;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Show) {
            auto* w = qobject_cast<qv::frmAlarm*>(o);
            // The first showing of each window counts.
            if (w && seen.insert(w).second) {
                const qint64 due = qv::toQDateTime(w->dueDate).toMSecsSinceEpoch();
                delays.push_back(QDateTime::currentMSecsSinceEpoch() - due);
            }
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 50;

    QTemporaryDir dir;
    const std::string folder = qv::ss(dir.path());
    const std::string shipped = qv::ss(QCoreApplication::applicationDirPath());
    for (const char* f : {"English.lng", "default.csc"})
        (void)qv::writeFile(folder + "/" + f, qv::readFile(shipped + "/" + f));
    std::filesystem::create_directory(folder + "/groups");

    // Alarms from 3 s ahead, one every 1.5 s on average (whole seconds, some sharing one).
    const qv::DateTime start = qv::DateTime(qv::currentLocalTime().seconds() + 3);
    std::string group = "<algr><name>Delays</name>";
    for (int i = 0; i < count; ++i) {
        const qv::DateTime due(start.seconds() + (i * 3) / 2);
        group += "<alrm><name>alarm " + std::to_string(i) + "</name><datk>0</datk><oncd>" +
                 qv::toStoredText(due) +
                 "</oncd><acti><acid>1</acid><plug></plug><sett><s></s><i>1</i></sett></acti></alrm>";
    }
    group += "</algr>";
    (void)qv::writeFile(folder + "/groups/usg_0.agx", group);
    (void)qv::writeFile(folder + "/usr.cfx",
                        "<settings><lng>English</lng><agp>&lt;app_path&gt;/groups</agp><lsd>" +
                            qv::toStoredText(qv::currentLocalTime()) + "</lsd><wl>1000</wl></settings>");

    qv::QtClock clock;
    qv::QtSupervisionTimer timer;
    qv::QtUserInterface ui;
    qv::PlugInHost plugIns;
    qv::QtActionPerformer performer;
    qv::QtSession session;
    qv::QtShell shell;
    qv::QtSingleInstance instance(dir.path());
    qv::QtSystemColors colours;
    qv::QtDateNames names;
    qv::Program program(qv::Folders::forFolder(folder),
                        qv::CorePorts{clock, timer, ui, plugIns, performer, session, shell, instance,
                                      colours, names});
    ui.attach(program);
    performer.attach(program);
    timer.onTick = [&program] { program.control.onTimerTick(); };

    ShowWatcher watcher;
    app.installEventFilter(&watcher);
    if (!program.main.start([&ui](int&, std::string&) { return ui.createWindows(); })) return 1;

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (static_cast<int>(watcher.delays.size()) >= count) QCoreApplication::exit(0);
    });
    poll.start(100);
    QTimer::singleShot((count * 3 / 2 + 10) * 1000, &app, [] { QCoreApplication::exit(0); });
    app.exec();

    std::vector<qint64> d = watcher.delays;
    if (d.empty()) {
        std::printf("no alarm window was shown (%d alarms sounded, %zu windows, next %s)\n",
                    program.ctx.alarmsSounded, performer.alarmWindows().size(),
                    qv::toStoredText(program.supervision.nextAlarmDate).c_str());
        return 1;
    }
    std::sort(d.begin(), d.end());
    std::printf("alarm windows shown: %zu of %d\n", d.size(), count);
    std::printf("delay from the due second to the window: median %lld ms, worst %lld ms, best %lld ms\n",
                static_cast<long long>(d[d.size() / 2]), static_cast<long long>(d.back()),
                static_cast<long long>(d.front()));
    return 0;
}
