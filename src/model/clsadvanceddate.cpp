#include "model/clsadvanceddate.h"

#include <array>
#include <memory>
#include <utility>

// Details the rewriting leaves open, read strictly so that a typing error in an
// expression shows up as an error rather than as a silently wrong restriction:
//  - After the comparisons are folded, the text must be a clean sequence of the
//    words TRUE and FALSE (any case) joined by "&&" and "||", with balanced
//    parentheses around non-empty groups. Anything else raises: an unknown word,
//    a stray "&", "|" or parenthesis, "&&" or "||" with no term on either side,
//    two terms without an operator between them ("(TRUE)FALSE"), and "()".
//    Only the whole expression may be empty (it is false).
//  - The text between two paired numbers is the operator. "==", "!=", "<=" and
//    ">=" compare; any other text made only of the characters < > = ! (such as
//    "<", "=" or "=>") is a comparison that is false. Text with any other
//    character ("1 && 2", "(1) == (2)", "1 TRUE 2") raises.
//  - A number is a maximal run of digits after the names are replaced; it must
//    fit 16 bits (leading zeros allowed). A keyword whose value is negative
//    (YEAR before year 0) raises, as the language has no sign.
// Folding is done without recursion, so deep nesting costs no stack.

namespace qv {
namespace {

constexpr std::array<std::string_view, 10> kKeywords = {
    "SECOND",      "MINUTE",    "HOUR",  "WEEKDAY", "DAYOFMONTH", "DAYSBEFORENEXTMONTH",
    "DAYSINMONTH", "DAYOFYEAR", "MONTH", "YEAR"};
constexpr std::array<std::string_view, 7> kWeekdays = {"SUNDAY",   "MONDAY", "TUESDAY", "WEDNESDAY",
                                                       "THURSDAY", "FRIDAY", "SATURDAY"};
constexpr std::int64_t kMax16 = 32767;

[[noreturn]] void raise(ExpressionFault fault) { throw AdvancedDateError(fault); }

const char* faultText(ExpressionFault fault) {
    switch (fault) {
        case ExpressionFault::kMalformed:
            break;
        case ExpressionFault::kNegativeValue:
            return "a date value in the expression is negative";
        case ExpressionFault::kTextBetweenNumbers:
            return "unexpected text between two numbers";
        case ExpressionFault::kTooLarge:
            return "a number in the expression does not fit 16 bits";
        case ExpressionFault::kNoPartner:
            return "a number has no partner to be compared with";
        case ExpressionFault::kUnknownWord:
            return "unknown word in the expression";
        case ExpressionFault::kEmptyParentheses:
            return "empty parentheses in the expression";
        case ExpressionFault::kMissingOperator:
            return "missing && or || in the expression";
        case ExpressionFault::kNothingAfterOperator:
            return "&& or || with nothing after it";
        case ExpressionFault::kNothingBeforeOperator:
            return "&& or || without a term before it";
        case ExpressionFault::kCloseWithoutOpen:
            return "a ')' without its '('";
        case ExpressionFault::kOpenWithoutClose:
            return "a '(' without its ')'";
    }
    return "malformed expression";
}

// The keyword values of one date-time; year, month and day are worked out once.
class DateValues {
  public:
    explicit DateValues(DateTime date) : date_(date) {}

    // Raises for a negative value (a year before 0): the language has no sign.
    std::int64_t get(int keyword) {
        const std::int64_t v = value(keyword);
        if (v < 0) raise(ExpressionFault::kNegativeValue);
        return v;
    }

  private:
    std::int64_t value(int keyword) {
        switch (keyword) {
            case 0:
                return date_.second();
            case 1:
                return date_.minute();
            case 2:
                return date_.hour();
            case 3:
                return date_.weekday();
            case 7:
                return date_.dayOfYear();
            default:
                break;
        }
        if (!haveCivil_) {
            const DateTime::YearMonthDay c = date_.ymd();
            year_ = c.year;
            month_ = c.month;
            day_ = c.day;
            haveCivil_ = true;
        }
        switch (keyword) {
            case 4:
                return day_;
            case 5:
                return daysInMonth(year_, month_) - day_ + 1;
            case 6:
                return daysInMonth(year_, month_);
            case 8:
                return month_;
            default:
                return year_;
        }
    }

