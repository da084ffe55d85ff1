#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "model/clsadvanceddate.h"

using namespace qv;

namespace {

DateTime dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return DateTime::fromParts(y, mo, d, h, mi, s);
}

// Result of one form: the value, or nothing when it raised.
template <typename F>
std::optional<bool> outcome(F&& f) {
    try {
        return f();
    } catch (const AdvancedDateError&) {
        return std::nullopt;
    }
}

std::string show(std::optional<bool> r) { return r ? (*r ? "true" : "false") : "raises"; }

// Evaluates with both forms, which must agree (value or raising).
std::optional<bool> eval(DateTime date, std::string_view expression) {
    clsAdvancedDate plain;
    const AdvancedDateProgram program(expression);
    const auto a = outcome([&] { return plain.getDateEval(date, expression); });
    const auto b = outcome([&] { return program.evaluate(date); });
    EXPECT_EQ(a, b) << "\"" << expression << "\" at " << toStoredText(date) << ": plain " << show(a)
                    << ", compiled " << show(b);
    return a;
}

// Every day of the year at noon.
template <typename F>
void forEachDay(int year, F&& f) {
    for (DateTime d = dt(year, 1, 1, 12); d.year() == year; d = addToDate(d, 1, kDays)) f(d);
}

TEST(AdvancedDate, DayRestrictionsHoldOnTheirDays) {
    for (const int year : {2023, 2024}) {
        forEachDay(year, [](DateTime d) {
            EXPECT_EQ(eval(d, "dayOfMonth <= 7"), d.day() <= 7) << toStoredText(d);
            const bool secondMonday = d.weekday() == 2 && d.day() >= 8 && d.day() <= 14;
            EXPECT_EQ(eval(d, "WEEKDAY == MONDAY && DAYOFMONTH >= 8 && DAYOFMONTH <= 14"),
                      secondMonday)
                << toStoredText(d);
        });
    }
}

TEST(AdvancedDate, LastWeekOfFebruaryFollowsLeapYears) {
    const char* expr = "daysBeforeNextMonth <= 7 && Month == 2";
    forEachDay(2023, [&](DateTime d) {
        EXPECT_EQ(eval(d, expr), d.month() == 2 && d.day() >= 22) << toStoredText(d);
    });
    forEachDay(2024, [&](DateTime d) {
        EXPECT_EQ(eval(d, expr), d.month() == 2 && d.day() >= 23) << toStoredText(d);
    });
}

TEST(AdvancedDate, KeywordValues) {
    const DateTime d = dt(2024, 12, 31, 23, 58, 57);  // a Tuesday
    for (const char* e :
         {"SECOND == 57", "MINUTE == 58", "HOUR == 23", "WEEKDAY == TUESDAY", "DAYOFMONTH == 31",
          "DAYSBEFORENEXTMONTH == 1", "DAYSINMONTH == 31", "DAYOFYEAR == 366", "MONTH == 12",
          "YEAR == 2024", "SATURDAY == 7", "sunday == 1"}) {
        EXPECT_EQ(eval(d, e), true) << e;
    }
    EXPECT_EQ(eval(dt(1900, 2, 10), "DAYSINMONTH == 28"), true);  // 1900 is no leap year
    EXPECT_EQ(eval(dt(2000, 2, 10), "DAYSINMONTH == 29"), true);
}

TEST(AdvancedDate, AndOrFoldFromTheLeftWithoutPrecedence) {
    EXPECT_EQ(eval(dt(2025, 1, 15), "MONTH == 1 || MONTH == 2 && DAYOFMONTH == 1"), false);
    EXPECT_EQ(eval(dt(2025, 2, 1), "MONTH == 1 || MONTH == 2 && DAYOFMONTH == 1"), true);
    EXPECT_EQ(eval(dt(2025, 1, 1), "TRUE || FALSE && FALSE"), false);
    EXPECT_EQ(eval(dt(2025, 1, 1), "FALSE && FALSE || TRUE"), true);
    forEachDay(2025, [](DateTime d) {
        EXPECT_EQ(eval(d, "(MONTH == 1 || MONTH == 2) && DAYOFMONTH == 1"),
                  d.day() == 1 && d.month() <= 2)
            << toStoredText(d);
    });
    EXPECT_EQ(eval(dt(2025, 1, 1), "((TRUE) && ((FALSE) || TRUE))"), true);
}

TEST(AdvancedDate, OnlyTheFourOperatorsCompare) {
    for (int h = 0; h < 24; ++h) {
        const DateTime d = dt(2025, 6, 1, h);
        EXPECT_EQ(eval(d, "HOUR < 12"), false) << h;
        EXPECT_EQ(eval(d, "HOUR > 12"), false) << h;
        EXPECT_EQ(eval(d, "HOUR = 12"), false) << h;
        EXPECT_EQ(eval(d, "HOUR => 12"), false) << h;
        EXPECT_EQ(eval(d, "HOUR === 12"), false) << h;
        EXPECT_EQ(eval(d, "HOUR >= 12"), h >= 12) << h;
        EXPECT_EQ(eval(d, "HOUR != 12"), h != 12) << h;
    }
}

