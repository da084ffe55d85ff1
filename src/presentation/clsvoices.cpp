#include "presentation/clsvoices.h"

#include <QElapsedTimer>
#include <QSet>
#include <QTextToSpeech>
#include <QTimer>
#include <QVoice>
#include <deque>
#include <map>

namespace qv {
namespace {

// QTextToSpeech with a queue (say() of Qt 6.4 cuts off what is being spoken)
// and a watchdog, so an engine that never reports the end of its speech
// cannot keep the program's speech busy forever.
class QtSpeechEngine : public SpeechEngine {
  public:
    explicit QtSpeechEngine(const QString& engine) : name_(engine) {
        if (!QTextToSpeech::availableEngines().contains(engine)) return;
        tts_ = new QTextToSpeech(engine);
        if (tts_->state() == QTextToSpeech::Error) return;
        watchdog_.setSingleShot(true);
        QObject::connect(&watchdog_, &QTimer::timeout, tts_, [this] {
            // Given up on: silence it and go on with the queue. Not active
            // first, so the state change that stop() may report is not taken
            // for the end of the next text.
            active_ = false;
            tts_->stop();
            utteranceEnded();
        });
        QObject::connect(tts_, &QTextToSpeech::stateChanged, tts_,
                         [this](QTextToSpeech::State s) { stateChanged(s); });
    }
    ~QtSpeechEngine() override {
        watchdog_.stop();
        if (tts_) {
            QObject::disconnect(tts_, nullptr, nullptr, nullptr);
            if (tts_->state() == QTextToSpeech::Speaking) tts_->stop();
            delete tts_;
        }
    }

    bool available() const override { return tts_ && tts_->state() != QTextToSpeech::Error; }

    QStringList voices() const override {
        if (!available()) return {};
        QStringList names;
        for (const auto& v : voiceList()) names << v.voice.name();
        return names;
    }

    bool speak(const Utterance& u) override {
        if (!available()) return false;
        queue_.push_back(u);
        if (!active_) startNext();
        return true;
    }

    bool finished() const override {
        if (!active_) return queue_.empty();
        // The timer needs the event loop; this check does not.
        return started_.isValid() && started_.elapsed() > limitMs_ + 1000;
    }

    int completed() const override { return completed_; }

    void stop() override {
        queue_.clear();
        watchdog_.stop();
        active_ = false;
        if (tts_) tts_->stop();
    }

  private:
    struct Entry {
        QLocale locale;
        QVoice voice;
    };

    // Qt lists the voices of the current locale only, so listing them all
    // means going through every locale: seconds with speech-dispatcher's
    // thousands of voice variants. Done once per run and engine; the voices
    // do not change while the program runs.
    const std::vector<Entry>& voiceList() const {
        static std::map<QString, std::vector<Entry>> cache;
        auto found = cache.find(name_);
        if (found != cache.end()) return found->second;
        std::vector<Entry>& list = cache[name_];
        QSet<QString> seen;
        const QLocale current = tts_->locale();
        const QVoice currentVoice = tts_->voice();
        for (const QLocale& l : tts_->availableLocales()) {
            tts_->setLocale(l);
            for (const QVoice& v : tts_->availableVoices()) {
                if (seen.contains(v.name())) continue;
                seen.insert(v.name());
                list.push_back({l, v});
            }
        }
        tts_->setLocale(current);
        tts_->setVoice(currentVoice);
        return list;
    }

    void startNext() {
        while (!queue_.empty()) {
            const Utterance u = queue_.front();
            queue_.pop_front();
            if (u.text.trimmed().isEmpty()) continue;
            // No voice named: the engine's own default voice.
            if (!u.voice.isEmpty()) {
                for (const auto& e : voiceList()) {
                    if (e.voice.name() != u.voice) continue;
                    if (tts_->locale() != e.locale) tts_->setLocale(e.locale);
                    tts_->setVoice(e.voice);
                    break;
                }
            }
            if (u.volume) tts_->setVolume(*u.volume);
            if (u.rate) tts_->setRate(*u.rate);
            active_ = true;
            sawSpeaking_ = false;
            // Generous: a slow voice speaks some 8 characters a second.
            limitMs_ = 20000 + 150 * static_cast<int>(std::min<qsizetype>(u.text.size(), 20000));
            started_.start();
            watchdog_.start(limitMs_);
            tts_->say(u.text);
            return;
        }
    }

    void stateChanged(QTextToSpeech::State s) {
        if (!active_) return;
        if (s == QTextToSpeech::Speaking) {
            sawSpeaking_ = true;
        } else if ((s == QTextToSpeech::Ready && sawSpeaking_) || s == QTextToSpeech::Error) {
            if (s == QTextToSpeech::Ready) ++completed_;
            utteranceEnded();
        }
    }

    void utteranceEnded() {
        watchdog_.stop();
        active_ = false;
        started_.invalidate();
        if (tts_ && tts_->state() != QTextToSpeech::Error) startNext();
    }

    QString name_;
    QTextToSpeech* tts_ = nullptr;
    std::deque<Utterance> queue_;
    bool active_ = false;
    bool sawSpeaking_ = false;
    int completed_ = 0;
    int limitMs_ = 0;
    QElapsedTimer started_;
    QTimer watchdog_;
};

}  // namespace

const QStringList& clsVoices::engineOrder() {
    static const QStringList order{QStringLiteral("speechd"), QStringLiteral("flite")};
    return order;
}

std::unique_ptr<SpeechEngine> clsVoices::createQtEngine(const QString& engine) {
    return std::make_unique<QtSpeechEngine>(engine);
}

clsVoices::clsVoices(SpeechEngineFactory factory)
    : factory_(std::move(factory)), engines_(engineOrder().size()) {}

clsVoices::~clsVoices() = default;

SpeechEngine* clsVoices::engine(int index) {
    auto& slot = engines_[static_cast<std::size_t>(index)];
    if (!slot) slot = factory_(engineOrder().at(index));
    return slot.get();
}

QStringList clsVoices::getVoices() {
    QStringList names;
    for (int i = 0; i < engineOrder().size(); ++i) {
        SpeechEngine* e = engine(i);
        if (e && e->available()) names << e->voices();
    }
    return names;
}

bool clsVoices::speak(const QString& text, const QString& voiceName, bool volumeSwitch, int volume,
                      bool speedSwitch, int speed) {
    for (int i = 0; i < engineOrder().size(); ++i) {
        SpeechEngine* e = engine(i);
        if (!e || !e->available()) continue;
        Utterance u;
        // No name: the first engine's default voice, without listing them all.
        if (!voiceName.isEmpty()) {
            if (!e->voices().contains(voiceName)) continue;
            u.voice = voiceName;
        }
        // Out of range leaves the engine as it is.
        if (volumeSwitch && volume >= 0 && volume <= 100) u.volume = volume / 100.0;
        if (speedSwitch && speed >= -10 && speed <= 10) u.rate = speed / 10.0;
        u.text = text;
        return e->speak(u);
    }
    return false;
}

bool clsVoices::releaseFinished() {
    bool busy = false;
    for (auto& e : engines_) {
        if (!e) continue;
        if (e->finished())
            e.reset();
        else
            busy = true;
    }
    return busy;
}

void clsVoices::stopAll() {
    for (auto& e : engines_) {
        if (e) e->stop();
        e.reset();
    }
}

bool clsVoices::speaking() const {
    for (const auto& e : engines_)
        if (e && !e->finished()) return true;
    return false;
}

}  // namespace qv
