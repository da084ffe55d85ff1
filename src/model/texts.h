#pragma once
// Sections and numbers of the language texts the alarm model shows, and the
// "#1", "#2", ... placeholders they carry.

#include <string>
#include <string_view>
#include <vector>

namespace qv::texts {

inline constexpr const char* kAlarm = "Alarm";
inline constexpr const char* kAlarmGroup = "AlarmGroup";
inline constexpr const char* kAction = "Action";

// "Alarm" texts 71..77 caption the seven items of an alarm's tool tip.
inline constexpr int kAlarmToolTipCaptions = 71;

// Replaces "#1", "#2", ... by the values in one pass, so a value that itself
// holds "#2" is left alone.
inline std::string fill(std::string_view text, const std::vector<std::string>& values) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '#' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const std::size_t k = static_cast<std::size_t>(text[i + 1] - '1');
            if (k < values.size()) {
                out += values[k];
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

}  // namespace qv::texts
