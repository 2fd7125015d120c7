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
    // Each button with the answer it gives; the first is the default.
    QList<std::pair<QAbstractButton *, MsgAnswer>> set;
    const auto add = [&](QMessageBox::StandardButton button, MsgAnswer answer) {
        set.append({box.addButton(button), answer});
    };
    switch (buttons) {
    case MbOkCancel:
        add(QMessageBox::Ok, AnsOk);
        add(QMessageBox::Cancel, AnsCancel);
        break;
    case MbOkCancelKeep:
        add(QMessageBox::Ok, AnsOk);
        set.append({box.addButton(keepReadableCaption(), QMessageBox::ActionRole), AnsKeep});
        set.last().first->setObjectName(QStringLiteral("KeepButton"));
        add(QMessageBox::Cancel, AnsCancel);
        break;
    case MbYesNoCancel:
        add(QMessageBox::Yes, AnsYes);
        add(QMessageBox::No, AnsNo);
        add(QMessageBox::Cancel, AnsCancel);
        break;
    case MbYesNo:
        add(QMessageBox::Yes, AnsYes);
        add(QMessageBox::No, AnsNo);
        break;
    default:
        add(QMessageBox::Ok, AnsOk);
        break;
    }
    box.setDefaultButton(qobject_cast<QPushButton *>(set.first().first));
    // Esc answers Cancel where there is one; a Yes/No box cannot be escaped.
    if (buttons == MbOkCancel || buttons == MbYesNoCancel || buttons == MbOkCancelKeep)
        box.setEscapeButton(QMessageBox::Cancel);
    else if (buttons == MbOk)
        box.setEscapeButton(QMessageBox::Ok);
    box.exec();
    QAbstractButton *clicked = box.clickedButton();
    for (const auto &[button, answer] : set)
        if (clicked == button)
            return answer;
    // Closed some other way: the safe answer of the set.
    switch (buttons) {
    case MbOkCancel:
    case MbYesNoCancel:
    case MbOkCancelKeep:
        return AnsCancel;
    case MbYesNo:
        return AnsNo;
    default:
        return AnsOk;
    }
}

void DialogPrompt::showModal(QDialog &dialog) { dialog.exec(); }

}  // namespace pf