    DateTime date_;
    bool haveCivil_ = false;
    int year_ = 0;
    int month_ = 0;
    int day_ = 0;
};

// Spaces go, letters become upper case (ASCII only; other bytes stay as they are).
std::string normalise(std::string_view expression) {
    std::string text;
    text.reserve(expression.size());
    for (const char c : expression) {
        if (c == ' ') continue;
        text.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
    return text;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isComparisonChar(char c) { return c == '<' || c == '>' || c == '=' || c == '!'; }

enum class Relation { kEq, kNe, kLe, kGe, kNever };

// The operator text between two numbers; raises for text that is no operator.
template <typename CharAt>
Relation classifyOperator(std::size_t length, CharAt charAt) {
    for (std::size_t i = 0; i < length; ++i) {
        if (!isComparisonChar(charAt(i))) raise(ExpressionFault::kTextBetweenNumbers);
    }
    if (length != 2 || charAt(1) != '=') return Relation::kNever;
    switch (charAt(0)) {
        case '=':
            return Relation::kEq;
        case '!':
            return Relation::kNe;
        case '<':
            return Relation::kLe;
        case '>':
            return Relation::kGe;
        default:
            return Relation::kNever;
    }
}

bool holds(std::int64_t a, std::int64_t b, Relation r) {
    switch (r) {
        case Relation::kEq:
            return a == b;
        case Relation::kNe:
            return a != b;
        case Relation::kLe:
            return a <= b;
        case Relation::kGe:
            return a >= b;
        default:
            return false;
    }
}

[[noreturn]] void raiseTooLarge() { raise(ExpressionFault::kTooLarge); }

// ---- The plain evaluator: rewriting the text step by step. ----

std::string replaceAll(const std::string& text, std::string_view name, std::string_view by) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find(name, pos)) != std::string::npos;) {
        out.append(text, pos, hit - pos);
        out.append(by);
        pos = hit + name.size();
    }
    out.append(text, pos);
    return out;
}

std::int64_t parseNumber(std::string_view digits) {
    std::int64_t v = 0;
    for (const char c : digits) {
        v = v * 10 + (c - '0');
        if (v > kMax16) raiseTooLarge();
    }
    return v;
}

// Each pair of digit runs, with the text between them, becomes TRUE or FALSE.
// The words put in contain no digits, so one pass from the left gives the same
// text as folding the first pair again and again.
std::string foldComparisons(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    const std::size_t n = text.size();
    for (;;) {
        std::size_t leftBegin = pos;
        while (leftBegin < n && !isDigit(text[leftBegin])) ++leftBegin;
        out.append(text, pos, leftBegin - pos);
        if (leftBegin == n) return out;
        std::size_t leftEnd = leftBegin;
        while (leftEnd < n && isDigit(text[leftEnd])) ++leftEnd;
        std::size_t rightBegin = leftEnd;
        while (rightBegin < n && !isDigit(text[rightBegin])) ++rightBegin;
        if (rightBegin == n) raise(ExpressionFault::kNoPartner);
        std::size_t rightEnd = rightBegin;
        while (rightEnd < n && isDigit(text[rightEnd])) ++rightEnd;

        const std::int64_t a =
            parseNumber(std::string_view(text).substr(leftBegin, leftEnd - leftBegin));
        const std::int64_t b =
            parseNumber(std::string_view(text).substr(rightBegin, rightEnd - rightBegin));
        const Relation r = classifyOperator(rightBegin - leftEnd,
                                            [&](std::size_t i) { return text[leftEnd + i]; });
        out.append(holds(a, b, r) ? "TRUE" : "FALSE");
        pos = rightEnd;
    }
}

// Reads TRUE or FALSE at pos.
bool readWord(const std::string& text, std::size_t& pos) {
    if (text.compare(pos, 4, "TRUE") == 0) {
        pos += 4;
        return true;
    }
    if (text.compare(pos, 5, "FALSE") == 0) {
        pos += 5;
        return false;
    }
    raise(ExpressionFault::kUnknownWord);
}

// Folds a text without parentheses from the left.
bool foldWords(const std::string& text, bool whole) {
    if (text.empty()) {
        if (whole) return false;
        raise(ExpressionFault::kEmptyParentheses);
    }
    std::size_t pos = 0;
    bool value = readWord(text, pos);
    while (pos < text.size()) {
        const bool isAnd = text.compare(pos, 2, "&&") == 0;
        if (!isAnd && text.compare(pos, 2, "||") != 0) raise(ExpressionFault::kMissingOperator);
        pos += 2;
        if (pos == text.size()) raise(ExpressionFault::kNothingAfterOperator);
        const bool next = readWord(text, pos);
        value = isAnd ? (value && next) : (value || next);
    }
    return value;
}

// Each parenthesised group is folded to a word in its parent's text: innermost
// groups finish first, with one text per open level instead of recursion.
bool foldBoolean(const std::string& text) {
    std::vector<std::string> levels(1);
    for (const char c : text) {
        if (c == '(') {
            levels.emplace_back();
        } else if (c == ')') {
            if (levels.size() == 1) raise(ExpressionFault::kCloseWithoutOpen);
            const bool v = foldWords(levels.back(), false);
            levels.pop_back();
            levels.back().append(v ? "TRUE" : "FALSE");
        } else {
            levels.back().push_back(c);
        }
    }
    if (levels.size() != 1) raise(ExpressionFault::kOpenWithoutClose);
    return foldWords(levels.front(), true);
}

}  // namespace

