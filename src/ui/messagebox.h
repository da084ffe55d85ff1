#pragma once
// Message boxes with the classic button and icon codes: buttons 0 OK,
// 1 OK/Cancel, 2 Abort/Retry/Ignore, 3 Yes/No/Cancel, 4 Yes/No, 5 Retry/Cancel;
// icons 16 critical, 32 question, 48 warning, 64 information; 256 and 512 make
// the second and third button the default. Answers: 1 OK, 2 Cancel, 3 Abort,
// 4 Retry, 5 Ignore, 6 Yes, 7 No.

#include <QString>

class QWidget;
class QMessageBox;

namespace qv {

// Builds the box without showing it (tests look at it).
QMessageBox* createMessageBox(QWidget* parent, const QString& text, int buttons, const QString& title);
// The answer code of the button that closed the box.
int messageBoxAnswer(const QMessageBox& box);
// Shows the box modally and returns the answer code.
int showQtMessageBox(QWidget* parent, const QString& text, int buttons, const QString& title);

}  // namespace qv
