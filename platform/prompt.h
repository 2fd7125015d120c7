#pragma once
// The one way the program asks the user: message boxes and modal windows.
// Production answers with real dialogs; tests answer with a script.

#include <QString>

class QDialog;

namespace pf {

// Button sets and answers of the message box.
enum MsgButtons : int { MbOk = 0, MbOkCancel = 1, MbYesNoCancel = 3, MbYesNo = 4 };
enum MsgAnswer : int { AnsOk = 1, AnsCancel = 2, AnsYes = 6, AnsNo = 7 };

inline const QString &appTitle()
{
    static const QString title = QStringLiteral("Corvanta");
    return title;
}

class Prompt {
public:
    virtual ~Prompt() = default;

    // A modal box with exactly this text (a '\r' is a line break), buttons and
    // title; returns the answer.
    virtual int messageBox(const QString &text, int buttons, const QString &title) = 0;
    int messageBox(const QString &text, int buttons = MbOk) { return messageBox(text, buttons, appTitle()); }

    // Shows a window modally and returns when it has closed.
    virtual void showModal(QDialog &dialog) = 0;
};

}  // namespace pf
