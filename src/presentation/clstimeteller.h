#pragma once
// Telling the date and time: a command of a keyword (now, unt, sin, cus) and
// up to two quoted values becomes a sentence with its placeholders filled,
// which is then spoken.

#include <QString>
#include <string>

#include "base/dateformat.h"
#include "base/datetime.h"

namespace qv {

class clsVoices;
struct SettingsValues;

class clsTimeTeller {
  public:
    static const QString kCannotSpeak;      // "The date and time cannot be spoken."
    static const QString kDefaultTemplate;  // with its double quotes

    clsTimeTeller(clsVoices& voices, const SettingsValues& settings, const DateNames& names);

    // The sentence of `command` at `now`. `ok` is false when nothing is to be
    // spoken (a reference date or unit code that cannot be read).
    static QString buildSentence(const QString& command, DateTime now, const DateNames& names,
                                 bool& ok);
    // Reads a reference date: the stored form, "dd/mm/yyyy hh:nn:ss",
    // "dd-mm-yyyy hh:nn:ss", ISO, each with or without the time.
    static bool parseDate(const QString& text, DateTime& out);

    // Builds the sentence at `now` and speaks it with the stored speech settings.
    // True when speech started.
    bool speakDateString(const QString& command, const QString& voiceName, DateTime now);

  private:
    clsVoices& voices_;
    const SettingsValues& settings_;
    const DateNames& names_;
};

}  // namespace qv
