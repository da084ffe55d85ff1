// The Qt side of the core's ports: timer, clock, system colours, date names,
// language numbers, the shell, the single-instance guard and the end signals.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QPalette>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "presentation/qtstrings.h"
#include "ui/qtplatform.h"

using namespace qv;

namespace {

// Writes an executable shell script.
void writeScript(const QString& path, const QByteArray& body) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n" + body);
    f.close();
    QVERIFY(f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser));
}

// A script that writes its working folder and its arguments, one a line, to
// `marker` (through a temporary file, so the marker appears whole).
QByteArray markerScript(const QString& marker) {
    const QByteArray m = marker.toUtf8();
    return "pwd -P > '" + m + ".tmp'\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + m +
           ".tmp'; done\nmv '" + m + ".tmp' '" + m + "'\n";
}

QStringList readMarker(const QString& marker) {
    QFile f(marker);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

std::int32_t stored(int r, int g, int b) { return r + 256 * g + 65536 * b; }

}  // namespace

class TestQtPlatform : public QObject {
    Q_OBJECT

  private slots:
    void timerFiresOnceAfterItsInterval();
    void clockAgreesWithItsTimeOfDay();
    void systemColoursComeFromThePalette();
    void dateNamesOfAGermanLocale();
    void languageNumbers_data();
    void languageNumbers();
    void shellStartsProgramsWithParametersAndFolder();
    void shellOpensDocumentsAndWebAddresses();
    void shellRefusesWhatIsNotThere();
    void secondInstanceKnocksAndGivesWay();
    void staleLockOfADeadProcessIsTakenOver();
    void strangeKnocksAreIgnored();
    void endSignalsAskToTerminate();
};

void TestQtPlatform::timerFiresOnceAfterItsInterval() {
    QtSupervisionTimer timer;
    int ticks = 0;
    timer.onTick = [&] { ++ticks; };
    timer.setInterval(80);
    QCOMPARE(timer.interval(), 80);
    QElapsedTimer elapsed;
    elapsed.start();
    timer.start();
    QVERIFY(timer.isActive());
    QTRY_COMPARE_WITH_TIMEOUT(ticks, 1, 20000);
    QVERIFY(elapsed.elapsed() >= 79);
    QVERIFY(!timer.isActive());
    // One-shot: nothing more comes without a new start.
    QTest::qWait(300);
    QCOMPARE(ticks, 1);
    timer.start();
    QTRY_COMPARE_WITH_TIMEOUT(ticks, 2, 20000);
    // An interval computed too late still ticks (at once).
    timer.setInterval(-40);
    timer.start();
    QVERIFY(timer.isActive());
    QTRY_COMPARE_WITH_TIMEOUT(ticks, 3, 20000);
}

void TestQtPlatform::clockAgreesWithItsTimeOfDay() {
    const QtClock clock;
    // Retried in the rare case the day changes between the readings.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DateTime before = clock.now();
        const double seconds = clock.secondsSinceMidnight();
        const DateTime after = clock.now();
        if (before.day() != after.day()) continue;
        const int b = before.hour() * 3600 + before.minute() * 60 + before.second();
        const int a = after.hour() * 3600 + after.minute() * 60 + after.second();
        QVERIFY2(seconds >= b && seconds < a + 1, qPrintable(QString::number(seconds)));
        // Whole seconds alone would make the random seed and the time telling coarse.
        QVERIFY(seconds >= 0 && seconds < 86400);
        const QDateTime local = QDateTime::currentDateTime();
        QVERIFY(std::abs(fromQDateTime(local).seconds() - after.seconds()) <= 2);
        return;
    }
    QFAIL("the day changed three times in a row");
}

