#pragma once
// Window translation: a window's caption and the captions of its buttons,
// check boxes, option buttons, labels and menu items come from the window's
// section of the language file, keyed by their object names ("cmdTab(2)" for
// a member of a control array). What the file lacks keeps its current caption.

class QWidget;

namespace qv {

class modTranslation;

void translateForm(QWidget* form, const modTranslation& translation);

}  // namespace qv
