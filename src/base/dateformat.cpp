#include "base/dateformat.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace qv {
namespace {

constexpr std::array<const char*, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};
constexpr std::array<const char*, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    }
    return true;
}

// The AM/PM forms at `pos`: 5 for "AM/PM", 3 for "A/P", 0 for neither.
std::size_t ampmLength(std::string_view f, std::size_t pos) {
    if (equalsNoCase(f.substr(pos, 5), "am/pm")) return 5;
    if (equalsNoCase(f.substr(pos, 3), "a/p")) return 3;
    return 0;
}

// Length of the run of the same letter (any case) starting at `pos`.
std::size_t runLength(std::string_view f, std::size_t pos) {
    const char c = lowerAscii(f[pos]);
    std::size_t n = 1;
    while (pos + n < f.size() && lowerAscii(f[pos + n]) == c) ++n;
    return n;
}

// Skips a literal at `pos` (quoted text or an escaped character); returns the
// position after it, or `pos` when there is none.
std::size_t skipLiteral(std::string_view f, std::size_t pos, std::string* out) {
    if (f[pos] == '"') {
        const std::size_t close = f.find('"', pos + 1);
        const std::size_t end = close == std::string_view::npos ? f.size() : close;
        if (out) out->append(f.substr(pos + 1, end - pos - 1));
        return end == f.size() ? end : end + 1;
    }
    if (f[pos] == '\\') {
        if (pos + 1 < f.size() && out) out->push_back(f[pos + 1]);
        return pos + 1 < f.size() ? pos + 2 : pos + 1;
    }
    return pos;
}

bool hasAmPm(std::string_view f) {
    std::size_t i = 0;
    while (i < f.size()) {
        const std::size_t next = skipLiteral(f, i, nullptr);
        if (next != i) {
            i = next;
            continue;
        }
        if (ampmLength(f, i) > 0) return true;
        ++i;
    }
    return false;
}

void appendNumber(std::string& out, long long value, int minDigits) {
    char buf[32];
    if (value < 0) {
        out.push_back('-');
        value = -value;
    }
    std::snprintf(buf, sizeof buf, "%0*lld", minDigits, value);
    out += buf;
}

bool isLowerAscii(char c) { return c >= 'a' && c <= 'z'; }

// The AM/PM marker in the letter case the format gives, or the language's word.
void appendMarker(std::string& out, std::string_view token, bool pm, const DateNames& names) {
    const std::size_t half = token.size() == 5 ? 2 : 1;
    const std::string_view letters = token.substr(pm ? half + 1 : 0, half);
    std::string word = names.amPmWord(pm);
    if (word.empty()) {
        out.append(letters);
        return;
    }
    if (half == 1) {
        // The first letter, whole even when it takes several bytes.
        std::size_t n = 1;
        while (n < word.size() && (static_cast<unsigned char>(word[n]) & 0xC0) == 0x80) ++n;
        word.resize(n);
    }
    // A lower-case token asks for a lower-case word (ASCII letters only).
    if (isLowerAscii(letters[0]))
        for (char& c : word) c = lowerAscii(c);
    out += word;
}

}  // namespace

DateNames::~DateNames() = default;

std::string DateNames::amPmWord(bool) const { return {}; }

std::string EnglishDateNames::dayName(int weekday, bool abbreviated) const {
    if (weekday < 1 || weekday > 7) return {};
    const std::string full = kDayNames[static_cast<std::size_t>(weekday - 1)];
    return abbreviated ? full.substr(0, 3) : full;
}

std::string EnglishDateNames::monthName(int month, bool abbreviated) const {
    if (month < 1 || month > 12) return {};
    const std::string full = kMonthNames[static_cast<std::size_t>(month - 1)];
    return abbreviated ? full.substr(0, 3) : full;
}

int weekOfYear(DateTime d) {
    const int jan1 = DateTime::fromParts(d.year(), 1, 1).weekday();
    return (d.dayOfYear() + jan1 - 2) / 7 + 1;
}

std::string formatDate(DateTime d, std::string_view f, const DateNames& names) {
    if (f.empty()) return toStoredText(d);
    const bool twelveHour = hasAmPm(f);
    std::string out;
    char previous = 0;  // the letter of the last date/time token
    std::size_t i = 0;
    while (i < f.size()) {
        const std::size_t afterLiteral = skipLiteral(f, i, &out);
        if (afterLiteral != i) {
            i = afterLiteral;
            continue;
        }
        if (const std::size_t n = ampmLength(f, i); n > 0) {
            appendMarker(out, f.substr(i, n), d.hour() >= 12, names);
            i += n;
            continue;
        }
        const char c = lowerAscii(f[i]);
        const std::size_t run = runLength(f, i);
        std::size_t used = 0;
        switch (c) {
            case 'd':
                used = std::min<std::size_t>(run, 4);
                if (used == 1) appendNumber(out, d.day(), 1);
                if (used == 2) appendNumber(out, d.day(), 2);
                if (used == 3) out += names.dayName(d.weekday(), true);
                if (used == 4) out += names.dayName(d.weekday(), false);
                break;
            case 'm':
                used = std::min<std::size_t>(run, 4);
                if (used <= 2 && previous == 'h') {
                    appendNumber(out, d.minute(), static_cast<int>(used));
                    previous = 'n';
                    i += used;
                    continue;
                }
                if (used <= 2) appendNumber(out, d.month(), static_cast<int>(used));
                if (used == 3) out += names.monthName(d.month(), true);
                if (used == 4) out += names.monthName(d.month(), false);
                break;
            case 'y':
                used = run >= 4 ? 4 : run >= 2 ? 2 : 1;
                if (used == 1) appendNumber(out, d.dayOfYear(), 1);
                if (used == 2) appendNumber(out, ((d.year() % 100) + 100) % 100, 2);
                if (used == 4) appendNumber(out, d.year(), 4);
                break;
            case 'h': {
                used = std::min<std::size_t>(run, 2);
                int h = d.hour();
                if (twelveHour) h = h % 12 == 0 ? 12 : h % 12;
                appendNumber(out, h, static_cast<int>(used));
                break;
            }
            case 'n':
                used = std::min<std::size_t>(run, 2);
                appendNumber(out, d.minute(), static_cast<int>(used));
                break;
            case 's':
                used = std::min<std::size_t>(run, 2);
                appendNumber(out, d.second(), static_cast<int>(used));
                break;
            case 'w':
                used = std::min<std::size_t>(run, 2);
                appendNumber(out, used == 1 ? d.weekday() : weekOfYear(d), 1);
                break;
            case 'q':
                used = 1;
                appendNumber(out, (d.month() - 1) / 3 + 1, 1);
                break;
            default:
                out.push_back(f[i]);
                ++i;
                continue;
        }
        previous = c;
        i += used;
    }
    return out;
}

}  // namespace qv
