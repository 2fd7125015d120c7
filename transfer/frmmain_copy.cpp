// Copy Disk: every picture to the image folder, every clip to the video
// folder, clashes settled by the user, and on request the diskette erased
// once every copy has been checked against its source.

#include "app/frmmain.h"
#include "platform/hostnames.h"
#include "platform/twips_ui.h"
#include "transfer/copyjob.h"
#include "transfer/erase.h"
#include "transfer/eventpump.h"
#include "transfer/frmduplicate.h"
#include "transfer/frmpleasewait.h"
#include "transfer/naming.h"

#include <QProgressBar>

#include <algorithm>
#include <memory>

namespace {

const QString kDiskette = QStringLiteral("a:\\");
// A box lists this many files at most, then how many more there are.
constexpr int kListedAtMost = 10;

// "1 file" / "3 files" (and the like for other nouns).
QString counted(qsizetype n, const QString &one, const QString &many)
{
    return QString::number(n) + QLatin1Char(' ') + (n == 1 ? one : many);
}

// "<lead>n of m)": the caption of each file, put together without arg()'s parsing.
QString counting(const QString &lead, int n, int m)
{
    return lead + QString::number(n) + QStringLiteral(" of ") + QString::number(m) + QLatin1Char(')');
}

// One line per entry, the first kListedAtMost of them.
template <typename T, typename Line>
QString listed(const QList<T> &items, Line line)
{
    QStringList lines;
    for (qsizetype i = 0; i < items.size() && i < kListedAtMost; ++i)
        lines << line(items.at(i));
    if (items.size() > kListedAtMost)
        lines << QStringLiteral("... and %1 more.").arg(items.size() - kListedAtMost);
    return lines.join(QLatin1Char('\r'));
}

// A listed name that would not stay one name once put behind a folder.
pf::PlatformError notOneName(const QString &name)
{
    return pf::makeError(pf::ErrPathFileAccess,
                         QStringLiteral("A name the program cannot copy: it holds \"\\\" or \"/\""), name);
}

// The line that counts entries named like pictures or clips that are no
// files (links, folders), or nothing when there are none.
QString notFilesLine(qsizetype n)
{
    if (n == 0)
        return {};
    return n == 1 ? QStringLiteral("1 entry named like a picture or clip was not copied: it is a link, a folder or "
                                   "another entry that is not a file.")
                  : QStringLiteral("%1 entries named like pictures or clips were not copied: they are links, folders or "
                                   "other entries that are not files.")
                        .arg(n);
}

// `line` as a paragraph of its own after a box's text, if there is one.
QString withLine(const QString &line) { return line.isEmpty() ? line : QStringLiteral("\r\r") + line; }

}  // namespace

struct frmMain::CopyRun {
    explicit CopyRun(pf::FileSystem &fs) : job(fs, [this](qint64, qint64) { pump(); }) {}

    // The captions of the file at work, painted at once; only when files go
    // by faster than one each 20 ms is the painting left to the pump, which
    // paints them a moment later.
    void showFile(QLabel *const lines[2], const QString &status, const QString &name)
    {
        lines[0]->setText(status);
        lines[1]->setText(name);
        if (painted.isValid() && painted.elapsed() < 20)
            return;
        pf::repaintNow(lines[0]);
        pf::repaintNow(lines[1]);
        painted.start();
    }

    // Moves the bar to `n` of its maximum. With more files than the bar has
    // pixels it moves only when it grows by a pixel, and at most every 20 ms
    // (each move paints it at once, and nobody sees faster moves).
    void advance(QProgressBar *bar, int n)
    {
        const qint64 m = bar->maximum(), width = std::max(1, bar->width());
        if (m <= width || n >= m)
            bar->setValue(n);
        else if (n * width / m != qint64(bar->value()) * width / m && !(barMoved.isValid() && barMoved.elapsed() < 20)) {
            bar->setValue(n);  // paints at once
            barMoved.start();
        }
    }