bool clsAdvancedDate::getDateEval(DateTime date, std::string_view expression) {
    std::string text = normalise(expression);
    if (text.empty()) return false;
    DateValues values(date);
    for (std::size_t k = 0; k < kKeywords.size(); ++k) {
        if (text.find(kKeywords[k]) == std::string::npos) continue;
        const std::string value = std::to_string(values.get(static_cast<int>(k)));
        text = replaceAll(text, kKeywords[k], value);
    }
    for (std::size_t w = 0; w < kWeekdays.size(); ++w) {
        text = replaceAll(text, kWeekdays[w], std::to_string(w + 1));
    }
    return foldBoolean(foldComparisons(text));
}

// ---- The compiled form. ----
//
// Replacing names only ever puts digits where letters were, so which digit runs
// pair up, the operators between them and the boolean skeleton are the same for
// every date; only the values of the runs change. The compiler replays the
// rewriting on a text whose keyword occurrences are placeholders.

class AdvancedDateCompiler {
  public:
    using Program = AdvancedDateProgram;
    // Comparisons store the relation as the program's own enumeration.
    static_assert(static_cast<int>(Program::Op::kEq) == static_cast<int>(Relation::kEq) &&
                  static_cast<int>(Program::Op::kNe) == static_cast<int>(Relation::kNe) &&
                  static_cast<int>(Program::Op::kLe) == static_cast<int>(Relation::kLe) &&
                  static_cast<int>(Program::Op::kGe) == static_cast<int>(Relation::kGe) &&
                  static_cast<int>(Program::Op::kNever) == static_cast<int>(Relation::kNever));

    static void compile(Program& p, std::string_view expression) {
        try {
            build(p, expression);
        } catch (const AdvancedDateError& e) {
            p.malformed_ = true;
            p.fault_ = e.fault();
            p.parts_.clear();
            p.runs_.clear();
            p.comparisons_.clear();
            p.code_.clear();
        }
    }

  private:
    // A character of the rewritten text, or kSlot + keyword for a keyword's value.
    using Cell = std::int32_t;
    static constexpr Cell kSlot = 256;

    struct Operand {
        bool dynamic;
        std::int64_t value;  // constant value, or index into runs_
    };

    static bool isDigitCell(Cell c) { return c >= kSlot || (c >= '0' && c <= '9'); }

