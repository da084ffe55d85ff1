// The mixer lines over a fake device, and the alarm volume routine.
#include <QtTest>
#include <array>
#include <map>

#include "presentation/clsmixer.h"

using namespace qv;

namespace {

// The sound card's state outlives every mixer object opened on it.
struct FakeCard {
    struct Control {
        bool present = false;
        bool hasMute = true;
        std::int64_t min = 0, max = 65535, value = 0;
        bool muted = false;
    };
    std::array<Control, kMixerLineCount> lines;
    int opens = 0;
    Control& operator[](MixerLine l) { return lines[static_cast<std::size_t>(l)]; }

    AlarmVolume::Opener opener(bool present = true) {
        return [this, present]() -> std::unique_ptr<MixerDevice> {
            ++opens;
            if (!present) return nullptr;
            return std::make_unique<Device>(*this);
        };
    }

    class Device : public MixerDevice {
      public:
        explicit Device(FakeCard& c) : c_(c) {}
        bool hasVolume(MixerLine l) const override { return c_[l].present; }
        bool hasMute(MixerLine l) const override { return c_[l].present && c_[l].hasMute; }
        std::int64_t minVolume(MixerLine l) const override { return c_[l].min; }
        std::int64_t maxVolume(MixerLine l) const override { return c_[l].max; }
        std::optional<std::int64_t> volume(MixerLine l) const override { return c_[l].value; }
        bool setVolume(MixerLine l, std::int64_t v) override {
            if (v < c_[l].min || v > c_[l].max)
                return false;  // the card takes no out-of-range value
            c_[l].value = v;
            return true;
        }
        std::optional<bool> mute(MixerLine l) const override { return c_[l].muted; }
        bool setMute(MixerLine l, bool m) override {
            c_[l].muted = m;
            return true;
        }

      private:
        FakeCard& c_;
    };
};

// A card with master output and wave playback, both muted and low.
FakeCard typicalCard() {
    FakeCard card;
    card[MixerLine::kWave] = {true, true, 0, 65535, 1000, true};
    card[MixerLine::kWaveIn] = {true, true, 0, 65535, 2000, true};
    return card;
}

}  // namespace

class TstMixer : public QObject {
    Q_OBJECT

  private slots:
    void linesFoundAndClamped() {
        FakeCard card;
        card[MixerLine::kWave] = {true, true, -10, 90, 5, false};
        card[MixerLine::kLineIn] = {true, false, 0, 31, 7, false};
        clsMixer m(card.opener()());
        QCOMPARE(m.volumeFound(), 1 | 8);
        QCOMPARE(m.muteFound(), 1);
        m.setWaveVolume(1000);
        QCOMPARE(m.WaveVolume(), std::int64_t(90));
        m.setWaveVolume(-1000);
        QCOMPARE(m.WaveVolume(), std::int64_t(-10));
        // A line without the control: reads 0, writes are dropped.
        QCOMPARE(m.CD_Volume(), std::int64_t(0));
        QCOMPARE(m.MaxCDVolume(), std::int64_t(0));
        m.setCD_Volume(5);
        QVERIFY(!card[MixerLine::kCD].present);
        m.setLineInMute(true);
        QVERIFY(!card[MixerLine::kLineIn].muted);
        QVERIFY(!m.LineInMute());

        clsMixer none(nullptr);
        QVERIFY(!none.opened());
        QCOMPARE(none.WaveVolume(), std::int64_t(0));
        none.setWaveVolume(3);  // nothing to do, nothing breaks
    }

    void targetRoundsHalfToEven() {
        QCOMPARE(AlarmVolume::target(50, 0, 65535), std::int64_t(32768));  // 32767.5
        QCOMPARE(AlarmVolume::target(50, 0, 1), std::int64_t(0));          // 0.5
        QCOMPARE(AlarmVolume::target(50, 0, 3), std::int64_t(2));          // 1.5
        QCOMPARE(AlarmVolume::target(50, -100, 100), std::int64_t(0));
        QCOMPARE(AlarmVolume::target(150, 0, 65535), std::int64_t(65535));
        QCOMPARE(AlarmVolume::target(-5, 10, 20), std::int64_t(10));
    }

    void setRaisesAndRestorePutsBack() {
        FakeCard card = typicalCard();
        QStringList messages;
        AlarmVolume v(card.opener(), [&](const QString& s) { messages << s; });
        v.set(50);
        QVERIFY(!card[MixerLine::kWave].muted);
        QCOMPARE(card[MixerLine::kWave].value, std::int64_t(65535));
        QVERIFY(!card[MixerLine::kWaveIn].muted);
        QCOMPARE(card[MixerLine::kWaveIn].value, std::int64_t(32768));
        v.restore();
        QVERIFY(card[MixerLine::kWave].muted);
        QCOMPARE(card[MixerLine::kWave].value, std::int64_t(1000));
        QVERIFY(card[MixerLine::kWaveIn].muted);
        QCOMPARE(card[MixerLine::kWaveIn].value, std::int64_t(2000));
        QVERIFY(messages.isEmpty());
    }

    void playbackIsNeverLowered() {
        FakeCard card = typicalCard();
        card[MixerLine::kWaveIn].value = 40000;
        AlarmVolume v(card.opener(), {});
        v.set(50);
        QCOMPARE(card[MixerLine::kWaveIn].value, std::int64_t(40000));
    }

    void secondSetKeepsTheFirstSavedValues() {
        FakeCard card = typicalCard();
        AlarmVolume v(card.opener(), {});
        v.set(50);
        v.set(80);  // a second sound while the first plays
        QCOMPARE(card[MixerLine::kWaveIn].value, AlarmVolume::target(80, 0, 65535));
        v.restore();
        QCOMPARE(card[MixerLine::kWave].value, std::int64_t(1000));
        QCOMPARE(card[MixerLine::kWaveIn].value, std::int64_t(2000));
        QVERIFY(card[MixerLine::kWave].muted);
        // The save starts afresh after a restore.
        card[MixerLine::kWaveIn].value = 3000;
        v.set(10);
        v.restore();
        QCOMPARE(card[MixerLine::kWaveIn].value, std::int64_t(3000));
    }

    void restoreWithoutSetChangesNothing() {
        FakeCard card = typicalCard();
        AlarmVolume v(card.opener(), {});
        v.restore();
        QCOMPARE(card.opens, 0);
        QCOMPARE(card[MixerLine::kWave].value, std::int64_t(1000));
        QVERIFY(card[MixerLine::kWave].muted);
    }

    void missingPlaybackLine() {
        FakeCard card = typicalCard();
        card[MixerLine::kWaveIn].present = false;
        AlarmVolume v(card.opener(), {});
        v.set(70);
        QCOMPARE(card[MixerLine::kWave].value, std::int64_t(65535));
        v.restore();
        QCOMPARE(card[MixerLine::kWave].value, std::int64_t(1000));
    }

    void noMixerSaysSoOnce() {
        FakeCard card;
        QStringList messages;
        AlarmVolume v(card.opener(false), [&](const QString& s) { messages << s; });
        v.set(50);
        v.set(50);
        // Once per run: an alarm in interval mode sets the volume at every play.
        QCOMPARE(messages, QStringList({"No mixer found!"}));
        // Nothing was saved, so there is nothing to put back.
        v.restore();
        QCOMPARE(messages.size(), 1);
        QVERIFY(!v.saved());
    }
};

QTEST_MAIN(TstMixer)
#include "tst_mixer.moc"