    EventPump pump;           // keeps the windows drawing between files and within large ones
    QElapsedTimer painted;    // when showFile last painted
    QElapsedTimer barMoved;   // when advance last moved the bar by a pixel or more
    CopyJob job;              // the copies made, for the check before an erase
    qsizetype notCopied = 0;  // files that failed to copy
    qsizetype notFiles = 0;   // entries named like pictures or clips that are no files
    bool cancelled = false;   // "Exit" in the clash dialog
    bool stopped = false;     // Cancel after a failed copy
};

void frmMain::Command1_Click()
{
    BusyScope busy(*this);
    // A standing "Re&place All" or "Re&name All" settles the clashes of one
    // operation only; a later diskette is asked about again.
    m_m1.replaceAll = false;
    m_m1.renameAll = false;

    if (!openDiskette())
        return;
    if (!offDiskette(m_m1.imageFolder, QStringLiteral("image")) || !offDiskette(m_m1.videoFolder, QStringLiteral("video")))
        return;
    if (!ensureFolder(m_m1.imageFolder, QStringLiteral("image")) || !ensureFolder(m_m1.videoFolder, QStringLiteral("video")))
        return;
    // The status reset of an earlier Check Disk would overwrite the captions of this run.
    Timer2->stop();

    CopyRun run(*m_svc.fs);
    // Entries named like pictures or clips that are no file to copy (links,
    // folders): not copied, but said at the end.
    for (const QString &pattern : {QStringLiteral("*.jpg"), QStringLiteral("*.mpg")})
        run.notFiles += m_svc.fs->listNonFiles(m_m1.sourcePath, pattern).valueOr({}).size();
    {
        // The folders are looked up once for the whole run, not per file.
        pf::FileSystem::Batch batch(*m_svc.fs);
        if (File1.listCount() > 0)
            copyImages(run);
        if (!run.cancelled && !run.stopped && File2.listCount() > 0)
            copyClips(run);
    }
    finishCopy(run);
}

bool frmMain::ensureFolder(const QString &folder, const QString &kind)
{
    if (m_svc.fs->folderExists(folder).valueOr(false))
        return true;
    const QString text = QStringLiteral("The specified %1 directory:\r%2\rdoes not exist.\r\r"
                                        "Click OK to create it, or click cancel to select a different one on the options tab.")
                             .arg(kind, folder);
    if (m_svc.prompt->messageBox(text, pf::MbOkCancel, QStringLiteral("Folder Does Not Exist!")) != pf::AnsOk)
        return false;
    if (const pf::Status made = m_svc.fs->makeFolder(folder); !made) {
        m_svc.prompt->messageBox(QStringLiteral("The folder\r%1\rcould not be created: %2\r\r"
                                                "Nothing has been copied. Please choose a different folder on the options tab.")
                                     .arg(folder, made.error().describe()),
                                 pf::MbOk, QStringLiteral("Folder Not Created"));
        return false;
    }
    return true;
}

bool frmMain::offDiskette(const QString &folder, const QString &kind)
{
    // Copies inside the diskette would be erased with it, and would be
    // compared with themselves before that.
    const pf::Result<bool> inside = m_svc.fs->liesWithin(folder, m_m1.sourcePath);
    if (!inside || !*inside)
        return true;
    m_svc.prompt->messageBox(QStringLiteral("The %1 folder\r%2\rlies on the diskette in drive A:.  Files copied there "
                                            "would be erased with the diskette.\r\rNothing has been copied.  Please "
                                            "choose a folder on another drive on the options tab.")
                                 .arg(kind, folder),
                             pf::MbOk, QStringLiteral("Folder On Diskette"));
    return false;
}