    static void replaceNames(std::vector<Cell>& cells, std::string_view name, Cell by,
                             bool& replaced) {
        std::vector<Cell> out;
        out.reserve(cells.size());
        std::size_t i = 0;
        while (i < cells.size()) {
            bool match = i + name.size() <= cells.size();
            for (std::size_t j = 0; match && j < name.size(); ++j) {
                match = cells[i + j] == static_cast<unsigned char>(name[j]);
            }
            if (match) {
                out.push_back(by);
                replaced = true;
                i += name.size();
            } else {
                out.push_back(cells[i++]);
            }
        }
        cells.swap(out);
    }

    static Operand makeOperand(Program& p, const std::vector<Cell>& cells, std::size_t begin,
                               std::size_t end) {
        const auto firstPart = static_cast<std::uint32_t>(p.parts_.size());
        bool dynamic = false;
        for (std::size_t i = begin; i < end;) {
            if (cells[i] >= kSlot) {
                p.parts_.push_back({static_cast<std::int8_t>(cells[i] - kSlot), 0, 0});
                dynamic = true;
                ++i;
                continue;
            }
            std::int32_t value = 0;
            std::int32_t length = 0;
            for (; i < end && cells[i] < kSlot; ++i, ++length) {
                value = value * 10 + (cells[i] - '0');
                if (value > kMax16) value = kMax16 + 1;  // saturated: too large anyway
            }
            p.parts_.push_back({-1, value, length});
        }
        const auto count = static_cast<std::uint32_t>(p.parts_.size()) - firstPart;
        if (!dynamic) {
            // Only literal digits: always the same number.
            std::int64_t v = 0;
            for (std::uint32_t k = firstPart; k < firstPart + count; ++k) {
                v = appendDigits(v, p.parts_[k].value, p.parts_[k].length);
            }
            p.parts_.resize(firstPart);
            return {false, v};
        }
        p.runs_.push_back({firstPart, count});
        return {true, static_cast<std::int64_t>(p.runs_.size() - 1)};
    }

  public:
    // The number whose digits are those of v followed by `length` digits of
    // value p (p < 10^length); raises when it does not fit 16 bits.
    static std::int64_t appendDigits(std::int64_t v, std::int64_t p, std::int32_t length) {
        static constexpr std::int64_t kPow10[] = {1, 10, 100, 1000, 10000, 100000};
        if (v == 0) {
            v = p;
        } else {
            if (length > 5) raiseTooLarge();
            v = v * kPow10[length] + p;
        }
        if (v > kMax16) raiseTooLarge();
        return v;
    }

  private:
    struct Level {
        bool haveTerm = false;
        bool pending = false;
        Program::Code pendingOp = Program::Code::kAnd;
    };

