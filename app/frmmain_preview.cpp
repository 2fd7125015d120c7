// Preview Disk: the diskette's pictures in a list, one shown scaled.

#include "app/frmmain.h"
#include "preview/frmpreviewdisk.h"

void frmMain::Command15_Click()
{
    BusyScope busy(*this);
    for (;;) {
        if (!openDiskette())
            break;
        frmPreviewDisk preview(m_svc, [this]() -> pf::Result<QString> {
            if (Dir1.setPath(Drive1.drive()))
                Dir1_Change();
            if (pf::Status s = refreshFileLists(); !s)
                return s.error();
            return Dir1.path();
        }, this);
        if (preview.Form_Load()) {
            m_svc.prompt->showModal(preview);
            break;
        }
        // The diskette was taken out between the probe and the opening: ask
        // for it as the probe does, and look again on OK.
        if (m_svc.prompt->messageBox(QStringLiteral("Please insert a disk with images or video clips."),
                                     pf::MbOkCancel, QStringLiteral("No Disk!"))
            != pf::AnsOk)
            break;
    }
    if (isVisible())
        activateWindow();
    SSTab1->setFocus();
}
