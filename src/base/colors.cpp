#include "base/colors.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "base/files.h"
#include "base/inifile.h"

namespace qv {
namespace {

constexpr std::int32_t rgb(int r, int g, int b) { return r + 256 * g + 65536 * b; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Digits of `base` only, at least one; the value must fit 32 bits unsigned.
std::optional<std::uint32_t> parseDigits(std::string_view s, int base) {
    if (s.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : s) {
        const int d = hexDigit(c);
        if (d < 0 || d >= base) return std::nullopt;
        v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
        if (v > 0xFFFFFFFFull) return std::nullopt;
    }
    return static_cast<std::uint32_t>(v);
}

int channel(std::int32_t c, int shift) { return (c >> shift) & 0xFF; }

constexpr std::int32_t kGradientSecondsCap = 315360000;  // ten years of 365 days

}  // namespace

SystemColors::~SystemColors() = default;

FixedSystemColors::FixedSystemColors() {
    // The classic light desktop.
    const std::array<std::int32_t, 31> defaults = {
        rgb(200, 200, 200), rgb(0, 0, 0),       rgb(153, 180, 209), rgb(191, 205, 219),
        rgb(240, 240, 240), rgb(255, 255, 255), rgb(100, 100, 100), rgb(0, 0, 0),
        rgb(0, 0, 0),       rgb(0, 0, 0),       rgb(180, 180, 180), rgb(244, 247, 252),
        rgb(171, 171, 171), rgb(0, 120, 215),   rgb(255, 255, 255), rgb(240, 240, 240),
        rgb(160, 160, 160), rgb(109, 109, 109), rgb(0, 0, 0),       rgb(0, 0, 0),
        rgb(255, 255, 255), rgb(105, 105, 105), rgb(227, 227, 227), rgb(0, 0, 0),
        rgb(255, 255, 225), rgb(0, 0, 0),       rgb(0, 102, 204),   rgb(185, 209, 234),
        rgb(215, 228, 242), rgb(0, 120, 215),   rgb(240, 240, 240)};
    std::copy(defaults.begin(), defaults.end(), colours_.begin());
}

std::int32_t FixedSystemColors::sysColor(int index) const {
    if (index < 0 || index >= static_cast<int>(colours_.size())) return 0;
    return colours_[static_cast<std::size_t>(index)];
}

void FixedSystemColors::set(int index, std::int32_t colour) {
    if (index >= 0 && index < static_cast<int>(colours_.size())) {
        colours_[static_cast<std::size_t>(index)] = colour;
    }
}

bool isSystemColour(std::int32_t colour) { return colour < 0 && colour != kNoColour; }

std::int32_t resolveColour(std::int32_t colour, const SystemColors& sys) {
    if (!isSystemColour(colour)) return colour;
    return sys.sysColor(static_cast<int>(static_cast<std::uint32_t>(colour) & 0x7FFFFFFFu));
}

modColors::modColors(const Folders& folders, const SystemColors& sys)
    : folders_(folders), sys_(sys) {
    resetColours();
}

void modColors::resetColours() { table_.fill(kNoColour); }

void modColors::setSchemeName(const std::string& cls) { name_ = cls; }

std::string modColors::schemeFilePath() const {
    if (name_.empty()) return {};
    return folders_.shippedFile(name_ + ".csc");
}

void modColors::loadColourScheme() {
    const std::string path = schemeFilePath();
    if (path.empty() || !fileExists(path)) name_.clear();
    for (int i = 0; i < kSchemeColourCount; ++i) {
        const std::string text =
            name_.empty() ? "-1"
                          : getPrivateProfileString("Colors", "s" + std::to_string(i), "-1", path);
        table_[static_cast<std::size_t>(i)] = text == "-1" ? kNoColour : parseColour(text);
    }
}

std::int32_t modColors::parseColour(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.empty()) return kNoColour;
    if (text.front() == '#') {
        if (text.size() < 7) return kNoColour;
        int parts[3];
        for (int k = 0; k < 3; ++k) {
            const int hi = hexDigit(text[1 + 2 * k]);
            const int lo = hexDigit(text[2 + 2 * k]);
            if (hi < 0 || lo < 0) return kNoColour;
            parts[k] = hi * 16 + lo;
        }
        return rgb(parts[0], parts[1], parts[2]);
    }
    if (text.front() != '&') return kNoColour;
    text.remove_prefix(1);
    // A long literal may carry the type suffix "&".
    if (!text.empty() && text.back() == '&') text.remove_suffix(1);
    if (text.empty()) return kNoColour;
    std::optional<std::uint32_t> v;
    if (text.front() == 'H' || text.front() == 'h') {
        v = parseDigits(text.substr(1), 16);
    } else if (text.front() == 'O' || text.front() == 'o') {
        v = parseDigits(text.substr(1), 8);
    } else {
        v = parseDigits(text, 10);
        if (v && *v > 0x7FFFFFFFu) return kNoColour;
    }
    if (!v) return kNoColour;
    return static_cast<std::int32_t>(*v);
}

std::int32_t modColors::getColour(int index, std::int32_t def) const {
    if (!schemeActive() || index < 0 || index >= kSchemeColourCount) return def;
    const std::int32_t c = table_[static_cast<std::size_t>(index)];
    return c == kNoColour ? def : c;
}

std::string modColors::getColourText(int index, std::int32_t def) const {
    return std::to_string(getColour(index, def));
}

std::string modColors::getNamedColour(const std::string& name, std::int32_t def) const {
    if (schemeActive()) {
        const std::int32_t c =
            parseColour(getPrivateProfileString("Colors", name, "-1", schemeFilePath()));
        if (c != kNoColour) return std::to_string(c);
    }
    return std::to_string(def);
}

std::string modColors::gradientColour(DateTime d1, DateTime d2, int indexNear, int indexFar,
                                      std::int32_t def) const {
    if (!schemeActive()) return std::to_string(def);
    const std::int32_t nearColour = resolveColour(getColour(indexNear, def), sys_);
    const std::int32_t farColour = resolveColour(getColour(indexFar, def), sys_);
    if (nearColour < 0 || farColour < 0) return std::to_string(def);

    std::int64_t diff = d2.seconds() - d1.seconds();
    if (diff < 0) diff = -diff;
    diff = std::min<std::int64_t>(diff, kGradientSecondsCap);
    const double s = std::max(1.0, static_cast<double>(diff) / 10.0);
    const double t = std::clamp(std::log10(s) / 7.5, 0.0, 1.0);

    std::int32_t result = 0;
    for (int shift : {0, 8, 16}) {
        const double v = (1.0 - t) * channel(nearColour, shift) + t * channel(farColour, shift);
        result |= static_cast<std::int32_t>(std::clamp<long>(std::lround(v), 0, 255)) << shift;
    }
    return std::to_string(result);
}

std::int32_t modColors::shadeColour(std::int32_t colour, double factor, bool lighten) const {
    if (colour == kNoColour) return kNoColour;
    const std::int32_t c = resolveColour(colour, sys_);
    if (c < 0) return kNoColour;
    if (!(factor > 0.0)) factor = 0.0;  // also NaN
    factor = std::min(factor, 1.0);
    std::int32_t result = 0;
    for (int shift : {0, 8, 16}) {
        const double v = channel(c, shift);
        const double shaded = lighten ? v + (255.0 - v) * factor : v - v * factor;
        result |= static_cast<std::int32_t>(std::clamp<long>(std::lround(shaded), 0, 255)) << shift;
    }
    return result;
}

}  // namespace qv
