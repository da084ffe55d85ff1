#include "ui/messagebox.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

namespace qv {
namespace {

struct Choice {
    QMessageBox::StandardButton button;
    int answer;
};

std::vector<Choice> choicesFor(int set) {
    switch (set) {
        case 1:
            return {{QMessageBox::Ok, 1}, {QMessageBox::Cancel, 2}};
        case 2:
            return {{QMessageBox::Abort, 3}, {QMessageBox::Retry, 4}, {QMessageBox::Ignore, 5}};
        case 3:
            return {{QMessageBox::Yes, 6}, {QMessageBox::No, 7}, {QMessageBox::Cancel, 2}};
        case 4:
            return {{QMessageBox::Yes, 6}, {QMessageBox::No, 7}};
        case 5:
            return {{QMessageBox::Retry, 4}, {QMessageBox::Cancel, 2}};
        default:
            return {{QMessageBox::Ok, 1}};
    }
}

}  // namespace

QMessageBox* createMessageBox(QWidget* parent, const QString& text, int buttons,
                              const QString& title) {
    auto* box = new QMessageBox(parent);
    box->setWindowTitle(title);
    // Texts carry names and answers from files and plug-ins: never markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    switch (buttons & 0x70) {
        case 16:
            box->setIcon(QMessageBox::Critical);
            break;
        case 32:
            box->setIcon(QMessageBox::Question);
            break;
        case 48:
            box->setIcon(QMessageBox::Warning);
            break;
        case 64:
            box->setIcon(QMessageBox::Information);
            break;
        default:
            box->setIcon(QMessageBox::NoIcon);
            break;
    }
    const auto choices = choicesFor(buttons & 7);
    for (const Choice& c : choices) box->addButton(c.button);
    std::size_t def = 0;
    if (buttons & 256) def = 1;
    if (buttons & 512) def = 2;
    if (def >= choices.size()) def = 0;
    box->setDefaultButton(choices[def].button);
    // Escape answers Cancel where there is one, else No, else the only button.
    for (const Choice& c : choices)
        if (c.button == QMessageBox::Cancel) box->setEscapeButton(QMessageBox::Cancel);
    if (!box->escapeButton()) {
        for (const Choice& c : choices)
            if (c.button == QMessageBox::No) box->setEscapeButton(QMessageBox::No);
    }
    if (!box->escapeButton() && choices.size() == 1) box->setEscapeButton(choices[0].button);
    box->setProperty("quorvaneButtons", buttons);
    return box;
}

int messageBoxAnswer(const QMessageBox& box) {
    QAbstractButton* clicked = box.clickedButton();
    const auto choices = choicesFor(box.property("quorvaneButtons").toInt() & 7);
    if (clicked) {
        const QMessageBox::StandardButton which = box.standardButton(clicked);
        for (const Choice& c : choices)
            if (c.button == which) return c.answer;
    }
    // Closed without a button: the escape answer.
    for (const Choice& c : choices)
        if (c.button == QMessageBox::Cancel) return 2;
    for (const Choice& c : choices)
        if (c.button == QMessageBox::No) return 7;
    return choices.front().answer;
}

int showQtMessageBox(QWidget* parent, const QString& text, int buttons, const QString& title) {
    QMessageBox* box = createMessageBox(parent, text, buttons, title);
    box->exec();
    const int answer = messageBoxAnswer(*box);
    delete box;
    return answer;
}

}  // namespace qv
