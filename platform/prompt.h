#pragma once
// The one way the program asks the user: message boxes and modal windows.
// Production answers with real dialogs; tests answer with a script.

#include <QString>

class QDialog;

namespace pf {

// Button sets and answers of the message box. OkCancelKeep: OK, Cancel and
// "&Keep Readable Part" (answered Keep), for a file that could be read in part.
enum class MsgButtons { Ok, OkCancel, YesNoCancel, YesNo, OkCancelKeep };
enum class MsgAnswer { Ok, Cancel, Yes, No, Keep };
inline constexpr MsgButtons MbOk = MsgButtons::Ok, MbOkCancel = MsgButtons::OkCancel,
                            MbYesNoCancel = MsgButtons::YesNoCancel, MbYesNo = MsgButtons::YesNo,
                            MbOkCancelKeep = MsgButtons::OkCancelKeep;
inline constexpr MsgAnswer AnsOk = MsgAnswer::Ok, AnsCancel = MsgAnswer::Cancel, AnsYes = MsgAnswer::Yes,
                           AnsNo = MsgAnswer::No, AnsKeep = MsgAnswer::Keep;

// The caption of the Keep button.
inline QString keepReadableCaption() { return QStringLiteral("&Keep Readable Part"); }

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
    virtual MsgAnswer messageBox(const QString &text, MsgButtons buttons, const QString &title) = 0;
    MsgAnswer messageBox(const QString &text, MsgButtons buttons = MbOk) { return messageBox(text, buttons, appTitle()); }

    // Shows a window modally and returns when it has closed.
    virtual void showModal(QDialog &dialog) = 0;
};

}  // namespace pf
