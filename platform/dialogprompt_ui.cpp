#include "platform/dialogprompt_ui.h"

#include "platform/twips_ui.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>

namespace pf {

namespace {

// A box whose owner is not on screen yet (the main window during start-up)
// sits in the middle of the screen that window will use, not in a corner.
class MessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent *event) override
    {
        QMessageBox::showEvent(event);  // sizes the box
        if (!parentWidget() || !parentWidget()->isVisible())
            centreOver(this, parentWidget());
    }
};

}  // namespace

MsgAnswer DialogPrompt::messageBox(const QString &text, MsgButtons buttons, const QString &title)
{
    QWidget *owner = QApplication::activeModalWidget();
    if (!owner)
        owner = m_owner;
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    MessageBox box(QMessageBox::NoIcon, title, shown, QMessageBox::NoButton, owner);
    box.setTextFormat(Qt::PlainText);
    box.setObjectName(QStringLiteral("MsgBox"));
    struct B {
        QMessageBox::StandardButton button;
        MsgAnswer answer;
    };
    QList<B> set;
    switch (buttons) {
    case MbOkCancel:
        set = {{QMessageBox::Ok, AnsOk}, {QMessageBox::Cancel, AnsCancel}};
        break;
    case MbYesNoCancel:
        set = {{QMessageBox::Yes, AnsYes}, {QMessageBox::No, AnsNo}, {QMessageBox::Cancel, AnsCancel}};
        break;
    case MbYesNo:
        set = {{QMessageBox::Yes, AnsYes}, {QMessageBox::No, AnsNo}};
        break;
    default:
        set = {{QMessageBox::Ok, AnsOk}};
        break;
    }
    for (const B &b : set)
        box.addButton(b.button);
    box.setDefaultButton(set.first().button);
    // Esc answers Cancel where there is one; a Yes/No box cannot be escaped.
    if (buttons == MbOkCancel || buttons == MbYesNoCancel)
        box.setEscapeButton(QMessageBox::Cancel);
    else if (buttons == MbOk)
        box.setEscapeButton(QMessageBox::Ok);
    box.exec();
    QAbstractButton *clicked = box.clickedButton();
    for (const B &b : set)
        if (clicked == box.button(b.button))
            return b.answer;
    // Closed some other way: the safe answer of the set.
    switch (buttons) {
    case MbOkCancel:
    case MbYesNoCancel:
        return AnsCancel;
    case MbYesNo:
        return AnsNo;
    default:
        return AnsOk;
    }
}

void DialogPrompt::showModal(QDialog &dialog) { dialog.exec(); }

}  // namespace pf
