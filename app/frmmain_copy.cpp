// Copy Disk in the main window: the operation itself decides, on a worker;
// here are its captions, its progress bar, the clash dialog, the wait window
// and the boxes, all on the window's thread, which keeps painting meanwhile.

#include "app/frmmain.h"
#include "platform/hostnames.h"
#include "platform/twips_ui.h"
#include "transfer/copyoperation.h"
#include "transfer/copyreport.h"
#include "platform/aside.h"
#include "transfer/copyhop.h"
#include "transfer/frmduplicate.h"
#include "transfer/frmpleasewait.h"

#include <QElapsedTimer>
#include <QProgressBar>

#include <algorithm>
#include <memory>

// What the main window shows while a Copy Disk runs.
class frmMain::CopyView : public CopyWatcher {
public:
    explicit CopyView(frmMain &w) : m_w(w) {}

    void copyingStarts() override
    {
        // The status reset of an earlier Check Disk would overwrite the captions of this run.
        m_w.Timer2->stop();
    }
    void passStarts(Pass pass, int count) override
    {
        m_w.ProgressBar1->setMaximum(count * kSteps);
        if (pass == Pass::Clips)
            m_w.setStatus(0, QStringLiteral("Copying Movie Clips..."));
    }
    void fileStarts(Pass pass, int n, int m, const QString &name) override
    {
        (pass == Pass::Images ? m_w.File1 : m_w.File2).listIndex = n - 1;
        showFile(fileCaption(pass, n, m), pf::shownName(name));
    }
    void fileBytes(Pass, int n, qint64 done, qint64 total) override
    {
        if (total > 0 && done < total)
            advance((n - 1) * kSteps + int(done * kSteps / total));
    }
    void fileEnds(Pass, int n) override
    {
        m_w.Frame2->setVisible(true);
        advance(n * kSteps);
    }
    void passEnds(Pass) override { m_w.ProgressBar1->setValue(0); }
    void eraseStarts() override
    {
        m_wait = std::make_unique<frmPleaseWait>(&m_w);
        m_wait->Form_Load();
    }
    void checkingCopies() override
    {
        m_w.setStatus(0, QStringLiteral("Checking the copies..."));
        m_w.setStatus(1, QString());
    }
    void erasingFiles() override
    {
        m_w.setStatus(0, QStringLiteral("Erasing source diskette..."));
        m_w.setStatus(1, QString());
        pf::repaintNow(&m_w);
    }
    void eraseEnds() override { m_wait.reset(); }  // closed and discarded however the erase ends

    // The bar moves within a file as its bytes are read: it has this many
    // steps for each file, and stands at n of them once file n is done.
    static constexpr int kSteps = 100;

private:
    // The captions of the file at work, painted at once; only when files go
    // by faster than one each 20 ms is the painting left to the event loop,
    // which paints them a moment later.
    void showFile(const QString &status, const QString &name)
    {
        m_w.Label2[0]->setText(status);
        m_w.Label2[1]->setText(name);
        if (m_painted.isValid() && m_painted.elapsed() < 20)
            return;
        pf::repaintNow(m_w.Label2[0]);
        pf::repaintNow(m_w.Label2[1]);
        m_painted.start();
    }

    // Moves the bar to `n` of its maximum. The bar paints itself at once
    // only when it grows by a pixel or more, so that many small files do not
    // cost a painting each; it always stands where the copying is.
    void advance(int n) { m_w.ProgressBar1->setValue(n); }

    frmMain &m_w;
    QElapsedTimer m_painted;    // when showFile last painted
    std::unique_ptr<frmPleaseWait> m_wait;
};

void frmMain::Command1_Click()
{
    BusyScope busy(*this);
    if (!openDiskette())
        return;

    CopyView view(*this);
    PromptAsker asker(*m_svc.prompt, [this](bool copiedHere) { return askClash(copiedHere); },
                      [this] { pf::repaintNow(this); });
    // The operation runs on a worker: it asks and tells through these, on this thread.
    WatcherHop watcherHop(view);
    AskerHop askerHop(asker, *this, [&watcherHop] { watcherHop.deliver(); });
    CopyOperation operation(*m_svc.fs, m_m1, askerHop, watcherHop, [this] { return m_svc.now().time(); });
    // Esc stops it, as Cancel at a clash does.
    m_onEscape = [&operation] { operation.requestStop(); };
    // The tick as it stands now, saved or not.
    const DisketteLists lists{m_m1.sourcePath, File1.entries(), File2.entries(), File3.entries()};
    const bool keepNames = Check1->isChecked();
    const CopyOutcome outcome = pf::aside([&] { return operation.run(lists, keepNames); }, QEventLoop::AllEvents);
    m_onEscape = nullptr;
    watcherHop.deliver();

    const CopyReport report = reportOf(outcome);
    if (!report.shown)
        return;
    ProgressBar1->setValue(0);
    setStatus(0, report.status);
    setStatus(1, report.fileLine);
    if (!report.boxText.isEmpty())
        m_svc.prompt->messageBox(report.boxText, pf::MbOk, report.boxTitle);
}

ClashChoice frmMain::askClash(bool copiedHere)
{
    const bool replaceAll = m_m1.replaceAll, renameAll = m_m1.renameAll;
    {
        frmDuplicate dialog(m_svc, m_m1, this, copiedHere);
        m_svc.prompt->showModal(dialog);
    }
    pf::repaintNow(this);
    // The dialog leaves its decision in dupAction, and a standing choice
    // in replaceAll or renameAll.
    const QString &action = m_m1.dupAction;
    if (action == QLatin1String("Copy"))
        return m_m1.replaceAll && !replaceAll ? ClashChoice::ReplaceAll : ClashChoice::Replace;
    if (action == QLatin1String("Rename"))
        return m_m1.renameAll && !renameAll ? ClashChoice::RenameAll : ClashChoice::Rename;
    if (action == QLatin1String("Exit"))
        return ClashChoice::Cancel;
    return ClashChoice::Skip;  // "Skip", or anything else: left uncopied
}