void TestQtPlatform::systemColoursComeFromThePalette() {
    const QPalette saved = QApplication::palette();
    QPalette pal;
    pal.setColor(QPalette::Text, QColor(1, 2, 3));
    pal.setColor(QPalette::Base, QColor(250, 251, 252));
    pal.setColor(QPalette::Button, QColor(200, 0, 0));
    pal.setColor(QPalette::ButtonText, QColor(0, 0, 200));
    pal.setColor(QPalette::Highlight, QColor(0, 120, 215));
    pal.setColor(QPalette::HighlightedText, QColor(255, 255, 254));
    pal.setColor(QPalette::Dark, QColor(100, 101, 102));
    pal.setColor(QPalette::Light, QColor(240, 241, 242));
    pal.setColor(QPalette::Disabled, QPalette::Text, QColor(128, 129, 130));
    QApplication::setPalette(pal);

    const QtSystemColors sys;
    QCOMPARE(sys.sysColor(8), stored(1, 2, 3));
    QCOMPARE(sys.sysColor(5), stored(250, 251, 252));
    QCOMPARE(sys.sysColor(15), stored(200, 0, 0));  // red stays in the low byte
    QCOMPARE(sys.sysColor(18), stored(0, 0, 200));
    QCOMPARE(sys.sysColor(13), stored(0, 120, 215));
    QCOMPARE(sys.sysColor(14), stored(255, 255, 254));
    QCOMPARE(sys.sysColor(16), stored(100, 101, 102));
    QCOMPARE(sys.sysColor(20), stored(240, 241, 242));
    QCOMPARE(sys.sysColor(17), stored(128, 129, 130));
    // A system colour of a scheme file resolves through the palette; an index
    // no desktop knows still gives a colour, never garbage.
    QCOMPARE(resolveColour(static_cast<std::int32_t>(0x80000005), sys), stored(250, 251, 252));
    const std::int32_t unknown = sys.sysColor(999);
    QVERIFY(unknown >= 0 && unknown <= 0xFFFFFF);
    QVERIFY(sys.sysColor(-3) >= 0);

    QApplication::setPalette(saved);
}

void TestQtPlatform::dateNamesOfAGermanLocale() {
    const QtDateNames names(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(names.dayName(1, false), std::string("Sonntag"));  // 1 = Sunday
    QCOMPARE(names.dayName(2, false), std::string("Montag"));
    QCOMPARE(names.dayName(7, false), std::string("Samstag"));
    QVERIFY(qs(names.dayName(4, true)).startsWith(QLatin1String("Mi")));
    QCOMPARE(names.monthName(3, false), std::string("M\xC3\xA4rz"));  // UTF-8
    QCOMPARE(names.monthName(12, false), std::string("Dezember"));
    QVERIFY(qs(names.monthName(1, true)).startsWith(QLatin1String("Jan")));
    QCOMPARE(names.dayName(0, false), std::string());
    QCOMPARE(names.dayName(8, true), std::string());
    QCOMPARE(names.monthName(0, false), std::string());
    QCOMPARE(names.monthName(13, true), std::string());

    // Languages that inflect month names keep both forms apart.
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    QVERIFY(QtDateNames(russian, true).monthName(1, false) !=
            QtDateNames(russian, false).monthName(1, false));
}

void TestQtPlatform::languageNumbers_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("id");
    QTest::newRow("en_US") << "en_US" << 1033;
    QTest::newRow("en_GB") << "en_GB" << 2057;
    QTest::newRow("en_AU") << "en_AU" << 3081;
    QTest::newRow("de_DE") << "de_DE" << 1031;
    QTest::newRow("de_AT") << "de_AT" << 3079;
    QTest::newRow("de_BE falls back to German") << "de_BE" << 1031;
    QTest::newRow("fr_FR") << "fr_FR" << 1036;
    QTest::newRow("fr_CA") << "fr_CA" << 3084;
    QTest::newRow("nl_NL") << "nl_NL" << 1043;
    QTest::newRow("nl_BE") << "nl_BE" << 2067;
    QTest::newRow("es_ES") << "es_ES" << 3082;
    QTest::newRow("es_MX") << "es_MX" << 2058;
    QTest::newRow("it_IT") << "it_IT" << 1040;
    QTest::newRow("pt_BR") << "pt_BR" << 1046;
    QTest::newRow("pt_PT") << "pt_PT" << 2070;
    QTest::newRow("sv_SE") << "sv_SE" << 1053;
    QTest::newRow("da_DK") << "da_DK" << 1030;
    QTest::newRow("nb_NO") << "nb_NO" << 1044;
    QTest::newRow("fi_FI") << "fi_FI" << 1035;
    QTest::newRow("pl_PL") << "pl_PL" << 1045;
    QTest::newRow("cs_CZ") << "cs_CZ" << 1029;
    QTest::newRow("ru_RU") << "ru_RU" << 1049;
    QTest::newRow("ja_JP") << "ja_JP" << 1041;
    QTest::newRow("zh_CN") << "zh_CN" << 2052;
    QTest::newRow("zh_TW") << "zh_TW" << 1028;
    QTest::newRow("zh_HK") << "zh_HK" << 3076;
    QTest::newRow("sr_RS Cyrillic") << "sr_Cyrl_RS" << 3098;
    QTest::newRow("sw_KE unknown") << "sw_KE" << -1;
    QTest::newRow("C unknown") << "C" << -1;
}

void TestQtPlatform::languageNumbers() {
    QFETCH(QString, locale);
    QFETCH(int, id);
    QCOMPARE(languageIdFromLocale(QLocale(locale)), id);
}