TEST(AdvancedDate, EmptyAndBareWords) {
    const DateTime d = dt(2025, 6, 1);
    EXPECT_EQ(eval(d, ""), false);
    EXPECT_EQ(eval(d, "     "), false);
    EXPECT_EQ(eval(d, "true"), true);
    EXPECT_EQ(eval(d, " T r U e "), true);  // spaces vanish anywhere
    EXPECT_EQ(eval(d, "False"), false);
}

TEST(AdvancedDate, NumbersAreDigitRunsAfterRewriting) {
    const DateTime d = dt(2025, 6, 3, 4);
    EXPECT_EQ(eval(d, "DAY OF MONTH == 3"), true);
    EXPECT_EQ(eval(d, "1 2 == 12"), true);
    EXPECT_EQ(eval(d, "0000000000000000000007 == 7"), true);
    EXPECT_EQ(eval(d, "32767 == 32767"), true);
    EXPECT_EQ(eval(d, "32768 == 1"), std::nullopt);
    EXPECT_EQ(eval(d, "DAYOFMONTH7 == 37"), true);  // the runs merge
    EXPECT_EQ(eval(d, "HOUR0HOUR == 404"), true);
    EXPECT_EQ(eval(d, "YEAR9 >= 1"), true);           // 20259 fits
    EXPECT_EQ(eval(d, "YEAR99 >= 1"), std::nullopt);  // 202599 does not
    // Whether a merged number fits depends on the date.
    for (int day = 1; day <= 31; ++day) {
        const auto r = eval(dt(2025, 1, day), "DAYOFMONTH0000 >= 0");
        if (day <= 3) {
            EXPECT_EQ(r, true) << day;
        } else {
            EXPECT_EQ(r, std::nullopt) << day;
        }
    }
}

TEST(AdvancedDate, MalformedExpressionsRaise) {
    const DateTime d = dt(2025, 6, 1, 10);
    for (const char* e : {"HOUR",
                          "7",
                          "HOUR == 1 == 1",
                          "HOUR == 1 &&",
                          "HOUR == 1 ||",
                          "&& TRUE",
                          "TRUE &&& TRUE",
                          "TRUE & FALSE",
                          "TRUE ||| FALSE",
                          "TRUE FALSE",
                          "TRUETRUE",
                          "(TRUE",
                          "TRUE)",
                          "((TRUE)",
                          ")(",
                          "()",
                          "(TRUE)FALSE",
                          "TRUE(FALSE)",
                          "(TRUE)(TRUE)",
                          "1 && 2",
                          "(1) == (2)",
                          "HOUR == -1",
                          "HOUR == NOON",
                          "HOUR\t== 10",
                          "MAYBE",
                          "HOUR == 10 && ()",
                          "(TRUE &&)",
                          "(|| TRUE)",
                          "HOUR == 10 XOR TRUE",
                          "Hour == 99999"}) {
        EXPECT_EQ(eval(d, e), std::nullopt) << e;
    }
    // The compiled form raises on evaluation, not construction.
    const AdvancedDateProgram p("(TRUE");
    EXPECT_EQ(p.expression(), "(TRUE");
    EXPECT_THROW(p.evaluate(d), AdvancedDateError);
}

TEST(AdvancedDate, NegativeYearRaisesOnlyWhereYearIsUsed) {
    const DateTime d = dt(-5, 3, 1);
    EXPECT_EQ(eval(d, "YEAR >= 0"), std::nullopt);
    EXPECT_EQ(eval(d, "DAYOFYEAR >= 1 && MONTH == 3"), true);
}

TEST(AdvancedDate, DeepNestingNeitherCrashesNorRecurses) {
    const std::size_t n = 100000;
    const DateTime d = dt(2025, 6, 1);
    EXPECT_EQ(eval(d, std::string(n, '(') + "HOUR == 0" + std::string(n, ')')), true);
    EXPECT_EQ(eval(d, std::string(n, '(') + "TRUE"), std::nullopt);
    EXPECT_EQ(eval(d, "TRUE" + std::string(n, ')')), std::nullopt);
    std::string chain = std::string(n, '(') + "TRUE";  // ((TRUE)&&TRUE)&&TRUE ...
    for (std::size_t i = 0; i < n; ++i) chain += ")&&TRUE";
    EXPECT_EQ(eval(d, chain), true);
}

// Random expressions from a grammar of valid pieces with broken ones mixed in.
class ExpressionMaker {
  public:
    explicit ExpressionMaker(std::uint32_t seed) : rng_(seed) {}

    std::string make() {
        std::string out;
        expression(out, 0);
        // Occasionally damage the text: delete, duplicate or insert a character.
        for (int damage = pick(6) == 0 ? 1 + pick(2) : 0; damage > 0 && !out.empty(); --damage) {
            const std::size_t at = pick(static_cast<int>(out.size()));
            switch (pick(3)) {
                case 0:
                    out.erase(at, 1);
                    break;
                case 1:
                    out.insert(at, 1, out[at]);
                    break;
                default:
                    out.insert(at, 1, "()<=!&|7 "[pick(9)]);
            }
        }
        return out;
    }