    static void build(Program& p, std::string_view expression) {
        const std::string text = normalise(expression);
        if (text.empty()) {
            p.empty_ = true;
            return;
        }
        std::vector<Cell> cells(text.begin(), text.end());
        for (Cell& c : cells) c = static_cast<unsigned char>(c);
        for (std::size_t k = 0; k < kKeywords.size(); ++k) {
            bool replaced = false;
            replaceNames(cells, kKeywords[k], kSlot + static_cast<Cell>(k), replaced);
            if (replaced) p.keywordsUsed_ |= static_cast<std::uint16_t>(1u << k);
        }
        for (std::size_t w = 0; w < kWeekdays.size(); ++w) {
            bool replaced = false;
            replaceNames(cells, kWeekdays[w], static_cast<Cell>('1' + w), replaced);
        }

        // Digit runs pair up from the left into comparisons.
        struct Span {
            std::size_t begin, end;
        };
        std::vector<Span> runSpans;
        for (std::size_t i = 0; i < cells.size();) {
            if (!isDigitCell(cells[i])) {
                ++i;
                continue;
            }
            const std::size_t begin = i;
            while (i < cells.size() && isDigitCell(cells[i])) ++i;
            runSpans.push_back({begin, i});
        }

        // Leaves: comparison index, or the constant outcome; span of each.
        struct Leaf {
            std::size_t begin, end;
            int constant;  // -1 dynamic, 0 false, 1 true
            std::uint32_t index;
        };
        std::vector<Leaf> leaves;
        for (std::size_t r = 0; r + 1 < runSpans.size(); r += 2) {
            const Span& l = runSpans[r];
            const Span& rt = runSpans[r + 1];
            const Operand a = makeOperand(p, cells, l.begin, l.end);
            const Operand b = makeOperand(p, cells, rt.begin, rt.end);
            const Relation rel = classifyOperator(rt.begin - l.end, [&](std::size_t i) {
                return static_cast<char>(cells[l.end + i]);
            });
            if (!a.dynamic && !b.dynamic) {
                leaves.push_back({l.begin, rt.end, holds(a.value, b.value, rel) ? 1 : 0, 0});
                continue;
            }
            Program::Comparison c{};
            c.leftDynamic = a.dynamic;
            c.rightDynamic = b.dynamic;
            c.left = a.value;
            c.right = b.value;
            c.op = static_cast<Program::Op>(rel);
            p.comparisons_.push_back(c);
            leaves.push_back(
                {l.begin, rt.end, -1, static_cast<std::uint32_t>(p.comparisons_.size() - 1)});
        }
        if (runSpans.size() % 2 != 0) raise(ExpressionFault::kNoPartner);

        // The boolean skeleton, folded from the left into postfix code.
        std::vector<Level> levels(1);
        std::size_t depth = 0;
        auto emit = [&](Program::Code code, std::uint32_t leaf) {
            p.code_.push_back({code, leaf});
            if (code == Program::Code::kAnd || code == Program::Code::kOr) {
                --depth;
            } else if (++depth > p.stackDepth_) {
                p.stackDepth_ = depth;
            }
        };
        auto termDone = [&]() {
            Level& lv = levels.back();
            if (lv.pending) emit(lv.pendingOp, 0);
            lv.pending = false;
            lv.haveTerm = true;
        };
        auto expectTerm = [&]() {
            const Level& lv = levels.back();
            if (lv.haveTerm && !lv.pending) raise(ExpressionFault::kMissingOperator);
        };
        auto matches = [&](std::size_t i, std::string_view word) {
            if (i + word.size() > cells.size()) return false;
            for (std::size_t j = 0; j < word.size(); ++j) {
                if (cells[i + j] != static_cast<unsigned char>(word[j])) return false;
            }
            return true;
        };

        std::size_t nextLeaf = 0;
        for (std::size_t i = 0; i < cells.size();) {
            if (nextLeaf < leaves.size() && leaves[nextLeaf].begin == i) {
                const Leaf& lf = leaves[nextLeaf++];
                expectTerm();
                if (lf.constant >= 0) {
                    emit(lf.constant ? Program::Code::kTrue : Program::Code::kFalse, 0);
                } else {
                    emit(Program::Code::kLeaf, lf.index);
                }
                termDone();
                i = lf.end;
            } else if (matches(i, "TRUE") || matches(i, "FALSE")) {
                const bool t = cells[i] == 'T';
                expectTerm();
                emit(t ? Program::Code::kTrue : Program::Code::kFalse, 0);
                termDone();
                i += t ? 4 : 5;
            } else if (matches(i, "&&") || matches(i, "||")) {
                Level& lv = levels.back();
                if (!lv.haveTerm || lv.pending) raise(ExpressionFault::kNothingBeforeOperator);
                lv.pending = true;
                lv.pendingOp = cells[i] == '&' ? Program::Code::kAnd : Program::Code::kOr;
                i += 2;
            } else if (cells[i] == '(') {
                expectTerm();
                levels.emplace_back();
                ++i;
            } else if (cells[i] == ')') {
                if (levels.size() == 1) raise(ExpressionFault::kCloseWithoutOpen);
                const Level& lv = levels.back();
                if (!lv.haveTerm) raise(ExpressionFault::kEmptyParentheses);
                if (lv.pending) raise(ExpressionFault::kNothingAfterOperator);
                levels.pop_back();
                termDone();
                ++i;
            } else {
                raise(ExpressionFault::kUnknownWord);
            }
        }
        if (levels.size() != 1) raise(ExpressionFault::kOpenWithoutClose);
        if (levels.back().pending) raise(ExpressionFault::kNothingAfterOperator);
    }
};

