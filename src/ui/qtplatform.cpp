#include "ui/qtplatform.h"

#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QPalette>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>

#include "presentation/qtstrings.h"

namespace qv {

// --- clock and timer -------------------------------------------------------

DateTime QtClock::now() const { return fromQDateTime(QDateTime::currentDateTime()); }

double QtClock::secondsSinceMidnight() const {
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

int QtClock::utcOffsetSeconds() const { return QDateTime::currentDateTime().offsetFromUtc(); }

QtSupervisionTimer::QtSupervisionTimer(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (onTick) onTick();
    });
}

// A late computation may come out negative; Qt would refuse to start then,
// and the supervision would stop for good.
void QtSupervisionTimer::setInterval(int milliseconds) {
    timer_.setInterval(std::max(0, milliseconds));
}
int QtSupervisionTimer::interval() const { return timer_.interval(); }
void QtSupervisionTimer::start() { timer_.start(); }
void QtSupervisionTimer::stop() { timer_.stop(); }
bool QtSupervisionTimer::isActive() const { return timer_.isActive(); }

// --- shell -----------------------------------------------------------------

namespace {

QString withSlashes(const std::string& path) {
    QString p = qs(path).trimmed();
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p;
}

// A web address or another URL with a scheme of its own ("https:", "mailto:"),
// but not a local path ("/x", "C:/x").
bool isWebAddress(const QString& text) {
    if (text.startsWith(QLatin1String("www."), Qt::CaseInsensitive)) return true;
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && url.scheme().size() > 1 && url.scheme() != QLatin1String("file");
}

// The desktop's opener; where the platform plug-in has none (offscreen,
// minimal, some kiosks) the freedesktop opener directly.
bool openWithDesktop(const QUrl& url) {
    if (QDesktopServices::openUrl(url)) return true;
    const QString target = url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded);
    return QProcess::startDetached(QStringLiteral("xdg-open"), {target});
}

bool startProgram(const QString& program, const std::string& parameters, const QString& folder) {
    const QString workDir = folder.isEmpty() ? QString() : folder;
    return QProcess::startDetached(program, QProcess::splitCommand(qs(parameters)), workDir);
}

}  // namespace

bool QtShell::open(const std::string& fileText, const std::string& parameters,
                   const std::string& folderText) {
    QString file = withSlashes(fileText);
    const QString folder = withSlashes(folderText);
    if (file.isEmpty()) return false;

    if (file.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        file = QUrl(file).toLocalFile();
        if (file.isEmpty()) return false;
    } else if (isWebAddress(file)) {
        return openWithDesktop(QUrl::fromUserInput(file));
    }

    // A relative name is looked up in the folder the action names, and
    // otherwise only through PATH: never in the folder the program happened to
    // be started from, where anyone may have left a program of that name.
    if (!QDir::isAbsolutePath(file) && folder.isEmpty()) {
        if (file.contains(QLatin1Char('/'))) return false;
        const QString found = QStandardPaths::findExecutable(file);
        return !found.isEmpty() && startProgram(found, parameters, folder);
    }
    const QFileInfo info(QDir::isAbsolutePath(file) ? file : QDir(folder).filePath(file));
    if (info.exists()) {
        const QString path = info.absoluteFilePath();
        // Where every file looks executable (FAT and NTFS mounts) a document
        // fails to start as a program: open it as a document then.
        if (info.isFile() && info.isExecutable() && startProgram(path, parameters, folder)) {
            return true;
        }
        return openWithDesktop(QUrl::fromLocalFile(path));
    }
    if (!file.contains(QLatin1Char('/'))) {
        const QString found = QStandardPaths::findExecutable(file);
        if (!found.isEmpty()) return startProgram(found, parameters, folder);
    }
    return false;
}

// --- system colours --------------------------------------------------------

