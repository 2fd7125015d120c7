// The diskette in drive A:: the probe, the prompt that waits for a usable
// diskette, the refresh of the working lists, and Check Disk.

#include "app/frmmain.h"
#include "platform/aside.h"
#include "platform/twips_ui.h"

namespace {
const QString kNoFloppy = QStringLiteral("No Floppy");
const QString kNoImages = QStringLiteral("No Images");
const QString kUnreadable = QStringLiteral("Unreadable");
}  // namespace

// "No Floppy" when drive A: cannot be selected, "Unreadable" when its folder
// is there but cannot be listed (the reason in m_unreadable), "No Images"
// when its root holds neither a picture nor a movie clip, else the empty
// text (also after any other failure). The drive is looked at on a worker:
// a diskette drive may take seconds to answer, and the window paints meanwhile.
QString frmMain::chkDrive()
{
    return pf::aside([this] { return probeDrive(); });
}

QString frmMain::probeDrive()
{
    QString result;
    if (pf::Status s = Drive1.setDrive(QStringLiteral("a:")); !s) {
        if (s.error().number == pf::ErrDeviceUnavailable) {
            result = kNoFloppy;
        } else {
            m_unreadable = s.error().reason;
            result = kUnreadable;
        }
        return result;
    }
    bool found = true;
    pf::Result<QString> mpg = m_svc.fs->findFirst(QStringLiteral("a:\\*.mpg"), pf::FindPlainFiles);
    if (!mpg)
        return mpg.error().number == pf::ErrDeviceUnavailable ? kNoFloppy : result;
    pf::Result<QString> jpg = m_svc.fs->findFirst(QStringLiteral("a:\\*.jpg"), pf::FindPlainFiles);
    if (!jpg)
        return jpg.error().number == pf::ErrDeviceUnavailable ? kNoFloppy : result;
    if (mpg->isEmpty() && jpg->isEmpty())
        found = false;
    if (!found)
        result = kNoImages;
    return result;
}

bool frmMain::openDiskette()
{
    QString probe = chkDrive();
    for (;;) {
        // Ask until the diskette is usable; each new probe picks the next box.
        while (!probe.isEmpty()) {
            pf::MsgAnswer answer = pf::AnsCancel;
            if (probe == kNoImages)
                answer = m_svc.prompt->messageBox(
                    QStringLiteral("The inserted disk does not contain any image files or video clips.  "
                                   "Please insert a disk with images or video clips."),
                    pf::MbOkCancel, QStringLiteral("No Images!"));
            else if (probe == kUnreadable)
                answer = m_svc.prompt->messageBox(
                    m_unreadable + QStringLiteral(".\r\rPlease insert a disk with images or video clips."),
                    pf::MbOkCancel, QStringLiteral("Disk Not Readable"));
            else
                answer = m_svc.prompt->messageBox(QStringLiteral("Please insert a disk with images or video clips."),
                                                  pf::MbOkCancel, QStringLiteral("No Disk!"));
            if (answer != pf::AnsOk)
                return false;
            probe = chkDrive();
        }
        Dir1.setPath(Drive1.drive());
        const pf::Status listed = refreshFileLists();
        if (listed)
            return true;
        // The drive failed after the probe said usable: ask as for a missing
        // diskette when it went (taken out), else say it cannot be read.
        probe = kNoFloppy;
        if (listed.error().number != pf::ErrDeviceUnavailable && listed.error().number != pf::ErrPathNotFound) {
            QString why = listed.error().reason;
            if (!why.isEmpty())
                why[0] = why.at(0).toLower();
            m_unreadable = QStringLiteral("The disk in drive A: cannot be read: ") + why;
            probe = kUnreadable;
        }
    }
}

// Its callers read the lists again themselves and look at that outcome.
void frmMain::Dir1_Change() { (void)refreshFileLists(); }

pf::Status frmMain::refreshFileLists()
{
    // The diskette is read on a worker; the window paints meanwhile.
    bool pictures = false;
    const pf::Status read = pf::aside([this, &pictures]() -> pf::Status {
        pf::Result<QString> jpg = m_svc.fs->findFirst(QStringLiteral("a:\\*.jpg"), pf::FindPlainFiles);
        pictures = jpg.ok() && !jpg->isEmpty();
        pf::FileList *lists[3] = {&File1, &File2, &File3};
        for (pf::FileList *l : lists)
            l->setPath(Dir1.path());
        // One reading of the folder serves the three lists.
        pf::FileSystem::Batch batch(*m_svc.fs);
        for (pf::FileList *l : lists)
            if (pf::Status s = l->refresh(); !s)
                return s;
        return {};
    });
    Command15->setEnabled(pictures);
    if (!read)
        return read;

    QString folder = File1.path();
    if (!folder.endsWith(QLatin1Char('\\')))
        folder += QLatin1Char('\\');
    m_m1.sourcePath = folder;

    Label3[0]->setText(QString::number(File1.listCount()));
    Label3[1]->setText(QString::number(File2.listCount()));
    pf::repaintNow(Label3[0]);
    pf::repaintNow(Label3[1]);
    return {};
}

void frmMain::Command12_Click()
{
    BusyScope busy(*this);
    Command15->setEnabled(true);
    if (!openDiskette()) {
        SSTab1->setFocus();
        return;
    }
    setStatus(0, QStringLiteral("Status: Disk Check Complete"));
    Timer2->start();
    SSTab1->setFocus();
}
