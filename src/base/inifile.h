#pragma once
// Profile (INI) files: the language files and the colour schemes.
//
// A line "[name]" opens a section, "key=value" gives a value. Sections and keys
// match without regard to (ASCII) case and the first match in the file wins;
// blanks around names and values are trimmed and one pair of double quotes
// around a value is removed; lines starting with ";" are comments. Values are
// cut at 1023 bytes (never inside a UTF-8 character). CRLF, lone CR, a UTF-8
// byte-order mark and a last line without a newline are all fine.
//
// Parsed files are cached by path, modification time and size, so thousands of
// lookups read a file once; a changed file is read again.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qv {

inline constexpr std::size_t kProfileValueLimit = 1023;

// Profile text parsed once for lookups.
class ProfileText {
  public:
    ProfileText() = default;
    explicit ProfileText(std::string_view text);
    std::optional<std::string> find(std::string_view section, std::string_view key) const;
    std::size_t size() const { return values_.size(); }

  private:
    // Lower-case section, NUL, lower-case key -> value (the first in the file).
    std::unordered_map<std::string, std::string> values_;
};

// The value, or `def` when the file, the section or the key is missing.
std::string getPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& def, const std::string& file);

// The value, or nothing when the file, the section or the key is missing.
std::optional<std::string> findProfileString(const std::string& section, const std::string& key,
                                             const std::string& file);

// Drops every cached file (tests; a tool that rewrites files within the same
// second and size).
void clearProfileCache();

// The current profile file and section, for code that reads many keys of one file.
class modIniFileHandling {
  public:
    // Sets the current file; usable when the path is not empty and the file exists.
    void setProfileFile(const std::string& path);
    void setProfileSection(const std::string& section);

    const std::string& profileFile() const { return file_; }
    const std::string& profileSection() const { return section_; }
    bool usable() const { return usable_; }

    // In the current file and section; `def` when the file is not usable.
    std::string readProfileValue(const std::string& key, const std::string& def) const;
    // In the current file; `def` when the file is not usable.
    std::string readProfileSectionValue(const std::string& section, const std::string& key,
                                        const std::string& def) const;
    // Anywhere.
    static std::string readProfileFileValue(const std::string& file, const std::string& section,
                                            const std::string& key, const std::string& def);

  private:
    std::string file_;
    std::string section_;
    bool usable_ = false;
};

}  // namespace qv
