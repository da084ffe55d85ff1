#include "base/translation.h"

#include <charconv>

#include "base/files.h"
#include "base/inifile.h"

namespace qv {

modTranslation::modTranslation(const Folders& folders, RandomSource& random)
    : folders_(folders), random_(random) {}

void modTranslation::setLanguage(const std::string& lng) {
    lng_ = lng;
    ++generation_;
}

std::string modTranslation::languageFilePath() const { return folders_.shippedFile(lng_ + ".lng"); }

bool modTranslation::languageFileExists() const {
    return !lng_.empty() && fileExists(languageFilePath());
}

std::string modTranslation::getText(const std::string& section, int number) const {
    const std::string key = "s" + std::to_string(number);
    return readKey(section, key, "String [" + section + "] " + key + " not found");
}

std::string modTranslation::getUnitName(int unit, long amount) const {
    if (amount == 1 || amount == -1) {
        const std::string one = readKey("Strings", "s" + std::to_string(unit + 31), "");
        if (!one.empty()) return one;
    }
    return getString(unit + 1);
}

std::string modTranslation::getRandomText(const std::string& section, int number) {
    const std::string file = languageFilePath();
    const std::string stem = "s" + std::to_string(number) + "r";
    std::vector<std::string> variants;
    if (!lng_.empty()) {
        for (int i = 0;; ++i) {
            auto v = findProfileString(section, stem + std::to_string(i), file);
            if (!v) break;
            variants.push_back(std::move(*v));
        }
    }
    if (variants.empty()) return getText(section, number);
    const int pick = random_.below(static_cast<int>(variants.size()));
    return variants[static_cast<std::size_t>(pick)];
}

std::string modTranslation::languageId() const { return readKey("Language", "id", "en-us"); }

int modTranslation::languageMsid() const {
    const std::string text = readKey("Language", "msid", "-1");
    int value = -1;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end) return -1;
    return value;
}

std::string modTranslation::readKey(const std::string& section, const std::string& key,
                                    const std::string& def) const {
    if (lng_.empty()) return def;
    return getPrivateProfileString(section, key, def, languageFilePath());
}

std::vector<std::string> modTranslation::availableLanguages(const Folders& folders) {
    std::vector<std::string> names;
    for (const auto& path : folders.listShipped("*.lng")) names.push_back(baseNameOf(path));
    return names;
}

}  // namespace qv