AdvancedDateError::AdvancedDateError(ExpressionFault fault)
    : std::runtime_error(faultText(fault)), fault_(fault) {}

AdvancedDateProgram::AdvancedDateProgram(std::string_view expression) : expression_(expression) {
    AdvancedDateCompiler::compile(*this, expression);
}

bool AdvancedDateProgram::evaluate(DateTime date) const {
    if (malformed_) throw AdvancedDateError(fault_);
    if (empty_) return false;
    // SECOND, MINUTE and HOUR are the first three keywords.
    if (keywordsUsed_ & 7u) return evaluateAt(date);
    const std::int64_t s = date.seconds();
    const std::int64_t day = s / 86400 - (s % 86400 < 0 ? 1 : 0);
    const std::uint64_t key = (static_cast<std::uint64_t>(day) << 2) | 2u;
    std::atomic<std::uint64_t>& slot =
        dayAnswers_[static_cast<std::size_t>(static_cast<std::uint64_t>(day) % kDayAnswers)];
    const std::uint64_t seen = slot.load(std::memory_order_relaxed);
    if ((seen & ~std::uint64_t{1}) == key) return (seen & 1u) != 0;
    // A date the program raises for is not remembered: it raises every time.
    const bool value = evaluateAt(date);
    slot.store(key | (value ? 1u : 0u), std::memory_order_relaxed);
    return value;
}

bool AdvancedDateProgram::evaluateAt(DateTime date) const {
    DateValues dateValues(date);
    std::array<std::int64_t, kKeywords.size()> values{};
    std::array<std::int32_t, kKeywords.size()> lengths{};
    for (std::size_t k = 0; k < kKeywords.size(); ++k) {
        if (!(keywordsUsed_ & (1u << k))) continue;
        const std::int64_t v = dateValues.get(static_cast<int>(k));
        values[k] = v;
        std::int32_t len = 1;
        for (std::int64_t x = v; x >= 10; x /= 10) ++len;
        lengths[k] = len;
    }
    auto runValue = [&](const Run& run) {
        std::int64_t v = 0;
        for (std::uint32_t i = run.firstPart; i < run.firstPart + run.partCount; ++i) {
            const Part& part = parts_[i];
            if (part.keyword < 0) {
                v = AdvancedDateCompiler::appendDigits(v, part.value, part.length);
            } else {
                v = AdvancedDateCompiler::appendDigits(v, values[part.keyword],
                                                       lengths[part.keyword]);
            }
        }
        return v;
    };

    // Every leaf is evaluated (no short cut), so a number too large for this
    // date raises wherever it stands, as in the rewriting.
    std::array<bool, 64> small{};
    std::unique_ptr<bool[]> large;  // only for absurdly deep nesting
    bool* stack = small.data();
    if (stackDepth_ > small.size()) {
        large = std::make_unique<bool[]>(stackDepth_);
        stack = large.get();
    }
    std::size_t sp = 0;
    for (const Instruction& ins : code_) {
        switch (ins.code) {
            case Code::kFalse:
                stack[sp++] = false;
                break;
            case Code::kTrue:
                stack[sp++] = true;
                break;
            case Code::kLeaf: {
                const Comparison& c = comparisons_[ins.leaf];
                const std::int64_t a = c.leftDynamic ? runValue(runs_[c.left]) : c.left;
                const std::int64_t b = c.rightDynamic ? runValue(runs_[c.right]) : c.right;
                stack[sp++] = holds(a, b, static_cast<Relation>(c.op));
                break;
            }
            case Code::kAnd:
            case Code::kOr: {
                const bool rhs = stack[--sp];
                stack[sp - 1] =
                    ins.code == Code::kAnd ? (stack[sp - 1] && rhs) : (stack[sp - 1] || rhs);
                break;
            }
        }
    }
    return stack[0];
}

}  // namespace qv
