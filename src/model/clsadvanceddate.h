#pragma once
// Advanced date expressions: a small boolean language over calendar quantities
// that restricts the moments of a periodic alarm, e.g.
//     DAYOFMONTH <= 7 && WEEKDAY == MONDAY       (the first Monday of a month)
//
// The language is defined by text rewriting (clsAdvancedDate::getDateEval):
// spaces are dropped and letters upper-cased; keywords and weekday names become
// the decimal text of their values; each pair of digit runs, with the text
// between them as the operator, becomes TRUE or FALSE; finally the boolean words
// are folded strictly from left to right (no precedence between && and ||),
// parenthesised groups first. AdvancedDateProgram compiles the same language
// once and evaluates it without allocating; both give identical answers.

#include <array>
#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/datetime.h"

namespace qv {

// What is wrong with an expression. Each fault has a text of its own in the
// language files, so the user reads it in the program's language; what() gives
// the same in English for logs and the command line.
enum class ExpressionFault : int {
    kMalformed,
    kNegativeValue,
    kTextBetweenNumbers,
    kTooLarge,
    kNoPartner,
    kUnknownWord,
    kEmptyParentheses,
    kMissingOperator,
    kNothingAfterOperator,
    kNothingBeforeOperator,
    kCloseWithoutOpen,
    kOpenWithoutClose,
};

// Raised for a malformed expression; the alarm timing catches it (such an alarm
// has no next moment).
class AdvancedDateError : public std::runtime_error {
  public:
    explicit AdvancedDateError(ExpressionFault fault);
    ExpressionFault fault() const { return fault_; }

  private:
    ExpressionFault fault_;
};

class clsAdvancedDate {
  public:
    // True when the expression holds for the date-time; throws AdvancedDateError
    // when the expression is malformed (or a number in it does not fit 16 bits
    // for this date). The empty expression is false.
    bool getDateEval(DateTime date, std::string_view expression);
};

// The same language compiled once and evaluated many times, giving exactly the
// same answers as clsAdvancedDate::getDateEval and raising exactly when it
// raises (for the same date).
class AdvancedDateProgram {
  public:
    // Never throws: a malformed expression is remembered and raised by evaluate().
    explicit AdvancedDateProgram(std::string_view expression);

    // Safe to call from several threads at once.
    bool evaluate(DateTime date) const;
    const std::string& expression() const { return expression_; }
    // Whether the answer depends on nothing but the weekday and the time of
    // day, so that it comes again every week (false for a malformed program).
    bool repeatsWeekly() const { return !malformed_ && (keywordsUsed_ & ~0xFu) == 0; }

  private:
    bool evaluateAt(DateTime date) const;

    // One maximal run of digits after rewriting: literal digit groups and
    // keyword values glued together, e.g. "DAYOFMONTH7" is {day, "7"}.
    struct Part {
        std::int8_t keyword;  // index into the keyword table, or -1 for literal digits
        std::int32_t value;   // literal digits' value, saturated above 16 bits
        std::int32_t length;  // literal digits' count (leading zeros included)
    };
    struct Run {
        std::uint32_t firstPart;
        std::uint32_t partCount;
    };
    enum class Op : std::uint8_t { kEq, kNe, kLe, kGe, kNever };
    // An operand is a run of runs_ when it depends on the date, else its value.
    struct Comparison {
        std::int64_t left;
        std::int64_t right;
        bool leftDynamic;
        bool rightDynamic;
        Op op;
    };
    enum class Code : std::uint8_t { kFalse, kTrue, kLeaf, kAnd, kOr };
    struct Instruction {
        Code code;
        std::uint32_t leaf;  // comparison index for kLeaf
    };

    std::string expression_;
    bool malformed_ = false;  // then every evaluation raises fault_
    // Answers by day, for a program that reads no time of day: the timing asks
    // the same days over and over (a daily alarm steps day by day to the next
    // day the expression allows, and the alarms of a group share their
    // programs). Entry: day << 2 | 2 | answer; 0 is empty. Relaxed atomics, so
    // threads sharing a program never race; a lost store only costs a lookup.
    static constexpr std::size_t kDayAnswers = 64;
    mutable std::array<std::atomic<std::uint64_t>, kDayAnswers> dayAnswers_{};
    ExpressionFault fault_ = ExpressionFault::kMalformed;
    bool empty_ = false;
    std::uint16_t keywordsUsed_ = 0;  // bit per keyword table entry
    std::vector<Part> parts_;
    std::vector<Run> runs_;  // only runs whose value depends on the date
    std::vector<Comparison> comparisons_;
    std::vector<Instruction> code_;  // postfix, left-to-right fold
    std::size_t stackDepth_ = 0;

    friend class AdvancedDateCompiler;
};

}  // namespace qv
