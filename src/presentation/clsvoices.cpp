#include "presentation/clsvoices.h"

#include <QElapsedTimer>
#include <QList>
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
        // The settings dialog asks for all of them at once: finish the listing here.
        auto* self = const_cast<QtSpeechEngine*>(this);
        while (!voicesListed()) self->listSlice(true);
        QStringList names;
        for (const auto& e : cache().at(name_)) names << e.name;
        return names;
    }

    bool voicesListed() const override { return !available() || cache().count(name_) != 0; }

    void listSomeVoices() override { listSlice(false); }

  private:
    void listSlice(bool evenWhileSpeaking) {
        if (voicesListed()) return;
        // The listing moves the engine through every locale; what it speaks
        // meanwhile must keep its own voice, so it waits while the engine speaks.
        if (!evenWhileSpeaking && (active_ || !queue_.empty())) return;
        if (!listing_) {
            listing_ = true;
            locales_ = tts_->availableLocales();
            nextLocale_ = 0;
            savedLocale_ = tts_->locale();
            savedVoice_ = tts_->voice();
            partial_.clear();
            seen_.clear();
        }
        QElapsedTimer slice;
        slice.start();
        while (nextLocale_ < locales_.size() && slice.elapsed() < kListingSliceMs) {
            const QLocale& l = locales_.at(nextLocale_++);
            tts_->setLocale(l);
            for (const QVoice& v : tts_->availableVoices()) {
                if (seen_.contains(v.name())) continue;
                seen_.insert(v.name());
                partial_.push_back({l, v.name()});
            }
        }
        if (nextLocale_ < locales_.size()) return;
        tts_->setLocale(savedLocale_);
        tts_->setVoice(savedVoice_);
        cache()[name_] = std::move(partial_);
        partial_.clear();
        seen_.clear();
        locales_.clear();
        listing_ = false;
    }

  public:
    bool speak(const Utterance& u) override {
        if (!available()) return false;
        queue_.push_back(u);
        if (!active_) startNext();
        return true;
    }

    bool finished() const override {
        // An engine in its error state speaks nothing more, queued or not:
        // it is done, so it is released and a fresh one tried next time.
        if (tts_ && tts_->state() == QTextToSpeech::Error) return true;
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
        QString name;
    };
    // Slices short enough that the windows stay responsive in between.
    static constexpr int kListingSliceMs = 30;

    // Qt lists the voices of the current locale only, so listing them all
    // means going through every locale: seconds with speech-dispatcher's
    // thousands of voice variants. Done once per run and engine, a slice at a
    // time; the voices do not change while the program runs.
    static std::map<QString, std::vector<Entry>>& cache() {
        static std::map<QString, std::vector<Entry>> listed;
        return listed;
    }

    // Selects the voice called `name` (its locale first: Qt offers only the
    // voices of the current one).
    void selectVoice(const QString& name) {
        const auto found = cache().find(name_);
        if (found == cache().end()) return;
        for (const auto& e : found->second) {
            if (e.name != name) continue;
            if (tts_->locale() != e.locale) tts_->setLocale(e.locale);
            for (const QVoice& v : tts_->availableVoices()) {
                if (v.name() != name) continue;
                tts_->setVoice(v);
                return;
            }
            return;
        }
    }

    void startNext() {
        while (!queue_.empty()) {
            const Utterance u = queue_.front();
            queue_.pop_front();
            if (u.text.trimmed().isEmpty()) continue;
            // No voice named: the engine's own default voice.
            if (!u.voice.isEmpty()) selectVoice(u.voice);
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
    // The listing in progress.
    bool listing_ = false;
    QList<QLocale> locales_;
    qsizetype nextLocale_ = 0;
    QLocale savedLocale_;
    QVoice savedVoice_;
    std::vector<Entry> partial_;
    QSet<QString> seen_;
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
    : factory_(std::move(factory)), engines_(engineOrder().size()) {
    lister_.setInterval(kListingPollMs);
    QObject::connect(&lister_, &QTimer::timeout, &lister_, [this] { listForPending(); });
}

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

bool clsVoices::listSomeVoices() {
    for (int i = 0; i < engineOrder().size(); ++i) {
        SpeechEngine* e = engine(i);
        if (!e || !e->available() || e->voicesListed()) continue;
        e->listSomeVoices();
        return false;
    }
    return true;
}

clsVoices::Outcome clsVoices::tryToSpeak(const Request& r, int* unlisted) {
    for (int i = 0; i < engineOrder().size(); ++i) {
        SpeechEngine* e = engine(i);
        if (!e || !e->available()) continue;
        Utterance u;
        // No name: the first engine's default voice, without listing them all.
        if (!r.voiceName.isEmpty()) {
            if (!e->voicesListed()) {
                if (unlisted) *unlisted = i;
                return Outcome::kNeedsVoices;
            }
            if (!e->voices().contains(r.voiceName)) continue;
            u.voice = r.voiceName;
        }
        // Out of range leaves the engine as it is.
        if (r.volumeSwitch && r.volume >= 0 && r.volume <= 100) u.volume = r.volume / 100.0;
        if (r.speedSwitch && r.speed >= -10 && r.speed <= 10) u.rate = r.speed / 10.0;
        u.text = r.text;
        return e->speak(u) ? Outcome::kStarted : Outcome::kNotSpoken;
    }
    return Outcome::kNotSpoken;
}

bool clsVoices::speak(const QString& text, const QString& voiceName, bool volumeSwitch, int volume,
                      bool speedSwitch, int speed) {
    const Request r{text, voiceName, volumeSwitch, volume, speedSwitch, speed};
    // An engine that went to its error state (with texts still queued in it)
    // is released, and a fresh one is tried for this text.
    for (auto& e : engines_)
        if (e && !e->available()) e.reset();
    // Texts are spoken in the order given: behind one that waits, the next waits too.
    if (pending_.empty()) {
        const Outcome o = tryToSpeak(r, nullptr);
        if (o != Outcome::kNeedsVoices) return o == Outcome::kStarted;
    }
    // The named voice's engine is still to be found: its voices are listed a
    // slice at a time from the event loop, so the alarm window that comes
    // with the speech is not held up, and the text follows when they are known.
    pending_.push_back(r);
    if (!lister_.isActive()) lister_.start();
    return true;
}

void clsVoices::listForPending() {
    while (!pending_.empty()) {
        int unlisted = -1;
        if (tryToSpeak(pending_.front(), &unlisted) == Outcome::kNeedsVoices) {
            if (SpeechEngine* e = engine(unlisted)) e->listSomeVoices();
            return;
        }
        pending_.pop_front();
    }
    lister_.stop();
}

bool clsVoices::releaseFinished() {
    // Engines whose voices are being listed for a waiting text stay.
    bool busy = !pending_.empty();
    for (auto& e : engines_) {
        if (!e) continue;
        if (pending_.empty() && e->finished())
            e.reset();
        else
            busy = true;
    }
    return busy;
}

void clsVoices::stopAll() {
    pending_.clear();
    lister_.stop();
    for (auto& e : engines_) {
        if (e) e->stop();
        e.reset();
    }
}

bool clsVoices::speaking() const {
    if (!pending_.empty()) return true;
    for (const auto& e : engines_)
        if (e && !e->finished()) return true;
    return false;
}

}  // namespace qv