std::int32_t QtSystemColors::sysColor(int index) const {
    const QPalette pal = QApplication::palette();
    using P = QPalette;
    auto role = [&](P::ColorRole r, P::ColorGroup g = P::Active) { return pal.color(g, r); };
    QColor c;
    switch (index) {
        case 0:
            c = role(P::Button);
            break;  // scroll bar
        case 1:
            c = role(P::Window);
            break;  // desktop background
        case 2:
            c = role(P::Highlight);
            break;  // active caption
        case 3:
            c = role(P::Highlight, P::Inactive);
            break;  // inactive caption
        case 4:
            c = role(P::Window);
            break;  // menu
        case 5:
            c = role(P::Base);
            break;  // window (text box, list)
        case 6:
            c = role(P::Shadow);
            break;  // window frame
        case 7:
            c = role(P::WindowText);
            break;  // menu text
        case 8:
            c = role(P::Text);
            break;  // window text
        case 9:
            c = role(P::HighlightedText);
            break;  // caption text
        case 10:
            c = role(P::Button);
            break;  // active border
        case 11:
            c = role(P::Button);
            break;  // inactive border
        case 12:
            c = role(P::Mid);
            break;  // application workspace
        case 13:
            c = role(P::Highlight);
            break;  // highlight
        case 14:
            c = role(P::HighlightedText);
            break;  // highlighted text
        case 15:
            c = role(P::Button);
            break;  // button face
        case 16:
            c = role(P::Dark);
            break;  // button shadow
        case 17:
            c = role(P::Text, P::Disabled);
            break;  // gray text
        case 18:
            c = role(P::ButtonText);
            break;  // button text
        case 19:
            c = role(P::WindowText, P::Inactive);
            break;  // inactive caption text
        case 20:
            c = role(P::Light);
            break;  // button highlight
        case 21:
            c = role(P::Shadow);
            break;  // 3D dark shadow
        case 22:
            c = role(P::Midlight);
            break;  // 3D light
        case 23:
            c = role(P::ToolTipText);
            break;  // info text
        case 24:
            c = role(P::ToolTipBase);
            break;  // info background
        case 26:
            c = role(P::Link);
            break;  // hot-tracked item
        case 27:
            c = role(P::Highlight);
            break;  // caption gradient
        case 28:
            c = role(P::Highlight, P::Inactive);
            break;  // inactive caption gradient
        case 29:
            c = role(P::Highlight);
            break;  // menu highlight
        case 30:
            c = role(P::Window);
            break;  // menu bar
        default:
            c = role(P::WindowText);
            break;
    }
    return static_cast<std::int32_t>(c.red() + 256 * c.green() + 65536 * c.blue());
}

// --- date names ------------------------------------------------------------

QtDateNames::QtDateNames(const QLocale& locale, bool standalone)
    : locale_(locale), standalone_(standalone) {}

std::string QtDateNames::dayName(int weekday, bool abbreviated) const {
    if (weekday < 1 || weekday > 7) return {};
    const int qtDay = weekday == 1 ? 7 : weekday - 1;  // Qt counts from Monday
    const auto format = abbreviated ? QLocale::ShortFormat : QLocale::LongFormat;
    return ss(standalone_ ? locale_.standaloneDayName(qtDay, format)
                          : locale_.dayName(qtDay, format));
}

std::string QtDateNames::monthName(int month, bool abbreviated) const {
    if (month < 1 || month > 12) return {};
    const auto format = abbreviated ? QLocale::ShortFormat : QLocale::LongFormat;
    return ss(standalone_ ? locale_.standaloneMonthName(month, format)
                          : locale_.monthName(month, format));
}

// --- language number -------------------------------------------------------