void frmMain::copyImages(CopyRun &run)
{
    const int m = File1.listCount();
    ProgressBar1->setMaximum(m);
    for (int n = 1; n <= m; ++n) {
        File1.listIndex = n - 1;
        const QString name = File1.list(n - 1);
        run.showFile(Label2, counting(QStringLiteral("Copying Image Files...("), n, m), pf::shownName(name));
        copyImage(run, name);
        if (run.cancelled || run.stopped)
            return;
        Frame2->setVisible(true);
        run.advance(ProgressBar1, n);
        run.pump();
    }
    ProgressBar1->setValue(0);
}

void frmMain::copyImage(CopyRun &run, const QString &name)
{
    pf::FileSystem &fs = *m_svc.fs;
    if (!pf::isSingleName(name)) {
        copyFailed(run, name, m_m1.imageFolder, notOneName(name));
        return;
    }
    const QString source = m_m1.sourcePath + name;
    // The tick as it stands now, saved or not.
    const bool kept = Check1->isChecked();
    QString stored = name;
    if (!kept) {
        const pf::Result<QString> dated = dateTimeName(fs, source);
        if (!dated) {
            copyFailed(run, name, m_m1.imageFolder, dated.error());
            return;
        }
        stored = *dated;
        m_m1.newName = stored;
    }
    const QString target = m_m1.imageFolder + stored;
    const auto clock = [this] { return m_svc.now().time(); };

    if (!fs.fileExists(target)) {
        const pf::Result<QString> r =
            run.job.copyToFreeName(source, m_m1.imageFolder, imageNames(stored, kept, clock), 0, true);
        if (!r)
            copyFailed(run, name, m_m1.imageFolder, r.error());
        return;
    }

    // A clash: the dialog decides, unless a standing choice does. A copy
    // this operation made moments ago (two pictures of the same second) is
    // never replaced without asking.
    m_m1.newName = stored;
    m_m1.srcFile = source;
    m_m1.destFile = target;
    const bool ours = run.job.madeHere(target);
    QString action;
    if ((!m_m1.replaceAll && !m_m1.renameAll) || (ours && m_m1.replaceAll)) {
        {
            frmDuplicate dialog(m_svc, m_m1, this, ours);
            m_svc.prompt->showModal(dialog);
        }
        pf::repaintNow(this);
        action = m_m1.dupAction;
    } else {
        action = m_m1.renameAll ? QStringLiteral("Rename") : QStringLiteral("Copy");
    }

    if (action == QLatin1String("Copy")) {
        if (const pf::Status s = run.job.copyReplacing(source, target); !s)
            copyFailed(run, name, m_m1.imageFolder, s.error());
    } else if (action == QLatin1String("Rename")) {
        // "a" in front, and more "a"s while that name is taken as well.
        const pf::Result<QString> r =
            run.job.copyToFreeName(source, m_m1.imageFolder, imageNames(stored, kept, clock), 1);
        if (!r)
            copyFailed(run, name, m_m1.imageFolder, r.error());
    } else if (action == QLatin1String("Exit")) {
        run.cancelled = true;
    } else {
        // "Skip" (or anything else): the image is left uncopied, and stays on
        // the diskette unless the existing image holds the same bytes.
        run.job.noteSkipped(source, target);
    }
}

