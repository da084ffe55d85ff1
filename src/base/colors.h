#pragma once
// Colour schemes ("<cls>.csc"): up to 50 numbered colours and any number of
// named colours, each falling back to the caller's built-in colour.
//
// Colours are kept in the stored form: red in the low byte, then green, then
// blue (red + 256 * green + 65536 * blue); -1 is "no colour"; other negative
// values are system colours (0x80000000 | index).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/datetime.h"
#include "base/folders.h"

namespace qv {

// The system window-text colour in stored form (-2147483640).
inline constexpr std::int32_t kWindowTextColour = static_cast<std::int32_t>(0x80000008);
inline constexpr std::int32_t kNoColour = -1;
inline constexpr int kSchemeColourCount = 50;

// The desktop's system colours by their index (8 window text, 5 window,
// 15 button face, 18 button text, ...), in stored form.
struct SystemColors {
    virtual ~SystemColors();
    virtual std::int32_t sysColor(int index) const = 0;
};

// The classic light desktop colours; for tests and tools.
class FixedSystemColors : public SystemColors {
  public:
    FixedSystemColors();
    std::int32_t sysColor(int index) const override;  // 0 for unknown indices
    void set(int index, std::int32_t colour);

  private:
    std::array<std::int32_t, 32> colours_{};
};

bool isSystemColour(std::int32_t colour);
// A system colour through `sys`; any other colour unchanged.
std::int32_t resolveColour(std::int32_t colour, const SystemColors& sys);

class modColors {
  public:
    // Both are referenced; they must outlive this object.
    modColors(const Folders& folders, const SystemColors& sys);

    // Every numbered colour undefined.
    void resetColours();

    // The scheme's base name (the "cls" setting); "" = no scheme.
    void setSchemeName(const std::string& cls);
    const std::string& schemeName() const { return name_; }
    bool schemeActive() const { return !name_.empty(); }
    // The program folder's "<cls>.csc", else the shipped folder's; "" without a scheme.
    std::string schemeFilePath() const;

    // Reads the numbered colours of the scheme. A missing scheme file empties
    // the scheme name (the caller saves the setting back) and leaves every
    // colour undefined.
    void loadColourScheme();

    // "#RRGGBB"; "&H<hex>", "&O<octal>" or "&<decimal>" (an optional trailing
    // "&" is allowed) as the stored value itself; anything else, or a value
    // outside 32 bits, is -1.
    static std::int32_t parseColour(std::string_view text);

    // Numbered colour `index` (0..49) when a scheme defines it, else `def`.
    std::int32_t getColour(int index, std::int32_t def) const;
    std::string getColourText(int index, std::int32_t def) const;
    // Key `name` of the scheme's "Colors" section as decimal text, else `def`.
    std::string getNamedColour(const std::string& name, std::int32_t def) const;

    // A colour between numbered colours indexNear and indexFar by the distance
    // of d1 and d2 (10 s or less: the near colour; ten years: practically the
    // far one), as decimal text. Without a scheme: `def`. An undefined end
    // takes `def`; system colours are resolved first; when an end is still no
    // colour, `def`.
    std::string gradientColour(DateTime d1, DateTime d2, int indexNear, int indexFar,
                               std::int32_t def) const;

    // Moves each channel towards white (lighten) or black by `factor`, clamped
    // to 0..1 (1 gives white or black). System colours are resolved first;
    // "no colour" stays -1.
    std::int32_t shadeColour(std::int32_t colour, double factor, bool lighten) const;

  private:
    const Folders& folders_;
    const SystemColors& sys_;
    std::string name_;
    std::array<std::int32_t, kSchemeColourCount> table_;
};

}  // namespace qv
