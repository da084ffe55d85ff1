#pragma once
// The program's speech routines: speak a text, tell the time, release finished
// speech, stop everything. Speech settings are read from the program's settings.

#include <QObject>
#include <QString>

#include "presentation/clsvoices.h"

namespace qv {

class Program;

class Speech : public QObject {
    Q_OBJECT
  public:
    explicit Speech(Program& p, QObject* parent = nullptr);
    Speech(Program& p, SpeechEngineFactory factory, QObject* parent = nullptr);

    // Speaks with the stored voice, volume and speed.
    void speakText(const QString& text);
    // Builds the sentence of a time-teller command and speaks it.
    void tellTime(const QString& command);
    // Called on every supervision tick: drops engines that are done.
    void releaseFinishedSpeech();
    // Silences speech in progress.
    void stopAll();
    clsVoices& voices() { return voices_; }

  private:
    Program& p_;
    clsVoices voices_;
};

}  // namespace qv
