// Keyboard use of the dialogs: in both languages no two controls of one
// dialog share an access key.

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QMap>
#include <QtTest>
#include <functional>
#include <memory>

#include "ui/frmalarmproperties.h"
#include "ui/frmdatetime.h"
#include "ui/frmfind.h"
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
            };
            for (const auto& [name, make] : dialogs) {
                std::unique_ptr<QWidget> w(make());
                found << clashes(w.get(), QStringLiteral("%1 %2").arg(QString::fromLatin1(lng),
                                                                      QString::fromLatin1(name)));
            }
        }
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestDialogKeys)
#include "tst_dialogkeys.moc"
