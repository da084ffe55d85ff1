#pragma once
// Weekday and month names and the AM/PM words of the language file, so dates
// read in the language the user chose rather than in the system's.

#include <array>
#include <string>

#include "base/dateformat.h"

namespace qv {

class modTranslation;

// Keys of the section "Strings": weekdays s11..s17 (Sunday first), their short
// forms s41..s47, months s51..s62, their short forms s71..s82, and the words
// for before and after noon s91, s92. A missing name is the English one.
class LanguageDateNames : public DateNames {
  public:
    explicit LanguageDateNames(const modTranslation* translation = nullptr)
        : translation_(translation) {}
    // The translation is referenced; it must outlive this object.
    void attach(const modTranslation& translation) { translation_ = &translation; }

    std::string dayName(int weekday, bool abbreviated) const override;
    std::string monthName(int month, bool abbreviated) const override;
    std::string amPmWord(bool pm) const override;

  private:
    // Reads the names again when another language was chosen (not at every
    // date: a list of thousands of dates would look the file up each time).
    void load() const;

    const modTranslation* translation_;
    mutable const modTranslation* loadedFrom_ = nullptr;
    mutable unsigned loadedGeneration_ = 0;
    mutable bool loaded_ = false;
    mutable std::array<std::string, 7> days_, shortDays_;
    mutable std::array<std::string, 12> months_, shortMonths_;
    mutable std::array<std::string, 2> amPm_;
};

}  // namespace qv
