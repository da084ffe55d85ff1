#pragma once
// Language texts: numbered texts of the language file ("<lng>.lng"), looked up
// by section and number, and random variants of a text.

#include <string>
#include <vector>

#include "base/folders.h"
#include "base/random.h"

namespace qv {

class modTranslation {
  public:
    // Both are referenced, not copied; they must outlive this object.
    modTranslation(const Folders& folders, RandomSource& random);

    // The base name of the language file ("English").
    void setLanguage(const std::string& lng);
    const std::string& language() const { return lng_; }
    // Counts the language choices: what was read from the language file
    // stays good while this is unchanged.
    unsigned generation() const { return generation_; }

    // The program folder's "<lng>.lng", else the shipped folder's (the
    // program-folder path when neither exists).
    std::string languageFilePath() const;
    bool languageFileExists() const;

    // Key "s<number>" of `section`; "String [<section>] s<number> not found"
    // when missing.
    std::string getText(const std::string& section, int number) const;
    std::string getString(int number) const { return getText("Strings", number); }
    std::string getMainText(int number) const { return getText("frmQuorvaneMain", number); }
    // The name of time unit `unit` (0 seconds .. 6 weeks) for `amount` of it:
    // the singular (Strings s31..s37) for one, else the plural (s1..s7).
    std::string getUnitName(int unit, long amount) const;

    // One of the variants "s<number>r0", "r1", ... (up to the first missing
    // one), chosen with the random source; getText(section, number) when there
    // are none.
    std::string getRandomText(const std::string& section, int number);

    // [Language] id (default "en-us") and msid (default -1; -1 for text that
    // is not a number).
    std::string languageId() const;
    int languageMsid() const;

    // Any key of the language file (window and control captions).
    std::string readKey(const std::string& section, const std::string& key,
                        const std::string& def) const;

    // Base names of every "*.lng" of the program and shipped folders, sorted.
    static std::vector<std::string> availableLanguages(const Folders& folders);

  private:
    const Folders& folders_;
    RandomSource& random_;
    std::string lng_;
    unsigned generation_ = 0;
};

}  // namespace qv
