#include "core/modsecretary.h"

#include <charconv>
#include <cstdlib>

#include "core/program.h"

namespace qv {

namespace {

constexpr const char* kSection = "assistant";
constexpr int kFirstUnitName = 21;  // "Strings" 21 + unit code: the unit's name
constexpr int kClosing = 300;

// The keys of a block, as offsets from its number (the language file fills
// them in):
//   +1 sentence when no alarm lies ahead
//   +2 sentence for one alarm
//   +3 sentence for several alarms
//   +4 look-ahead amount
//   +5 look-ahead time unit code
//   +6 minimum importance of the alarms counted
//   +7 sentence for many alarms
//   +8 the count from which the sentence for many is used (0: never)
// In the sentences "#1" is the number of alarms and "#2" the unit's name.
constexpr int kNone = 1, kOne = 2, kSeveral = 3, kAmount = 4, kUnit = 5, kMinImportance = 6,
              kMany = 7, kManyFrom = 8;

// However far a language file looks ahead, the alarms are counted over one
// year at most: a longer stretch says nothing more and could take very long.
constexpr int kLongestLookAheadYears = 1;

std::string fillIn(const std::string& sentence, const std::string& one, const std::string& two) {
    std::string out;
    out.reserve(sentence.size() + one.size() + two.size());
    for (std::size_t i = 0; i < sentence.size(); ++i) {
        if (sentence[i] == '#' && i + 1 < sentence.size() &&
            (sentence[i + 1] == '1' || sentence[i + 1] == '2')) {
            out += sentence[i + 1] == '1' ? one : two;
            ++i;
        } else {
            out += sentence[i];
        }
    }
    return out;
}

// An empty sentence in the language file leaves that part out.
void say(ActionPerformer& performer, const std::string& text) {
    if (!text.empty()) performer.speak(text);
}

}  // namespace

modSecretary::modSecretary(Program& program) : p_(program) {}

void modSecretary::runAssistant() {
    if (p_.supervision.blocked) return;
    const DateTime now = p_.now();
    p_.random.seed(static_cast<std::uint32_t>(p_.ports.clock.secondsSinceMidnight() * 1000));
    // Two hour boundaries either way: a clock set back by days must not keep
    // the assistant quiet until it catches up with the last run again.
    if (lastAssistantRun != kDayZero && std::abs(dateDiff(lastAssistantRun, now, kHours)) < 2)
        return;
    say(p_.ports.performer, getAssistantText(now.hour() / 6));
    tellBlock(now, 100);
    tellBlock(now, 200);
    say(p_.ports.performer, getAssistantText(kClosing));
    lastAssistantRun = now;
}

std::string modSecretary::getAssistantText(int number) {
    return p_.translation.getRandomText(kSection, number);
}

int modSecretary::getAssistantNumber(int number) {
    const std::string text = getAssistantText(number);
    std::size_t from = text.find_first_not_of(" \t");
    std::size_t to = text.find_last_not_of(" \t");
    if (from == std::string::npos) return 0;
    if (text[from] == '+') ++from;
    int value = 0;
    const char* first = text.data() + from;
    const char* last = text.data() + to + 1;
    const auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last ? value : 0;
}

void modSecretary::tellBlock(DateTime now, int block) {
    const int amount = getAssistantNumber(block + kAmount);
    const int unit = getAssistantNumber(block + kUnit);
    if (amount <= 0 || unit < kSeconds || unit > kWeeks) return;  // no stretch to look at
    DateTime until = addToDate(now, amount, unit);
    const DateTime longest = addToDate(now, kLongestLookAheadYears, kYears);
    if (until > longest) until = longest;

    const int count =
        static_cast<int>(p_.control
                             .listOccurrences(now, until, p_.settings.igc,
                                              getAssistantNumber(block + kMinImportance))
                             .size());
    const int manyFrom = getAssistantNumber(block + kManyFrom);
    int sentence = kSeveral;
    if (count == 0)
        sentence = kNone;
    else if (count == 1)
        sentence = kOne;
    else if (manyFrom > 0 && count >= manyFrom)
        sentence = kMany;
    say(p_.ports.performer, fillIn(getAssistantText(block + sentence), std::to_string(count),
                                   p_.translation.getString(kFirstUnitName + unit)));
}

}  // namespace qv
