// The Options tab: edit, browse, save, undo, and the question on leaving it.

#include "app/frmmain.h"
#include "settings/frmfolderselect.h"

namespace {

constexpr int kOptionsTab = 1;

const QString &folderKey(int index) { return index == 0 ? settings::kImageFolder : settings::kVideoFolder; }

}  // namespace

QString frmMain::folderBoxText(int index) const
{
    return settings::folderBoxText(m_store.read(folderKey(index)), index == 0 ? m_defaults.image : m_defaults.video);
}

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

// The splash choice is stored at once. When it cannot be, the user is told
// and the tick stays as set. Start-up's own tick only stores again what it
// has just read (or the default): nothing the user chose is lost there.
void frmMain::Check2_Click()
{
    const pf::Status stored =
        m_store.write(settings::kSplashScreen, Check2->isChecked() ? QStringLiteral("True") : QStringLiteral("False"));
    if (!stored && !m_loading)
        reportNotSaved(stored.error());
}

void frmMain::reportNotSaved(const pf::PlatformError &error)
{
    m_svc.prompt->messageBox(QStringLiteral("The settings could not be saved to\r%1\r%2").arg(error.path, error.reason),
                             pf::MbOk, QStringLiteral("Settings Not Saved"));
}

void frmMain::Command7_Click() { browseFolder(0); }
void frmMain::Command9_Click() { browseFolder(1); }

// The picker's folder goes into the box with one trailing '\' (a drive root
// such as "C:\" already has it). A cancelled picker leaves the box alone.
void frmMain::browseFolder(int index)
{
    frmFolderSelect picker(m_svc, m_m1, this);
    m_svc.prompt->showModal(picker);
    if (m_m1.pickedFolder && !m_m1.pickedFolder->isEmpty())
        Text1[index]->setText(settings::withBackslash(*m_m1.pickedFolder));
}

// Save Changes: both folders end in '\', each is stored when it exists or the
// user has it created, then "Rename"; the tab is clean again and the copy
// operation gets the new folders. The three are stored together: when that
// fails, nothing is, the user is told, and the edits stay pending as typed.
void frmMain::Command10_Click()
{
    for (QLineEdit *box : Text1)
        box->setText(settings::withBackslash(box->text()));
    QList<std::pair<QString, QString>> values;
    for (int i = 0; i < 2; ++i)
        if (std::optional<QString> folder = saveFolder(i))
            values.append({folderKey(i), *folder});
    values.append({settings::kRename, Check1->isChecked() ? QStringLiteral("False") : QStringLiteral("True")});
    if (const pf::Status stored = m_store.write(values); !stored) {
        reportNotSaved(stored.error());
        Command10->setEnabled(true);
        Command11->setEnabled(true);
        return;
    }

    // Last: the box changes above enabled both buttons again.
    Command10->setEnabled(false);
    Command11->setEnabled(false);

    m_m1.imageFolder = settings::withBackslash(Text1[0]->text());
    m_m1.videoFolder = settings::withBackslash(Text1[1]->text());
}

// A folder that is declined, lies on the diskette, cannot be checked or
// cannot be created is not stored; its box goes back to the stored folder
// (or the default).
std::optional<QString> frmMain::saveFolder(int index)
{
    const QString folder = Text1[index]->text();
    auto putBack = [&] { Text1[index]->setText(folderBoxText(index)); };
    auto refuse = [&](const char *what, const pf::PlatformError &error) {
        m_svc.prompt->messageBox(folder + QStringLiteral("\r\rThis folder %1: %2.  The previous setting is kept.")
                                              .arg(QLatin1String(what), error.reason));
        putBack();
        return std::nullopt;
    };

    // Pictures kept on the diskette would be erased with it. With no
    // diskette in the drive this cannot be told; Copy Disk tells it then.
    if (const pf::Result<bool> inside = m_svc.fs->liesWithin(folder, QStringLiteral("a:\\")); inside && *inside) {
        m_svc.prompt->messageBox(folder + QStringLiteral("\r\rThis folder lies on the diskette in drive A:, and files "
                                                         "copied there would be erased with it.  The previous setting is kept."),
                                 pf::MbOk, QStringLiteral("Folder On Diskette"));
        putBack();
        return std::nullopt;
    }
    const pf::Result<bool> exists = m_svc.fs->folderExists(folder);
    if (!exists)
        return refuse("cannot be checked", exists.error());
    if (!*exists) {
        const QString question = folder + QStringLiteral("\r\r")
            + (index == 0 ? QStringLiteral("Image") : QStringLiteral("Video"))
            + QStringLiteral(" directory specified does not exist.  Create it?  "
                             "Click \"No\" to set it back to the previous setting.");
        if (m_svc.prompt->messageBox(question, pf::MbYesNo, QStringLiteral("Create Folder?")) != pf::AnsYes) {
            putBack();
            return std::nullopt;
        }
        if (const pf::Status made = m_svc.fs->makeFolder(folder); !made)
            return refuse("could not be created", made.error());
    }
    return folder;
}

// Undo Changes: the stored values back into the controls; the tab is clean.
void frmMain::Command11_Click()
{
    for (int i = 0; i < 2; ++i)
        Text1[i]->setText(folderBoxText(i));
    if (auto tick = settings::keepNamesTick(m_store.read(settings::kRename), /*atStartup=*/false))
        Check1->setChecked(*tick);
    Command10->setEnabled(false);
    Command11->setEnabled(false);
}

// Runs after the tab in front changed. Bringing a tab to the front from here
// runs this handler again; those inner runs only set Exit, because the
// Options tab is then in front or the edits are no longer pending.
void frmMain::SSTab1_Click(int previousTab)
{
    // Exit is off while the Options tab is in front.
    Command6->setEnabled(SSTab1->currentIndex() != kOptionsTab);

    if (previousTab != kOptionsTab || !Command10->isEnabled())
        return;
    const int chosen = SSTab1->currentIndex();
    SSTab1->setCurrentIndex(kOptionsTab);  // the user sees the edits while answering
    switch (m_svc.prompt->messageBox(QStringLiteral("Save Changes?"), pf::MbYesNoCancel)) {
    case pf::AnsYes:
        Command10_Click();
        // Edits that could not be stored stay in front, still pending.
        SSTab1->setCurrentIndex(Command10->isEnabled() ? kOptionsTab : chosen);
        break;
    case pf::AnsNo:
        Command11_Click();
        SSTab1->setCurrentIndex(chosen);
        break;
    default:
        SSTab1->setCurrentIndex(kOptionsTab);
        break;
    }
}
