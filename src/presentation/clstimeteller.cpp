#include "presentation/clstimeteller.h"

#include <QRegularExpression>

#include "base/settingsvalues.h"
#include "presentation/clsvoices.h"
#include "presentation/qtstrings.h"

namespace qv {

const QString clsTimeTeller::kCannotSpeak = QStringLiteral("The date and time cannot be spoken.");
const QString clsTimeTeller::kDefaultTemplate =
    QStringLiteral("\"It's <h:mm am/pm> on <dddd, m/d/yyyy>.\"");

namespace {

// The text between the (2n+1)th and (2n+2)th double quote; without a closing
// quote, the rest of the command.
QString quotedValue(const QString& command, int n) {
    qsizetype open = -1;
    for (int i = 0; i <= 2 * n; ++i) {
        open = command.indexOf(QLatin1Char('"'), open + 1);
        if (open < 0) return {};
    }
    const qsizetype close = command.indexOf(QLatin1Char('"'), open + 1);
    return close < 0 ? command.mid(open + 1) : command.mid(open + 1, close - open - 1);
}

// Unit boundaries between two moments for a difference code; false for an
// unknown code.
bool difference(const QString& code, DateTime from, DateTime to, qint64& out) {
    const QString c = code.toLower();
    if (c == QLatin1String("yyyy")) {
        out = dateDiff(from, to, kYears);
    } else if (c == QLatin1String("q")) {
        auto quarter = [](DateTime d) { return qint64(d.year()) * 4 + (d.month() - 1) / 3; };
        out = quarter(to) - quarter(from);
    } else if (c == QLatin1String("m")) {
        out = dateDiff(from, to, kMonths);
    } else if (c == QLatin1String("y") || c == QLatin1String("d")) {
        out = dateDiff(from, to, kDays);
    } else if (c == QLatin1String("w")) {
        // Whole weeks: the first moment's weekday is counted up to the second.
        out = dateDiff(from, to, kDays) / 7;
    } else if (c == QLatin1String("ww")) {
        out = dateDiff(from, to, kWeeks);
    } else if (c == QLatin1String("h")) {
        out = dateDiff(from, to, kHours);
    } else if (c == QLatin1String("n")) {
        out = dateDiff(from, to, kMinutes);
    } else if (c == QLatin1String("s")) {
        out = dateDiff(from, to, kSeconds);
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool clsTimeTeller::parseDate(const QString& text, DateTime& out) {
    static const QRegularExpression yearFirst(QStringLiteral(
        R"(^\s*(\d{4})[/.-](\d{1,2})[/.-](\d{1,2})(?:[ T]+(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?)?\s*$)"));
    static const QRegularExpression dayFirst(QStringLiteral(
        R"(^\s*(\d{1,2})[/.-](\d{1,2})[/.-](\d{4})(?:\s+(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?)?\s*$)"));
    int y = 0, m = 0, d = 0;
    QRegularExpressionMatch match = yearFirst.match(text);
    if (match.hasMatch()) {
        y = match.captured(1).toInt();
        m = match.captured(2).toInt();
        d = match.captured(3).toInt();
    } else {
        match = dayFirst.match(text);
        if (!match.hasMatch()) return false;
        d = match.captured(1).toInt();
        m = match.captured(2).toInt();
        y = match.captured(3).toInt();
    }
    const int h = match.captured(4).toInt();
    const int n = match.captured(5).toInt();
    const int s = match.captured(6).toInt();
    if (m < 1 || m > 12 || d < 1 || d > daysInMonth(y, m) || h > 23 || n > 59 || s > 59)
        return false;
    out = DateTime::fromParts(y, m, d, h, n, s);
    return true;
}

QString clsTimeTeller::buildSentence(const QString& command, DateTime now, const DateNames& names,
                                     bool& ok) {
    ok = true;
    // A command too short for a keyword tells the present time; the default
    // template's own quotes then delimit it.
    const QString cmd = command.size() < 3 ? QStringLiteral("now ") + kDefaultTemplate : command;
    const QString keyword = cmd.left(3).toLower();
    QString text = quotedValue(cmd, 0);

    bool difference_ = false;  // placeholders hold unit codes
    DateTime from = now, to = now, date = now;
    if (keyword == QLatin1String("now")) {
        if (text.isEmpty()) text = kDefaultTemplate;
    } else if (keyword == QLatin1String("unt") || keyword == QLatin1String("sin") ||
               keyword == QLatin1String("cus")) {
        DateTime reference;
        if (!parseDate(quotedValue(cmd, 1), reference)) {
            ok = false;
            return {};
        }
        if (keyword == QLatin1String("cus")) {
            date = reference;
        } else {
            difference_ = true;
            if (keyword == QLatin1String("unt"))
                to = reference;
            else
                from = reference;
        }
    } else {
        return kCannotSpeak;
    }

    // Every ">" is consumed by a replacement and the values bring none, so the
    // loop ends; the bound guards against names that would bring one.
    for (int guard = 0; guard < 10000; ++guard) {
        const qsizetype open = text.indexOf(QLatin1Char('<'));
        if (open < 0) break;
        const qsizetype close = text.indexOf(QLatin1Char('>'), open + 1);
        if (close < 0) break;
        const QString pattern = text.mid(open + 1, close - open - 1);
        QString value;
        if (difference_) {
            qint64 n = 0;
            if (!difference(pattern, from, to, n)) {
                ok = false;
                return {};
            }
            value = QString::number(n);
        } else {
            value = qs(formatDate(date, ss(pattern), names));
        }
        text.replace(open, close - open + 1, value);
    }
    return text;
}

clsTimeTeller::clsTimeTeller(clsVoices& voices, const SettingsValues& settings,
                             const DateNames& names)
    : voices_(voices), settings_(settings), names_(names) {}

bool clsTimeTeller::speakDateString(const QString& command, const QString& voiceName,
                                    DateTime now) {
    bool ok = false;
    const QString sentence = buildSentence(command, now, names_, ok);
    if (!ok) return false;
    return voices_.speak(sentence, voiceName, settings_.ovvol, settings_.vvol, settings_.ovspd,
                         settings_.vspd);
}

}  // namespace qv