    DateTime date() {
        std::uniform_int_distribution<std::int64_t> secs(dt(1900, 1, 1).seconds(),
                                                         dt(9999, 12, 31, 23, 59, 59).seconds());
        return DateTime(secs(rng_));
    }

  private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    void space(std::string& out) {
        if (pick(3) == 0) out.append(pick(4) == 0 ? "  " : " ");
    }

    // Mixed case, sometimes with a space inside the word.
    void word(std::string& out, std::string_view w) {
        const std::size_t split = pick(8) == 0 ? pick(static_cast<int>(w.size())) : w.size();
        for (std::size_t i = 0; i < w.size(); ++i) {
            if (i == split && i > 0) out.push_back(' ');
            const char c = w[i];
            out.push_back(pick(2) ? c : static_cast<char>(c - 'A' + 'a'));
        }
    }

    void operand(std::string& out) {
        static const char* kNames[] = {
            "SECOND",      "MINUTE",    "HOUR",     "WEEKDAY", "DAYOFMONTH", "DAYSBEFORENEXTMONTH",
            "DAYSINMONTH", "DAYOFYEAR", "MONTH",    "YEAR",    "SUNDAY",     "MONDAY",
            "TUESDAY",     "WEDNESDAY", "THURSDAY", "FRIDAY",  "SATURDAY"};
        switch (pick(5)) {
            case 0:
                out.append(std::to_string(pick(61)));
                break;
            case 1:
                out.append(std::to_string(pick(pick(8) == 0 ? 200000 : 33000)));
                break;
            case 2:
                out.append(std::string(pick(4), '0') + std::to_string(pick(10)));
                break;
            default:
                word(out, kNames[pick(17)]);
                // Glue a digit or a second name on now and then.
                if (pick(5) == 0) out.append(std::to_string(pick(100)));
                if (pick(16) == 0) word(out, kNames[pick(17)]);
        }
    }

    void comparison(std::string& out) {
        static const char* kOps[] = {
            "==", "!=", "<=", ">=", "==", "<=", ">=", "<", ">", "=", "=>", "!", "===", "<>"};
        operand(out);
        space(out);
        // Often a plain range test, which holds for many dates.
        out.append(kOps[pick(3) == 0 ? 2 + pick(2) : pick(14)]);
        space(out);
        operand(out);
    }

    void term(std::string& out, int depth) {
        const int k = pick(10);
        if (k < 6) {
            comparison(out);
        } else if (k < 8 && depth < 4) {
            out.push_back('(');
            space(out);
            expression(out, depth + 1);
            space(out);
            if (pick(12) != 0) out.push_back(')');
        } else if (k == 8) {
            word(out, pick(2) ? "TRUE" : "FALSE");
        } else {
            static const char* kJunk[] = {"(", ")", "<", "=", "&&", "||", "X", "7", "NOON", "()"};
            out.append(kJunk[pick(10)]);
        }
    }

    void expression(std::string& out, int depth) {
        if (pick(30) == 0) return;  // empty
        term(out, depth);
        for (int n = pick(4); n > 0; --n) {
            space(out);
            static const char* kLogic[] = {"&&", "||", "&&", "||", "&", "", "|||"};
            out.append(kLogic[pick(pick(6) == 0 ? 7 : 4)]);
            space(out);
            if (pick(10) != 0) term(out, depth);  // else an operator dangles
        }
    }

    std::mt19937 rng_;
};

TEST(AdvancedDate, CompiledFormMatchesTheRewritingOnRandomExpressions) {
    ExpressionMaker maker(20260407u);
    clsAdvancedDate plain;
    int counts[3] = {0, 0, 0};     // false, true, raises
    int dateDependentRaising = 0;  // expressions that raise for some dates only
    for (int i = 0; i < 6000; ++i) {
        const std::string e = maker.make();
        const AdvancedDateProgram program(e);
        int raised = 0;
        auto same = [&](DateTime d) {
            const auto a = outcome([&] { return plain.getDateEval(d, e); });
            const auto b = outcome([&] { return program.evaluate(d); });
            EXPECT_EQ(a, b) << "\"" << e << "\" at " << toStoredText(d) << ": plain " << show(a)
                            << ", compiled " << show(b);
            return a;
        };
        for (int j = 0; j < 8; ++j) {
            const DateTime d = maker.date();
            const auto a = same(d);
            ++counts[a ? (*a ? 1 : 0) : 2];
            raised += !a;
            // The program keeps its answers by day: the same day at noon, a day
            // that shares the place where that answer is kept, and the date again.
            same(DateTime(d.seconds() - d.seconds() % 86400 + 43200));
            same(DateTime(d.seconds() + 64 * 86400));
            same(d);
        }
        if (HasFailure()) return;
        dateDependentRaising += raised > 0 && raised < 8;
    }
    // The grammar must reach every outcome in earnest, or the comparison says little.
    for (const int c : counts) {
        EXPECT_GT(c, 5000) << counts[0] << " " << counts[1] << " " << counts[2];
    }
    EXPECT_GT(dateDependentRaising, 20) << dateDependentRaising;
}

}  // namespace
