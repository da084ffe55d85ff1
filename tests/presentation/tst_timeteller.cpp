// Time telling: the sentence a command becomes, and what gets spoken.
#include <QtTest>

#include "base/dateformat.h"
#include "base/settingsvalues.h"
#include "presentation/clstimeteller.h"
#include "presentation/fakespeech.h"

using namespace qv;

namespace {
DateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return DateTime::fromParts(y, mo, d, h, mi, s);
}
}  // namespace

class TstTimeTeller : public QObject {
    Q_OBJECT

    EnglishDateNames names;
    // Saturday 29 March 2025, 15:05:09.
    const DateTime now = at(2025, 3, 29, 15, 5, 9);

    QString sentence(const QString& command, DateTime when, bool* okOut = nullptr) {
        bool ok = false;
        const QString s = clsTimeTeller::buildSentence(command, when, names, ok);
        if (okOut)
            *okOut = ok;
        else if (!ok)
            return QStringLiteral("<nothing>");
        return s;
    }

  private slots:
    void nowFillsDatePatterns_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expected");
        QTest::newRow("time") << "now \"<h:mm am/pm>\""
                              << "3:05 pm";
        QTest::newRow("several, literal text kept") << "now \"<yyyy>-<mm>-<dd> and <ddd>\""
                                                    << "2025-03-29 and Sat";
        QTest::newRow("no placeholders") << "now \"Good afternoon\""
                                         << "Good afternoon";
        QTest::newRow("open without close") << "now \"<d> days <left\""
                                            << "29 days <left";
    }
    void nowFillsDatePatterns() {
        QFETCH(QString, command);
        QFETCH(QString, expected);
        QCOMPARE(sentence(command, now), expected);
    }

    void defaultTemplate() {
        const QString plain = QStringLiteral("It's 3:05 pm on Saturday, 3/29/2025.");
        // Too short for a keyword: the default template's quotes delimit it.
        QCOMPARE(sentence("", now), plain);
        QCOMPARE(sentence("tt", now), plain);
        // An empty template takes the whole default template, quotes and all.
        QCOMPARE(sentence("now \"\"", now), "\"" + plain + "\"");
        QCOMPARE(sentence("now", now), "\"" + plain + "\"");
    }

    void untilAndSince_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expected");
        QTest::newRow("days, late today to early in two days")
            << "unt \"<d> days\" \"2025/03/31 00:00:01\""
            << "2 days";
        QTest::newRow("days, to late in two days") << "unt \"<d> days\" \"2025/03/31 23:59:59\""
                                                   << "2 days";
        QTest::newRow("days, earlier reference is negative")
            << "unt \"<d>\" \"2025/03/27 23:00:00\""
            << "-2";
        QTest::newRow("since, day-first form of the dialog")
            << "sin \"<yyyy> <m> <q> <d>\" \"31/12/2024 23:59:59\""
            << "1 3 1 88";
        QTest::newRow("since, picker form") << "sin \"<h> <n> <s>\" \"29-03-2025 14:59:59\""
                                            << "1 6 310";
        QTest::newRow("weeks: calendar and whole")
            // Saturday to the Sunday after next: two Sundays crossed, one whole week.
            << "unt \"<ww> <w>\" \"2025/04/06 08:00:00\""
            << "2 1";
    }
    void untilAndSince() {
        QFETCH(QString, command);
        QFETCH(QString, expected);
        QCOMPARE(sentence(command, now), expected);
    }

    void customDate() {
        QCOMPARE(
            sentence("cus \"<dddd>, <mmmm> <d>, <yyyy> at <h:nn>\" \"2000/01/01 07:30:00\"", now),
            QStringLiteral("Saturday, January 1, 2000 at 7:30"));
    }

    void failures() {
        bool ok = false;
        QCOMPARE(sentence("xyz \"<d>\"", now, &ok), clsTimeTeller::kCannotSpeak);
        QVERIFY(ok);
        // Nothing to speak: a reference that is no date, a wrong unit code.
        for (const char* bad :
             {"unt \"<d>\" \"next week\"", "sin \"<d>\"", "unt \"<d>\" \"2025/02/30 10:00:00\"",
              "unt \"<x> units\" \"2025/03/30\"", "cus \"<d>\" \"\""}) {
            sentence(bad, now, &ok);
            QVERIFY2(!ok, bad);
        }
    }

    void hostileTemplatesEnd() {
        // Values that hold "<" must not start an endless refill.
        QCOMPARE(sentence("now \"<<d>>\"", now), QStringLiteral("29"));
        const QString many = QString("<d>").repeated(2000);
        QCOMPARE(sentence("now \"" + many + "\"", now), QString("29").repeated(2000));
    }

    void speaksWithStoredSettings() {
        test::FakeSpeechWorld world;
        clsVoices voices(world.factory());
        SettingsValues settings;
        settings.ovvol = true;
        settings.vvol = 40;
        settings.ovspd = true;
        settings.vspd = -11;  // out of range: the engine keeps its own
        clsTimeTeller teller(voices, settings, names);
        QVERIFY(teller.speakDateString("unt \"<d> days\" \"2025/03/31\"", "", now));
        QVERIFY(teller.speakDateString("bad", "", now));
        QVERIFY(!teller.speakDateString("unt \"<d>\" \"soon\"", "", now));
        QCOMPARE(world.speechd.spoken.size(), size_t(2));
        QCOMPARE(world.speechd.spoken[0].text, QStringLiteral("2 days"));
        QCOMPARE(world.speechd.spoken[0].volume.value_or(-1), 0.4);
        QVERIFY(!world.speechd.spoken[0].rate.has_value());
        QCOMPARE(world.speechd.spoken[1].text, clsTimeTeller::kCannotSpeak);
    }
};

QTEST_MAIN(TstTimeTeller)
#include "tst_timeteller.moc"
