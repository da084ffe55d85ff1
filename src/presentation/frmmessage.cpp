#include "presentation/frmmessage.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/program.h"
#include "presentation/bringtofront.h"
#include "presentation/qtstrings.h"
#include "presentation/translateform.h"

namespace qv {

frmMessage::frmMessage(Program& program, QWidget* parent) : QWidget(parent), p_(program) {
    setObjectName("frmMessage");
    setWindowFlag(Qt::Window);
    setAttribute(Qt::WA_DeleteOnClose);
    // Closing it must not end a program whose main window sits hidden in the tray.
    setAttribute(Qt::WA_QuitOnClose, false);
    lblMessage = new QLabel(this);
    lblMessage->setObjectName("lblMessage");
    lblMessage->setWordWrap(true);
    lblMessage->setTextFormat(Qt::PlainText);
    cmdOk = new QPushButton("OK", this);
    cmdOk->setObjectName("cmdOk");
    cmdOk->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblMessage, 1);
    layout->addWidget(cmdOk, 0, Qt::AlignRight);
    connect(cmdOk, &QPushButton::clicked, this, &QWidget::close);
    translate();
    keepAnswerable(this);
}

void frmMessage::translate() { translateForm(this, p_.translation); }

void frmMessage::showMessage(const QString& text, int titleNumber) {
    setWindowTitle(qs(p_.translation.getText("frmMessage", titleNumber)) + " - " +
                   qs(p_.translation.readKey("frmQuorvaneMain", "frmQuorvaneMain", "Quorvane")));
    lblMessage->setText(text);
    bringToFront(this);
}

QString frmMessage::getMessage() const { return lblMessage->text(); }

void frmMessage::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        cmdOk->click();
        return;
    }
    if (key == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace qv
