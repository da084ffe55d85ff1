#include "presentation/translateform.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QWidget>

#include "base/translation.h"
#include "presentation/qtstrings.h"

namespace qv {

void translateForm(QWidget* form, const modTranslation& translation) {
    if (!form || !translation.languageFileExists()) return;
    const std::string section = ss(form->objectName());
    if (section.empty()) return;
    auto lookup = [&](const QString& key, const QString& current) {
        if (key.isEmpty()) return current;
        return qs(translation.readKey(section, ss(key), ss(current)));
    };
    form->setWindowTitle(lookup(form->objectName(), form->windowTitle()));
    for (QAbstractButton* b : form->findChildren<QAbstractButton*>())
        b->setText(lookup(b->objectName(), b->text()));
    for (QLabel* l : form->findChildren<QLabel*>()) l->setText(lookup(l->objectName(), l->text()));
    for (QGroupBox* g : form->findChildren<QGroupBox*>())
        g->setTitle(lookup(g->objectName(), g->title()));
    for (QMenu* m : form->findChildren<QMenu*>()) m->setTitle(lookup(m->objectName(), m->title()));
    for (QAction* a : form->findChildren<QAction*>()) {
        // A menu's own action carries no name of its own; the menu was done above.
        if (a->menu() || a->isSeparator()) continue;
        a->setText(lookup(a->objectName(), a->text()));
    }
}

}  // namespace qv