void frmMain::copyClips(CopyRun &run)
{
    pf::FileSystem &fs = *m_svc.fs;
    const int m = File2.listCount();
    ProgressBar1->setMaximum(m);
    setStatus(0, QStringLiteral("Copying Movie Clips..."));
    const auto clock = [this] { return m_svc.now().time(); };
    for (int n = 1; n <= m; ++n) {
        File2.listIndex = n - 1;
        const QString name = File2.list(n - 1);
        run.showFile(Label2, counting(QStringLiteral("Copying Movie Clips...("), n, m), pf::shownName(name));
        if (!pf::isSingleName(name)) {
            copyFailed(run, name, m_m1.videoFolder, notOneName(name));
            if (run.stopped)
                return;
            continue;
        }
        // Clips keep their names; a taken name gets the time in front (and
        // then "a"s, while that is taken too).
        int first = 0;
        if (fs.fileExists(m_m1.videoFolder + name)) {
            m_svc.prompt->messageBox(QStringLiteral("A file named %1 already exists.  "
                                                    "The file being copied will be automatically renamed.")
                                         .arg(pf::shownName(name)),
                                     pf::MbOk);
            pf::repaintNow(this);
            first = 1;
        }
        const pf::Result<QString> r = run.job.copyToFreeName(m_m1.sourcePath + name, m_m1.videoFolder,
                                                             clipNames(name, clock), first, first == 0);
        if (!r) {
            copyFailed(run, name, m_m1.videoFolder, r.error());
            if (run.stopped)
                return;
        }
        Frame2->setVisible(true);
        run.advance(ProgressBar1, n);
        run.pump();
    }
    ProgressBar1->setValue(0);
}

void frmMain::copyFailed(CopyRun &run, const QString &name, const QString &folder, const pf::PlatformError &error)
{
    ++run.notCopied;
    // Which side failed: the file on the diskette, or the folder copied to.
    const QString why = error.sourceSide ? QStringLiteral("The file on the diskette ") + error.describe() : error.describe();
    const QString text = QStringLiteral("The file %1 could not be copied to %2\r%3\r\r"
                                        "Click OK to go on with the next file, or Cancel to stop copying.")
                             .arg(pf::shownName(name), folder, why);
    if (m_svc.prompt->messageBox(text, pf::MbOkCancel, QStringLiteral("Copy Failed")) != pf::AnsOk)
        run.stopped = true;
    pf::repaintNow(this);
}

void frmMain::finishCopy(CopyRun &run)
{
    ProgressBar1->setValue(0);
    if (run.notCopied > 0) {
        // Never "successfully copied", never an erase.
        const QString notCopied = counted(run.notCopied, QStringLiteral("file"), QStringLiteral("files"));
        setStatus(0, notCopied + QStringLiteral(" could not be copied."));
        setStatus(1, QStringLiteral("The diskette was not erased."));
        const QString ended = run.cancelled || run.stopped ? QStringLiteral("Copying was stopped.\r") : QString();
        m_svc.prompt->messageBox(ended + notCopied + QStringLiteral(" could not be copied.\rThe source diskette has not been erased."),
                                 pf::MbOk, QStringLiteral("Diskette Not Erased"));
        return;
    }
    if (run.cancelled) {
        setStatus(0, QStringLiteral("Operation cancelled."));
        setStatus(1, QString());
        return;
    }
    const int answer = m_svc.prompt->messageBox(
        QStringLiteral("Files have been successfully copied.\rDo you want Pixferry to erase the source disk?"), pf::MbYesNo,
        QStringLiteral("Erase Source Diskette?"));
    pf::repaintNow(this);
    if (answer == pf::AnsYes) {
        eraseSourceDiskette(run);
        return;
    }
    setStatus(0, QStringLiteral("Operation completed."));
    setStatus(1, notFilesLine(run.notFiles));
}

