#include "presentation/speech.h"

#include "core/program.h"
#include "presentation/clstimeteller.h"
#include "presentation/qtstrings.h"

namespace qv {

Speech::Speech(Program& p, QObject* parent) : Speech(p, &clsVoices::createQtEngine, parent) {}

Speech::Speech(Program& p, SpeechEngineFactory factory, QObject* parent)
    : QObject(parent), p_(p), voices_(std::move(factory)) {}

void Speech::speakText(const QString& text) {
    const SettingsValues& s = p_.settings;
    voices_.speak(text, qs(s.vd), s.ovvol, s.vvol, s.ovspd, s.vspd);
}

void Speech::tellTime(const QString& command) {
    // The day and month names of the desktop's language, as everywhere else.
    clsTimeTeller teller(voices_, p_.settings, p_.ports.dateNames);
    teller.speakDateString(command, qs(p_.settings.vd), p_.now());
}

void Speech::releaseFinishedSpeech() { voices_.releaseFinished(); }

void Speech::stopAll() { voices_.stopAll(); }

}  // namespace qv
