// quorvane: the desktop alarm clock.

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QMessageBox>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/colors.h"
#include "base/folders.h"
#include "base/languagedatenames.h"
#include "core/program.h"
#include "plugins/clsplugin.h"
#include "presentation/qtactionperformer.h"
#include "presentation/qtstrings.h"
#include "ui/frmabout.h"
#include "ui/frmquorvanemain.h"
#include "ui/qtdesktop.h"
#include "ui/qtplatform.h"
#include "ui/qtuserinterface.h"
#include "ui/scriptingservice.h"

namespace {

// The command line holds no more than this: where the program keeps its files
// follows from XDG_DATA_HOME, or from a "portable" file beside the program.
void describeCommandLine(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Quorvane, a desktop alarm clock.\n\n"
        "Settings, alarm groups and the to-do text live in $XDG_DATA_HOME/quorvane\n"
        "(~/.local/share/quorvane by default). A file named \"portable\" beside the\n"
        "program makes the program's own folder hold everything instead. Started\n"
        "again while it runs, Quorvane shows the running program's main window.\n"
        "Qt's own options (-platform, -style, ...) are accepted too."));
    parser.addHelpOption();
    parser.addVersionOption();
}

// --help and --version answer without a display: they are looked at before
// the windowing system is opened.
bool asksForHelpOrVersion(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--") == 0) return false;
        for (const char* option : {"-h", "--help", "-?", "--help-all", "-v", "--version"})
            if (std::strcmp(a, option) == 0) return true;
    }
    return false;
}

void nameApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("Quorvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVANE_VERSION));
}

}  // namespace

int main(int argc, char** argv) {
    if (asksForHelpOrVersion(argc, argv)) {
        QCoreApplication core(argc, argv);
        nameApplication();
        QCommandLineParser parser;
        describeCommandLine(parser);
        parser.process(core);  // prints and ends the program
        return 0;
    }
    QApplication app(argc, argv);
    nameApplication();
    {
        // Qt has taken its own options out by now; anything else is a mistake.
        QCommandLineParser parser;
        describeCommandLine(parser);
        parser.process(app);
        if (!parser.positionalArguments().isEmpty()) {
            std::fprintf(stderr, "quorvane: unexpected argument '%s'; see quorvane --help\n",
                         qPrintable(parser.positionalArguments().constFirst()));
            return 1;
        }
    }
    QApplication::setDesktopFileName("quorvane");
    // The main window only hides; the program lives on in the notification area.
    QApplication::setQuitOnLastWindowClosed(false);

    const std::string executable = qv::ss(QCoreApplication::applicationFilePath());
    const qv::Folders folders = qv::Folders::detect(
        executable, qv::Folders::installedShareDir(executable),
        qv::Folders::dataHomeFromEnvironment(), qv::Folders::installedPlugInDir(executable));
    if (folders.programFolder.empty()) {
        // No language file is read yet: this one message is English.
        const char* text =
            "Quorvane cannot start: neither HOME nor XDG_DATA_HOME names a folder (an absolute "
            "path) where it could keep your settings and alarms. Start it from your desktop "
            "session, or set HOME.";
        std::fprintf(stderr, "quorvane: %s\n", text);
        QMessageBox::critical(nullptr, QStringLiteral("Quorvane"), QString::fromUtf8(text));
        return 1;
    }

    qv::QtClock clock;
    qv::QtSupervisionTimer timer;
    qv::QtUserInterface ui;
    qv::clsPlugIn plugIns;
    qv::QtActionPerformer performer;
    qv::QtSession session;
    qv::QtShell shell;
    qv::QtSingleInstance instance(qv::qs(folders.programFolder));
    qv::QtSystemColors systemColours;
    qv::LanguageDateNames dateNames;  // the language file's names, once it is chosen
    qv::Program program(folders, qv::CorePorts{clock, timer, ui, plugIns, performer, session, shell,
                                               instance, systemColours, dateNames});
    session.log = [&program](const std::string& line) { program.writeLog(line); };

    dateNames.attach(program.translation);
    plugIns.attach(program);
    ui.attach(program);
    performer.attach(program);
    ui.linkPerformer(performer);
    timer.onTick = [&program] { program.control.onTimerTick(); };

    // A shared alarm folder, waking from sleep for the next alarm, and a moment
    // before sleep to record the supervision's state.
    qv::QtFolderWatcher folderWatcher;
    program.folderSync.attach(&folderWatcher);
    qv::LinuxWakeTimer wakeTimer;
    program.wake.attach(&wakeTimer);
    qv::SleepInhibitor sleepInhibitor;
    sleepInhibitor.log = [&program](const std::string& line) { program.writeLog(line); };
    sleepInhibitor.beforeSleep = [&program] {
        if (!program.started || program.exiting) return;
        program.control.checkNow();
        if (!program.settingsStore.writeSettingsFile())
            program.writeLog("the state before sleep could not be recorded");
    };

    // The monotonic timer stands still while the computer sleeps, and a wall
    // clock that is set moves every alarm: look at once in both cases.
    qv::SystemEvents events;
    auto tickNow = [&] {
        if (!program.started || program.exiting) return;
        timer.stop();
        program.control.onTimerTick();
    };
    QObject::connect(&events, &qv::SystemEvents::resumed, &app, tickNow);
    QObject::connect(&events, &qv::SystemEvents::clockChanged, &app, tickNow);
    // Before start-up has finished (a question or the first-time settings are
    // open) this leaves at once and writes nothing.
    auto endRequested = [&program] { program.main.endRequested(); };
    QObject::connect(&events, &qv::SystemEvents::terminateRequested, &app, endRequested);
    QObject::connect(&events, &qv::SystemEvents::sessionEnding, &app, endRequested);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&program] {
        if (!program.exiting) program.main.exitProgram(false, false);
    });
    QObject::connect(&instance, &qv::QtSingleInstance::showRequested, &app, [&ui] {
        if (qv::frmQuorvaneMain* w = ui.mainWindow()) {
            w->show();
            w->raise();
            w->activateWindow();
        }
    });

    // Scripts, status bars and quorvane-add reach the program over the session
    // bus; offered once this is the one running instance.
    qv::ScriptingService scripting(program, ui, &performer);

    const bool started = program.main.start([&ui](int& errorNumber, std::string& description) {
        if (ui.createWindows()) return true;
        errorNumber = 1;
        description = "the windows could not be created";
        return false;
    });
    // A SIGTERM or the end of the session while a start-up question was open
    // broke start-up off; there is no event loop to leave yet.
    if (!started || program.exiting) return 0;
    scripting.registerOn(QDBusConnection::sessionBus());
    scripting.tidyQuickAlarms();
    sleepInhibitor.take();
    return app.exec();
}
