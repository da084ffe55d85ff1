#include "base/inifile.h"

#include <sys/stat.h>

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "base/files.h"

namespace qv {
namespace {

// A few files at a time are in use (the language file, the colour scheme);
// more than this are dropped, oldest first.
constexpr std::size_t kCachedFiles = 8;

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowerCopy(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = lowerAscii(c);
    return out;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Cuts at the buffer size without splitting a UTF-8 sequence.
std::string_view cutValue(std::string_view v) {
    if (v.size() <= kProfileValueLimit) return v;
    std::size_t n = kProfileValueLimit;
    // Step back over continuation bytes to the start of the cut character.
    std::size_t start = n;
    while (start > 0 && n - start < 3 && (static_cast<unsigned char>(v[start]) & 0xC0) == 0x80) {
        --start;
    }
    if (start < n) {
        const auto lead = static_cast<unsigned char>(v[start]);
        const std::size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (start + len > n) n = start;
    }
    return v.substr(0, n);
}

// Lookup key: lower-case section, a NUL, lower-case key.
std::string lookupKey(std::string_view section, std::string_view key) {
    std::string k = lowerCopy(trimBlanks(section));
    k.push_back('\0');
    k += lowerCopy(trimBlanks(key));
    return k;
}

}  // namespace

ProfileText::ProfileText(std::string_view text) {
    std::string_view rest(text);
    if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
    std::string section;
    bool inSection = false;
    while (!rest.empty()) {
        const std::size_t eol = rest.find_first_of("\r\n");
        std::string_view line = rest.substr(0, eol);
        rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol + 1);
        line = trimBlanks(line);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            line.remove_prefix(1);
            const std::size_t close = line.find(']');
            if (close != std::string_view::npos) line = line.substr(0, close);
            section = lowerCopy(trimBlanks(line));
            inSection = true;
            continue;
        }
        if (!inSection) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = trimBlanks(line.substr(0, eq));
        std::string_view value = trimBlanks(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        std::string k = section;
        k.push_back('\0');
        k += lowerCopy(key);
        // First match wins: a later duplicate never replaces an earlier value.
        values_.emplace(std::move(k), std::string(cutValue(value)));
    }
}

std::optional<std::string> ProfileText::find(std::string_view section, std::string_view key) const {
    const auto it = values_.find(lookupKey(section, key));
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

namespace {

struct FileStamp {
    std::int64_t mtimeSec = 0;
    std::int64_t mtimeNsec = 0;
    std::int64_t size = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileStamp&) const = default;
};

std::optional<FileStamp> stampOf(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return FileStamp{static_cast<std::int64_t>(st.st_mtim.tv_sec),
                     static_cast<std::int64_t>(st.st_mtim.tv_nsec),
                     static_cast<std::int64_t>(st.st_size), static_cast<std::uint64_t>(st.st_ino)};
}

struct CacheEntry {
    std::string path;
    FileStamp stamp;
    std::shared_ptr<const ProfileText> parsed;
};

std::mutex cacheMutex;
std::list<CacheEntry> cache;  // most recently used first

std::shared_ptr<const ProfileText> loadParsed(const std::string& path) {
    const auto stamp = stampOf(path);
    if (!stamp) return nullptr;
    {
        std::lock_guard lock(cacheMutex);
        for (auto it = cache.begin(); it != cache.end(); ++it) {
            if (it->path != path) continue;
            if (it->stamp == *stamp) {
                cache.splice(cache.begin(), cache, it);
                return cache.front().parsed;
            }
            cache.erase(it);
            break;
        }
    }
    const auto text = tryReadFile(path);
    if (!text) return nullptr;
    auto parsed = std::make_shared<const ProfileText>(*text);
    std::lock_guard lock(cacheMutex);
    cache.push_front(CacheEntry{path, *stamp, parsed});
    while (cache.size() > kCachedFiles) cache.pop_back();
    return parsed;
}

}  // namespace

std::optional<std::string> findProfileString(const std::string& section, const std::string& key,
                                             const std::string& file) {
    const auto parsed = loadParsed(file);
    if (!parsed) return std::nullopt;
    return parsed->find(section, key);
}

std::string getPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& def, const std::string& file) {
    auto value = findProfileString(section, key, file);
    // The default goes through the same buffer as a value.
    return value ? std::move(*value) : std::string(cutValue(def));
}

void clearProfileCache() {
    std::lock_guard lock(cacheMutex);
    cache.clear();
}

void modIniFileHandling::setProfileFile(const std::string& path) {
    file_ = path;
    usable_ = !path.empty() && fileExists(path);
}

void modIniFileHandling::setProfileSection(const std::string& section) { section_ = section; }

std::string modIniFileHandling::readProfileValue(const std::string& key,
                                                 const std::string& def) const {
    if (!usable_) return def;
    return getPrivateProfileString(section_, key, def, file_);
}

std::string modIniFileHandling::readProfileSectionValue(const std::string& section,
                                                        const std::string& key,
                                                        const std::string& def) const {
    if (!usable_) return def;
    return getPrivateProfileString(section, key, def, file_);
}

std::string modIniFileHandling::readProfileFileValue(const std::string& file,
                                                     const std::string& section,
                                                     const std::string& key,
                                                     const std::string& def) {
    return getPrivateProfileString(section, key, def, file);
}

}  // namespace qv
