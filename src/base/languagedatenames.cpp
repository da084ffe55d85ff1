#include "base/languagedatenames.h"

#include "base/translation.h"

namespace qv {

void LanguageDateNames::load() const {
    const unsigned generation = translation_ ? translation_->generation() : 0;
    if (loaded_ && loadedFrom_ == translation_ && loadedGeneration_ == generation) return;
    loaded_ = true;
    loadedFrom_ = translation_;
    loadedGeneration_ = generation;
    const EnglishDateNames english;
    auto read = [this](int number, const std::string& fallback) {
        if (!translation_) return fallback;
        const std::string v = translation_->readKey("Strings", "s" + std::to_string(number), "");
        return v.empty() ? fallback : v;
    };
    for (int i = 0; i < 7; ++i) {
        days_[static_cast<std::size_t>(i)] = read(11 + i, english.dayName(i + 1, false));
        shortDays_[static_cast<std::size_t>(i)] = read(41 + i, english.dayName(i + 1, true));
    }
    for (int i = 0; i < 12; ++i) {
        months_[static_cast<std::size_t>(i)] = read(51 + i, english.monthName(i + 1, false));
        shortMonths_[static_cast<std::size_t>(i)] = read(71 + i, english.monthName(i + 1, true));
    }
    amPm_[0] = read(91, "");
    amPm_[1] = read(92, "");
}

std::string LanguageDateNames::dayName(int weekday, bool abbreviated) const {
    if (weekday < 1 || weekday > 7) return {};
    load();
    const auto i = static_cast<std::size_t>(weekday - 1);
    return abbreviated ? shortDays_[i] : days_[i];
}

std::string LanguageDateNames::monthName(int month, bool abbreviated) const {
    if (month < 1 || month > 12) return {};
    load();
    const auto i = static_cast<std::size_t>(month - 1);
    return abbreviated ? shortMonths_[i] : months_[i];
}

std::string LanguageDateNames::amPmWord(bool pm) const {
    load();
    return amPm_[pm ? 1 : 0];
}

}  // namespace qv