void TestQtPlatform::shellStartsProgramsWithParametersAndFolder() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = QDir(dir.path()).canonicalPath();
    QVERIFY(QDir(folder).mkpath(QStringLiteral("work")));
    QVERIFY(QDir(folder).mkpath(QStringLiteral("bin")));
    const QString work = folder + QStringLiteral("/work");
    const QString marker = folder + QStringLiteral("/marker");
    writeScript(folder + QStringLiteral("/writer.sh"), markerScript(marker));
    if (QTest::currentTestFailed()) return;

    QtShell shell;
    // A stored path with backslashes, parameters with a quoted blank, a working folder.
    std::string stored = ss(folder + QStringLiteral("/writer.sh"));
    std::replace(stored.begin(), stored.end(), '/', '\\');
    QVERIFY(shell.open(stored, "one \"two words\"", ss(work)));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 20000);
    QCOMPARE(readMarker(marker),
             (QStringList{work, QStringLiteral("one"), QStringLiteral("two words")}));
    QVERIFY(QFile::remove(marker));

    // A relative name is looked up in the working folder.
    QVERIFY(shell.open("writer.sh", "", ss(folder)));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 20000);
    QCOMPARE(readMarker(marker), QStringList{folder});
    QVERIFY(QFile::remove(marker));

    // A bare name is found in PATH.
    writeScript(folder + QStringLiteral("/bin/qv-test-tool"), markerScript(marker));
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", (folder + QStringLiteral("/bin:")).toUtf8() + savedPath);
    const bool started = shell.open("qv-test-tool", "x", ss(work));
    qputenv("PATH", savedPath);
    QVERIFY(started);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 20000);
    QCOMPARE(readMarker(marker), (QStringList{work, QStringLiteral("x")}));
}

void TestQtPlatform::shellOpensDocumentsAndWebAddresses() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = QDir(dir.path()).canonicalPath();
    const QString marker = folder + QStringLiteral("/marker");
    // The desktop's opener, as the desktop services call it.
    QVERIFY(QDir(folder).mkpath(QStringLiteral("bin")));
    writeScript(folder + QStringLiteral("/bin/xdg-open"), markerScript(marker));
    const QString document = folder + QStringLiteral("/read me.txt");
    {
        QFile f(document);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    if (QTest::currentTestFailed()) return;
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", (folder + QStringLiteral("/bin:")).toUtf8() + savedPath);
    auto opened = [&](const std::string& file, const std::string& folderText) -> QStringList {
        QFile::remove(marker);
        if (!QtShell().open(file, "", folderText)) return {QStringLiteral("not started")};
        if (!QTest::qWaitFor([&] { return QFile::exists(marker); }, 20000)) return {};
        return readMarker(marker).mid(1);
    };
    const QStringList byRelativeName = opened("read me.txt", ss(folder));
    const QStringList byStoredPath = opened(ss(folder + QStringLiteral("\\read me.txt")), "");
    const QStringList webAddress = opened("https://example.org/a?b=c", "");
    const QStringList folderItself = opened(ss(folder), "");
    // On FAT and NTFS mounts every file looks executable; a document still opens.
    QVERIFY(QFile::setPermissions(document, QFile::permissions(document) | QFileDevice::ExeOwner));
    const QStringList executableLooking = opened(ss(document), "");
    qputenv("PATH", savedPath);
    // The opener is given a path or a file URL.
    auto local = [](const QStringList& args) -> QStringList {
        if (args.size() == 1 && args[0].startsWith(QLatin1String("file:"))) {
            return {QUrl(args[0]).toLocalFile()};
        }
        return args;
    };
    QCOMPARE(local(byRelativeName), QStringList(document));
    QCOMPARE(local(byStoredPath), QStringList(document));
    QCOMPARE(local(folderItself), QStringList(folder));
    QCOMPARE(local(executableLooking), QStringList(document));
    QCOMPARE(webAddress, QStringList{QStringLiteral("https://example.org/a?b=c")});
}

void TestQtPlatform::shellRefusesWhatIsNotThere() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QtShell shell;
    QVERIFY(!shell.open(ss(dir.filePath(QStringLiteral("missing.txt"))), "", ""));
    QVERIFY(!shell.open("missing.txt", "", ss(dir.path())));
    QVERIFY(!shell.open("qv-no-such-program-anywhere", "--help", ""));
    QVERIFY(!shell.open("", "", ""));
    QVERIFY(!shell.open("   ", "", ""));

    // A program left in the folder Quorvane was started from never runs: a
    // relative name without a folder of its own is looked up in PATH only.
    const QString folder = QDir(dir.path()).canonicalPath();
    const QString marker = folder + QStringLiteral("/marker");
    writeScript(folder + QStringLiteral("/qv-planted"), markerScript(marker));
    if (QTest::currentTestFailed()) return;
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder));
    const bool bare = shell.open("qv-planted", "", "");
    const bool dotted = shell.open("./qv-planted", "", "");
    QDir::setCurrent(before);
    QVERIFY(!bare);
    QVERIFY(!dotted);
    QTest::qWait(200);
    QVERIFY(!QFile::exists(marker));
}

