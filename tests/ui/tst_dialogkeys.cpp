// Keyboard use of the dialogs: in both languages no two controls of one
// dialog share an access key. And their sizes: every dialog fits an 800x600
// screen, shows its whole title and names its list entries in full.

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QMap>
#include <QtTest>
#include <functional>
#include <memory>

#include "ui/frmactions.h"
#include "ui/frmalarmgroupproperties.h"
#include "ui/frmalarmproperties.h"
#include "ui/frmdatetime.h"
#include "ui/frmfind.h"
#include "ui/frmmissedalarms.h"
#include "ui/frmreminders.h"
#include "ui/frmfirsttimesettings.h"
#include "ui/frmplugins.h"
#include "ui/frmabout.h"
#include "ui/frmsettings.h"
#include "uifixture.h"

using namespace qv;
using namespace qv::test;

namespace {

QStringList clashes(QWidget* window, const QString& where) {
    QMap<QChar, QStringList> owners;
    auto note = [&](QObject* o, const QString& text) {
        const QChar key = accessKey(text);
        if (!key.isNull()) owners[key] << o->objectName();
    };
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) note(b, b->text());
    for (QLabel* l : window->findChildren<QLabel*>()) note(l, l->text());
    for (QGroupBox* g : window->findChildren<QGroupBox*>()) note(g, g->title());
    QStringList out;
    for (auto it = owners.begin(); it != owners.end(); ++it)
        if (it.value().size() > 1)
            out << QStringLiteral("%1: '%2' for %3")
                       .arg(where, it.key(), it.value().join(QStringLiteral(", ")));
    return out;
}

// Controls the keyboard cannot reach by an access key: a check box or a
// label naming a field without one. (Radio buttons are reached with the
// arrow keys in their row.)
QStringList withoutKey(QWidget* window, const QString& where) {
    QStringList out;
    auto lacks = [](const QString& text) {
        return !text.trimmed().isEmpty() && accessKey(text).isNull();
    };
    for (QCheckBox* b : window->findChildren<QCheckBox*>()) {
        // The day boxes and the column choices come in rows, reached with Tab.
        if (b->objectName().startsWith(QStringLiteral("chkWeekday")) ||
            b->objectName().startsWith(QStringLiteral("chkShowIn")))
            continue;
        if (!lacks(b->text())) continue;
        out << QStringLiteral("%1: %2 \"%3\"").arg(where, b->objectName(), b->text());
    }
    for (QLabel* l : window->findChildren<QLabel*>())
        if (l->buddy() && lacks(l->text()))
            out << QStringLiteral("%1: %2 \"%3\"").arg(where, l->objectName(), l->text());
    return out;
}

}  // namespace

class TestDialogKeys : public QObject {
    Q_OBJECT
  private slots:
    void noTwoControlsShareAnAccessKey() {
        UiFixture f;
        QStringList found;
        for (const char* lng : {"English", "Deutsch"}) {
            f.p().translation.setLanguage(lng);
            const std::vector<std::pair<const char*, std::function<QWidget*()>>> dialogs = {
                {"frmAlarmProperties", [&] { return new frmAlarmProperties(f.p()); }},
                {"frmDateTime", [&] { return new frmDateTime(f.p().translation, f.core.names); }},
                {"frmFind", [&] { return new frmFind(f.p()); }},
                {"frmAlarmGroupProperties",
                 [&] { return new frmAlarmGroupProperties(f.p(), {}); }},
                {"frmFirstTimeSettings", [&] { return new frmFirstTimeSettings(f.p()); }},
                {"frmActions", [&] { return new frmActions(f.p()); }},
                {"frmPlugIns", [&] { return new frmPlugIns(f.p()); }},
                {"frmSettings", [&] { return new frmSettings(f.p(), f.ui, {}, {}); }},
                {"frmReminders", [&] { return new frmReminders(f.p(), {}); }},
                {"frmMissedAlarms", [&] { return new frmMissedAlarms(f.p()); }},
            };
            for (const auto& [name, make] : dialogs) {
                std::unique_ptr<QWidget> w(make());
                const QString where =
                    QStringLiteral("%1 %2").arg(QString::fromLatin1(lng), QString::fromLatin1(name));
                // A dialog of pages: each page is one keyboard space.
                auto* pages = w->findChild<QStackedWidget*>();
                if (!pages) {
                    found << clashes(w.get(), where) << withoutKey(w.get(), where);
                    continue;
                }
                for (int i = 0; i < pages->count(); ++i) {
                    const QString page = where + QStringLiteral(" page %1").arg(i);
                    found << clashes(pages->widget(i), page) << withoutKey(pages->widget(i), page);
                }
            }
        }
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
    }

    void everyDialogFitsASmallScreenAndItsTexts() {
        UiFixture f;
        QStringList found;
        for (const char* lng : {"English", "Deutsch"}) {
            f.p().translation.setLanguage(lng);
            const std::vector<std::pair<const char*, std::function<QWidget*()>>> dialogs = {
                {"frmAlarmProperties", [&] { return new frmAlarmProperties(f.p()); }},
                {"frmFind", [&] { return new frmFind(f.p()); }},
                {"frmAlarmGroupProperties",
                 [&] { return new frmAlarmGroupProperties(f.p(), {}); }},
                {"frmActions", [&] { return new frmActions(f.p()); }},
                {"frmPlugIns", [&] { return new frmPlugIns(f.p()); }},
                {"frmSettings", [&] { return new frmSettings(f.p(), f.ui, {}, {}); }},
                {"frmAbout", [&] { return new frmAbout(f.p(), f.ui); }},
                {"frmReminders", [&] { return new frmReminders(f.p(), {}); }},
                {"frmMissedAlarms", [&] { return new frmMissedAlarms(f.p()); }},
                {"frmFirstTimeSettings", [&] { return new frmFirstTimeSettings(f.p()); }},
            };
            for (const auto& [name, make] : dialogs) {
                std::unique_ptr<QWidget> w(make());
                w->show();
                const QString where =
                    QStringLiteral("%1 %2").arg(QString::fromLatin1(lng), QString::fromLatin1(name));
                const QSize least = w->minimumSizeHint().expandedTo(w->minimumSize());
                if (least.width() > 790 || least.height() > 540)
                    found << QStringLiteral("%1 needs %2x%3").arg(where).arg(least.width()).arg(least.height());
                QFont bold = w->font();
                bold.setBold(true);
                const int title = QFontMetrics(bold).horizontalAdvance(w->windowTitle());
                if (w->width() < title + 100)
                    found << QStringLiteral("%1 title \"%2\" (%3 px) in %4 px")
                                 .arg(where, w->windowTitle()).arg(title).arg(w->width());
                for (QTreeWidget* list : w->findChildren<QTreeWidget*>())
                    for (int c = 0; c + 1 < list->columnCount(); ++c)
                        for (int i = 0; i < list->topLevelItemCount(); ++i) {
                            const QString text = list->topLevelItem(i)->text(c);
                            if (list->columnWidth(c) < list->fontMetrics().horizontalAdvance(text))
                                found << QStringLiteral("%1 %2 \"%3\"").arg(where, list->objectName(), text);
                        }
                // The first-time dialog switches the program's language: last, and set back.
                f.p().translation.setLanguage(lng);
            }
        }
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestDialogKeys)
#include "tst_dialogkeys.moc"
