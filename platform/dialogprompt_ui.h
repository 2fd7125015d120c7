#pragma once
// The prompt interface answered by real dialogs.

#include "platform/prompt.h"

class QWidget;

namespace pf {

class DialogPrompt : public Prompt {
public:
    explicit DialogPrompt(QWidget *owner = nullptr) : m_owner(owner) {}
    void setOwner(QWidget *owner) { m_owner = owner; }

    MsgAnswer messageBox(const QString &text, MsgButtons buttons, const QString &title) override;
    using Prompt::messageBox;
    void showModal(QDialog &dialog) override;

private:
    QWidget *m_owner;
};

}  // namespace pf