void TestQtPlatform::secondInstanceKnocksAndGivesWay() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    auto first = std::make_unique<QtSingleInstance>(dir.path());
    QSignalSpy shown(first.get(), &QtSingleInstance::showRequested);
    QVERIFY(first->acquire());
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("quorvane.lock"))));

    QtSingleInstance second(dir.path());
    QVERIFY(!second.acquire());
    QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 1, 20000);

    // The program runs for weeks: an old lock of a live instance still holds.
    QFile lockFile(dir.filePath(QStringLiteral("quorvane.lock")));
    QVERIFY(lockFile.open(QIODevice::ReadWrite));
    QVERIFY(lockFile.setFileTime(QDateTime::currentDateTime().addDays(-30),
                                 QFileDevice::FileModificationTime));
    lockFile.close();
    QtSingleInstance late(dir.path());
    QVERIFY(!late.acquire());
    QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 2, 20000);

    // Another program folder is another program.
    QTemporaryDir other;
    QVERIFY(other.isValid());
    QVERIFY(QtSingleInstance::serverName(other.path()) != QtSingleInstance::serverName(dir.path()));
    QtSingleInstance elsewhere(other.path());
    QVERIFY(elsewhere.acquire());

    // Once the first has ended, the next start runs.
    first.reset();
    QtSingleInstance third(dir.path());
    QVERIFY(third.acquire());
}

void TestQtPlatform::staleLockOfADeadProcessIsTakenOver() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString lockPath = dir.filePath(QStringLiteral("quorvane.lock"));
    // A run that ended without unlocking (a crash, a kill) leaves its lock file.
    const pid_t child = ::fork();
    if (child == 0) {
        QLockFile lock(lockPath);
        ::_exit(lock.tryLock(0) ? 0 : 1);
    }
    QVERIFY(child > 0);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QVERIFY(QFile::exists(lockPath));

    QtSingleInstance instance(dir.path());
    QVERIFY(instance.acquire());
    // And it really holds the lock now.
    QtSingleInstance second(dir.path());
    QVERIFY(!second.acquire());
}

void TestQtPlatform::strangeKnocksAreIgnored() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QtSingleInstance instance(dir.path());
    QSignalSpy shown(&instance, &QtSingleInstance::showRequested);
    QVERIFY(instance.acquire());

    QLocalSocket noise;
    noise.connectToServer(QtSingleInstance::serverName(dir.path()));
    QVERIFY(noise.waitForConnected(20000));
    noise.write(QByteArray(5000, 'x'));
    QVERIFY(noise.waitForBytesWritten(20000));
    // The server hangs up on a request that is too long.
    QTRY_COMPARE_WITH_TIMEOUT(noise.state(), QLocalSocket::UnconnectedState, 20000);
    QCOMPARE(shown.count(), 0);

    // A request in pieces still counts once it is whole.
    QLocalSocket pieces;
    pieces.connectToServer(QtSingleInstance::serverName(dir.path()));
    QVERIFY(pieces.waitForConnected(20000));
    pieces.write("sh");
    QVERIFY(pieces.waitForBytesWritten(20000));
    QTest::qWait(50);
    QCOMPARE(shown.count(), 0);
    pieces.write("ow\n");
    QVERIFY(pieces.waitForBytesWritten(20000));
    QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 1, 20000);
}

void TestQtPlatform::endSignalsAskToTerminate() {
    std::vector<std::string> problems;
    SystemEvents events(nullptr, [&](const std::string& line) { problems.push_back(line); });
    // The wall-clock watch is armed (no system bus in a test is no problem).
    for (const std::string& line : problems) {
        QVERIFY2(line.find("clock") == std::string::npos, line.c_str());
        QVERIFY2(line.find("signal") == std::string::npos, line.c_str());
    }
    QSignalSpy terminate(&events, &SystemEvents::terminateRequested);
    ::raise(SIGTERM);
    QTRY_COMPARE_WITH_TIMEOUT(terminate.count(), 1, 20000);
    ::raise(SIGHUP);
    QTRY_COMPARE_WITH_TIMEOUT(terminate.count(), 2, 20000);
}

QTEST_MAIN(TestQtPlatform)
#include "tst_qtplatform.moc"