namespace {

struct LanguageId {
    QLocale::Language language;
    QLocale::Territory territory;  // AnyTerritory: the language's main number
    int id;
};

// The common languages; for each, its main number first, then regional ones.
constexpr LanguageId kLanguageIds[] = {
    {QLocale::English, QLocale::AnyTerritory, 1033},
    {QLocale::English, QLocale::UnitedKingdom, 2057},
    {QLocale::English, QLocale::Australia, 3081},
    {QLocale::English, QLocale::Canada, 4105},
    {QLocale::English, QLocale::NewZealand, 5129},
    {QLocale::English, QLocale::Ireland, 6153},
    {QLocale::English, QLocale::SouthAfrica, 7177},
    {QLocale::English, QLocale::India, 16393},
    {QLocale::German, QLocale::AnyTerritory, 1031},
    {QLocale::German, QLocale::Switzerland, 2055},
    {QLocale::German, QLocale::Austria, 3079},
    {QLocale::German, QLocale::Luxembourg, 4103},
    {QLocale::German, QLocale::Liechtenstein, 5127},
    {QLocale::French, QLocale::AnyTerritory, 1036},
    {QLocale::French, QLocale::Belgium, 2060},
    {QLocale::French, QLocale::Canada, 3084},
    {QLocale::French, QLocale::Switzerland, 4108},
    {QLocale::French, QLocale::Luxembourg, 5132},
    {QLocale::Dutch, QLocale::AnyTerritory, 1043},
    {QLocale::Dutch, QLocale::Belgium, 2067},
    {QLocale::Spanish, QLocale::AnyTerritory, 3082},
    {QLocale::Spanish, QLocale::Mexico, 2058},
    {QLocale::Spanish, QLocale::Argentina, 11274},
    {QLocale::Spanish, QLocale::Colombia, 9226},
    {QLocale::Spanish, QLocale::Chile, 13322},
    {QLocale::Spanish, QLocale::UnitedStates, 21514},
    {QLocale::Italian, QLocale::AnyTerritory, 1040},
    {QLocale::Italian, QLocale::Switzerland, 2064},
    {QLocale::Portuguese, QLocale::AnyTerritory, 1046},
    {QLocale::Portuguese, QLocale::Portugal, 2070},
    {QLocale::Swedish, QLocale::AnyTerritory, 1053},
    {QLocale::Swedish, QLocale::Finland, 2077},
    {QLocale::Danish, QLocale::AnyTerritory, 1030},
    {QLocale::NorwegianBokmal, QLocale::AnyTerritory, 1044},
    {QLocale::NorwegianNynorsk, QLocale::AnyTerritory, 2068},
    {QLocale::Finnish, QLocale::AnyTerritory, 1035},
    {QLocale::Icelandic, QLocale::AnyTerritory, 1039},
    {QLocale::Polish, QLocale::AnyTerritory, 1045},
    {QLocale::Czech, QLocale::AnyTerritory, 1029},
    {QLocale::Slovak, QLocale::AnyTerritory, 1051},
    {QLocale::Slovenian, QLocale::AnyTerritory, 1060},
    {QLocale::Croatian, QLocale::AnyTerritory, 1050},
    {QLocale::Hungarian, QLocale::AnyTerritory, 1038},
    {QLocale::Romanian, QLocale::AnyTerritory, 1048},
    {QLocale::Bulgarian, QLocale::AnyTerritory, 1026},
    {QLocale::Greek, QLocale::AnyTerritory, 1032},
    {QLocale::Turkish, QLocale::AnyTerritory, 1055},
    {QLocale::Russian, QLocale::AnyTerritory, 1049},
    {QLocale::Ukrainian, QLocale::AnyTerritory, 1058},
    {QLocale::Estonian, QLocale::AnyTerritory, 1061},
    {QLocale::Latvian, QLocale::AnyTerritory, 1062},
    {QLocale::Lithuanian, QLocale::AnyTerritory, 1063},
    {QLocale::Catalan, QLocale::AnyTerritory, 1027},
    {QLocale::Basque, QLocale::AnyTerritory, 1069},
    {QLocale::Galician, QLocale::AnyTerritory, 1110},
    {QLocale::Hebrew, QLocale::AnyTerritory, 1037},
    {QLocale::Arabic, QLocale::AnyTerritory, 1025},
    {QLocale::Arabic, QLocale::Egypt, 3073},
    {QLocale::Persian, QLocale::AnyTerritory, 1065},
    {QLocale::Hindi, QLocale::AnyTerritory, 1081},
    {QLocale::Thai, QLocale::AnyTerritory, 1054},
    {QLocale::Vietnamese, QLocale::AnyTerritory, 1066},
    {QLocale::Indonesian, QLocale::AnyTerritory, 1057},
    {QLocale::Malay, QLocale::AnyTerritory, 1086},
    {QLocale::Afrikaans, QLocale::AnyTerritory, 1078},
    {QLocale::Japanese, QLocale::AnyTerritory, 1041},
    {QLocale::Korean, QLocale::AnyTerritory, 1042},
};

}  // namespace

int languageIdFromLocale(const QLocale& locale) {
    const QLocale::Language language = locale.language();
    const QLocale::Territory territory = locale.territory();
    if (language == QLocale::Chinese) {
        if (locale.script() == QLocale::TraditionalChineseScript || territory == QLocale::Taiwan ||
            territory == QLocale::HongKong || territory == QLocale::Macao) {
            if (territory == QLocale::HongKong) return 3076;
            if (territory == QLocale::Macao) return 5124;
            return 1028;
        }
        return territory == QLocale::Singapore ? 4100 : 2052;
    }
    if (language == QLocale::Serbian) {
        return locale.script() == QLocale::CyrillicScript ? 3098 : 2074;
    }
    int main = -1;
    for (const LanguageId& entry : kLanguageIds) {
        if (entry.language != language) continue;
        if (entry.territory == territory) return entry.id;
        if (entry.territory == QLocale::AnyTerritory) main = entry.id;
    }
    return main;
}

}  // namespace qv
