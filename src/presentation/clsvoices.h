#pragma once
// The voices of the desktop's speech engines and the one call that speaks.
// Engines are tried in a fixed order (speech-dispatcher, then flite); a voice
// is named as its engine reports it. The engine object that speaks is kept
// until its speech has finished (or a watchdog gives up on it), so several
// texts spoken in a row queue up instead of cutting each other off.

#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace qv {

// One text to speak with its voice (empty: the engine's default voice) and,
// where asked, volume (0..1) and rate (-1..1).
struct Utterance {
    QString voice;
    std::optional<double> volume;
    std::optional<double> rate;
    QString text;
};

// One speech engine. The Qt one wraps QTextToSpeech; tests fake it.
class SpeechEngine {
  public:
    virtual ~SpeechEngine() = default;
    // False when the engine could not be started (no plug-in, no service).
    virtual bool available() const = 0;
    // Voice names in the engine's order.
    virtual QStringList voices() const = 0;
    // Speaks, or queues behind what is being spoken. False when it cannot.
    virtual bool speak(const Utterance& u) = 0;
    // True once everything given has been spoken (or failed, or overran its watchdog).
    virtual bool finished() const = 0;
    virtual void stop() = 0;
    // Texts whose end the engine itself reported (not the watchdog).
    virtual int completed() const { return 0; }
    // Whether voices() is complete and quick. A first listing may take seconds,
    // so it is done in slices: listSomeVoices() does one.
    virtual bool voicesListed() const { return true; }
    virtual void listSomeVoices() {}
};

// Creates the engine of that name ("speechd", "flite"); never null.
using SpeechEngineFactory = std::function<std::unique_ptr<SpeechEngine>(const QString& engine)>;

class clsVoices {
  public:
    // The engines in the order they are tried.
    static const QStringList& engineOrder();
    // The QTextToSpeech engines.
    static std::unique_ptr<SpeechEngine> createQtEngine(const QString& engine);

    explicit clsVoices(SpeechEngineFactory factory = &clsVoices::createQtEngine);
    ~clsVoices();

    // All voices of all engines, engine by engine. The first listing of an
    // engine takes seconds (speech-dispatcher has thousands of variants);
    // later ones come from a cache.
    QStringList getVoices();
    // Lists one slice of the voices not listed yet; true once getVoices()
    // answers from the cache.
    bool listSomeVoices();
    // Speaks with the first voice named `voiceName`; an empty name speaks with
    // the first available engine's default voice. While the voices of an
    // engine are not known yet the text waits (and true is returned): they are
    // listed from the event loop, and the text is spoken once they are.
    // Volume 0..100 and speed -10..10 are applied only when their switch is on
    // and they are in range; otherwise the engine keeps its own. False when
    // nothing was started.
    bool speak(const QString& text, const QString& voiceName, bool volumeSwitch, int volume,
               bool speedSwitch, int speed);
    // Drops the engines whose speech has finished; true while some still speak.
    bool releaseFinished();
    // Silences and drops every engine.
    void stopAll();
    bool speaking() const;

  private:
    struct Request {
        QString text;
        QString voiceName;
        bool volumeSwitch;
        int volume;
        bool speedSwitch;
        int speed;
    };
    enum class Outcome { kStarted, kNotSpoken, kNeedsVoices };
    static constexpr int kListingPollMs = 10;

    SpeechEngine* engine(int index);
    // kNeedsVoices names the engine to list in `unlisted`.
    Outcome tryToSpeak(const Request& r, int* unlisted);
    void listForPending();

    SpeechEngineFactory factory_;
    std::deque<Request> pending_;
    QTimer lister_;
    // One slot per engine of engineOrder(); created when first needed.
    std::vector<std::unique_ptr<SpeechEngine>> engines_;
};

}  // namespace qv