void frmMain::eraseSourceDiskette(CopyRun &run)
{
    // Closed and discarded however the erase ends.
    auto wait = std::make_unique<frmPleaseWait>(this);
    wait->Form_Load();
    run.pump.force();

    // Every copy is read back from disk and compared with its source before
    // anything on the diskette goes; so is every file that may hold the bytes
    // of a picture this operation left no copy of.
    const QList<CopiedFile> &copies = run.job.copies();
    QList<CopiedFile> pairs = copies;
    for (const Counterpart &c : run.job.counterparts())
        pairs.append(CopiedFile{c.source, c.file});
    QList<CopyCheck> checks;
    if (!pairs.isEmpty()) {
        setStatus(0, QStringLiteral("Checking the copies..."));
        setStatus(1, QString());
        checks = checkCopies(*m_svc.fs, pairs, [&run](qsizetype) { run.pump(); });
    }
    QList<CopyCheck> bad;
    for (qsizetype i = 0; i < copies.size(); ++i)
        if (!checks.at(i).mismatch.isEmpty())
            bad.append(checks.at(i));
    if (!bad.isEmpty()) {
        wait.reset();
        setStatus(0, counted(bad.size(), QStringLiteral("copy does"), QStringLiteral("copies do")) + QStringLiteral(" not match."));
        setStatus(1, QStringLiteral("The diskette was not erased."));
        m_svc.prompt->messageBox(
            QStringLiteral("These copies do not match the files on the diskette:\r%1\r\r"
                           "The source diskette has not been erased.")
                .arg(listed(bad, [](const CopyCheck &c) { return pf::shownName(c.copy) + QStringLiteral(" (") + c.mismatch + QLatin1Char(')'); })),
            pf::MbOk, QStringLiteral("Diskette Not Erased"));
        return;
    }

    // What may go: a file whose copy, or whose counterpart, holds its bytes.
    const QString &folder = m_m1.sourcePath;
    const auto nameOf = [&folder](const QString &source) { return source.mid(folder.size()); };
    QHash<QString, pf::FileId> safe;
    QHash<QString, QString> why;
    for (qsizetype i = 0; i < checks.size(); ++i) {
        const QString name = nameOf(checks.at(i).source);
        if (checks.at(i).mismatch.isEmpty())
            safe.insert(name, checks.at(i).sourceId);
    }
    for (qsizetype i = copies.size(); i < checks.size(); ++i) {
        const QString name = nameOf(checks.at(i).source);
        if (!safe.contains(name))
            why.insert(name, run.job.counterparts().at(i - copies.size()).ifDifferent);
    }

    setStatus(0, QStringLiteral("Erasing source diskette..."));
    setStatus(1, QString());
    pf::repaintNow(this);
    const EraseOutcome erased = eraseCopied(*m_svc.fs, folder, safe, File3.entries(), why, [&run] { run.pump(); });
    wait.reset();

    if (!erased.failures.isEmpty()) {
        setStatus(0, counted(erased.failures.size(), QStringLiteral("file"), QStringLiteral("files")) + QStringLiteral(" could not be erased."));
        setStatus(1, QString());
        m_svc.prompt->messageBox(
            QStringLiteral("These files could not be deleted and are still on the diskette:\r%1")
                .arg(listed(erased.failures, [](const pf::FileFailure &f) { return pf::shownName(f.path) + QStringLiteral(": ") + f.error.describe(); })),
            pf::MbOk, QStringLiteral("Erase Incomplete"));
        return;
    }
    if (!erased.kept.isEmpty()) {
        // Files that exist nowhere else, or that no pass copies, stay: said
        // with their reasons instead of a plain "Operation completed.".
        const qsizetype n = erased.kept.size();
        setStatus(0, QStringLiteral("Operation completed: ") + counted(n, QStringLiteral("file"), QStringLiteral("files"))
                         + QStringLiteral(" kept on the diskette."));
        setStatus(1, QString());
        m_svc.prompt->messageBox(
            QStringLiteral("The source diskette has been erased, except for %1:\r%2")
                    .arg(counted(n, QStringLiteral("file that was kept"), QStringLiteral("files that were kept")),
                         listed(erased.kept, [](const KeptFile &k) { return pf::shownName(k.name) + QStringLiteral(" (") + k.reason + QLatin1Char(')'); }))
                + withLine(notFilesLine(run.notFiles)),
            pf::MbOk, pf::appTitle());
        return;
    }
    setStatus(0, QStringLiteral("Operation completed."));
    setStatus(1, QString());
    m_svc.prompt->messageBox(QStringLiteral("Operation completed.") + withLine(notFilesLine(run.notFiles)), pf::MbOk, pf::appTitle());
}
