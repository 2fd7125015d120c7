#include "transfer/copyoperation.h"

#include "transfer/naming.h"

namespace {

// A listed name that would not stay one name once put behind a folder.
pf::PlatformError notOneName(const QString &name)
{
    return pf::makeError(pf::ErrPathFileAccess,
                         QStringLiteral("A name the program cannot copy: it holds \"\\\" or \"/\""), name);
}

}  // namespace

CopyOperation::CopyOperation(pf::FileSystem &fs, Module1 &shared, CopyAsker &asker, CopyWatcher &watcher,
                             std::function<QTime()> clock)
    : m_fs(fs), m_m1(shared), m_asker(asker), m_watcher(watcher), m_clock(std::move(clock)),
      m_job(fs, [this](qint64 done, qint64 total) {
          m_watcher.fileBytes(m_pass, m_n, done, total);
          return !m_stopRequested;
      })
{
}

CopyOutcome CopyOperation::run(const DisketteLists &lists, bool keepNames)
{
    m_lists = lists;
    m_keepNames = keepNames;
    // A standing "Re&place All" or "Re&name All" settles the clashes of one
    // operation only; a later diskette is asked about again.
    m_m1.replaceAll = false;
    m_m1.renameAll = false;

    if (!offDiskette(FolderKind::Image, m_m1.imageFolder) || !offDiskette(FolderKind::Video, m_m1.videoFolder))
        return m_out;
    if (!folderReady(FolderKind::Image, m_m1.imageFolder) || !folderReady(FolderKind::Video, m_m1.videoFolder))
        return m_out;
    m_watcher.copyingStarts();

    // Entries named like pictures or clips that are no file to copy (links,
    // folders): not copied, but counted for the end.
    for (const QString &pattern : {QStringLiteral("*.jpg"), QStringLiteral("*.mpg")})
        m_out.notFiles += m_fs.listNonFiles(lists.folder, pattern).valueOr({}).size();

    {
        // The folders are looked up once for the whole run, not per file.
        pf::FileSystem::Batch batch(m_fs);
        const std::pair<Pass, const QStringList *> passes[] = {{Pass::Images, &lists.images}, {Pass::Clips, &lists.clips}};
        for (const auto &[pass, names] : passes) {
            if (names->isEmpty())
                continue;
            const int m = int(names->size());
            m_watcher.passStarts(pass, m);
            for (int n = 1; n <= m && !m_cancelled && !m_out.stopped; ++n) {
                if (m_stopRequested) {
                    m_cancelled = true;
                    break;
                }
                const QString &name = names->at(n - 1);
                m_pass = pass;
                m_n = n;
                m_watcher.fileStarts(pass, n, m, name);
                pass == Pass::Images ? copyImage(name) : copyClip(name);
                if (m_cancelled || m_out.stopped)
                    break;
                m_watcher.fileEnds(pass, n);
            }
            if (m_cancelled || m_out.stopped)
                break;
            m_watcher.passEnds(pass);
        }
    }

    m_cancelled = m_cancelled || m_stopRequested;
    if (!m_out.notCopied.isEmpty()) {
        m_out.end = CopyOutcome::End::Failed;  // never "successfully copied", never an erase
        m_out.stopped = m_out.stopped || m_cancelled;
    } else if (m_cancelled) {
        m_out.end = CopyOutcome::End::Cancelled;
    } else if (!m_asker.erase()) {
        m_out.end = CopyOutcome::End::Declined;
    } else {
        eraseDiskette();
    }
    return m_out;
}

bool CopyOperation::offDiskette(FolderKind kind, const QString &folder)
{
    // Copies inside the diskette would be erased with it, and would be
    // compared with themselves before that.
    const pf::Result<bool> inside = m_fs.liesWithin(folder, m_lists.folder);
    if (!inside || !*inside)
        return true;
    m_asker.folderOnDiskette(kind, folder);
    return false;
}

bool CopyOperation::folderReady(FolderKind kind, const QString &folder)
{
    if (m_fs.folderExists(folder).valueOr(false))
        return true;
    if (!m_asker.createFolder(kind, folder))
        return false;
    if (const pf::Status made = m_fs.makeFolder(folder); !made) {
        m_asker.folderNotCreated(folder, made.error());
        return false;
    }
    return true;
}

void CopyOperation::copyImage(const QString &name)
{
    if (!pf::isSingleName(name))
        return failed(name, m_m1.imageFolder, notOneName(name));
    const QString source = m_lists.folder + name;
    QString stored = name;
    if (!m_keepNames) {
        const pf::Result<QString> dated = dateTimeName(m_fs, source);
        if (!dated)
            return failed(name, m_m1.imageFolder, dated.error());
        stored = *dated;
        m_m1.newName = stored;
    }
    const QString target = m_m1.imageFolder + stored;

    if (!m_fs.fileExists(target)) {
        const pf::Result<QString> r =
            m_job.copyToFreeName(source, m_m1.imageFolder, imageNames(stored, m_keepNames, m_clock), 0, true);
        if (!r)
            return failed(name, m_m1.imageFolder, r.error(), imageNames(damagedName(stored), m_keepNames, m_clock));
        if (*r != stored)
            m_out.nameTaken.append({name, m_m1.imageFolder + *r});
        ++m_out.copied;
        return;
    }

    // A clash: the person decides, unless a standing choice does. A copy
    // this operation made moments ago (two pictures of the same second) is
    // never replaced without asking.
    m_m1.newName = stored;
    m_m1.srcFile = source;
    m_m1.destFile = target;
    const bool ours = m_job.madeHere(target);
    ClashChoice choice = m_m1.renameAll ? ClashChoice::Rename : ClashChoice::Replace;
    if ((!m_m1.replaceAll && !m_m1.renameAll) || (ours && m_m1.replaceAll)) {
        choice = m_asker.clash(ours);
        if (choice == ClashChoice::ReplaceAll)
            m_m1.replaceAll = true;
        else if (choice == ClashChoice::RenameAll)
            m_m1.renameAll = true;
    }

    switch (choice) {
    case ClashChoice::Replace:
    case ClashChoice::ReplaceAll:
        if (const pf::Status s = m_job.copyReplacing(source, target); !s)
            return failed(name, m_m1.imageFolder, s.error(), imageNames(damagedName(stored), m_keepNames, m_clock));
        ++m_out.replaced;
        break;
    case ClashChoice::Rename:
    case ClashChoice::RenameAll: {
        // "a" in front, and more "a"s while that name is taken as well.
        const pf::Result<QString> r = m_job.copyToFreeName(source, m_m1.imageFolder, imageNames(stored, m_keepNames, m_clock), 1);
        if (!r)
            return failed(name, m_m1.imageFolder, r.error(), imageNames(damagedName(stored), m_keepNames, m_clock));
        ++m_out.renamed;
        break;
    }
    case ClashChoice::Skip:
        // Left uncopied; it stays on the diskette unless the existing image
        // holds the same bytes.
        m_job.noteSkipped(source, target);
        ++m_out.skipped;
        break;
    case ClashChoice::Cancel:
        m_cancelled = true;
        break;
    }
}

void CopyOperation::copyClip(const QString &name)
{
    if (!pf::isSingleName(name))
        return failed(name, m_m1.videoFolder, notOneName(name));
    // Clips keep their names; a taken name gets the time in front (and
    // then "a"s, while that is taken too).
    int first = 0;
    if (m_fs.fileExists(m_m1.videoFolder + name)) {
        m_asker.clipRenamed(name);
        first = 1;
    }
    const pf::Result<QString> r =
        m_job.copyToFreeName(m_lists.folder + name, m_m1.videoFolder, clipNames(name, m_clock), first, first == 0);
    if (!r)
        return failed(name, m_m1.videoFolder, r.error(), clipNames(damagedName(name), m_clock));
    if (first == 0 && *r != name)
        m_out.nameTaken.append({name, m_m1.videoFolder + *r});
    ++(first == 0 ? m_out.copied : m_out.renamed);
}

void CopyOperation::failed(const QString &name, const QString &folder, const pf::PlatformError &error,
                           const std::optional<NameSequence> &rescueAs)
{
    // Stopped by the person in the middle of the file: nothing of it was
    // kept, and nothing failed.
    if (error.number == pf::ErrUserInterrupt && m_stopRequested) {
        m_cancelled = true;
        return;
    }
    m_out.notCopied << name;
    // What could be read is worth keeping only where a stretch of the file
    // could not be read: not for a file that is gone, nor a failure of the
    // folder copied to.
    const bool canKeep = rescueAs && error.sourceSide && error.unreadableAt >= 0;
    switch (m_asker.copyFailed(name, folder, error, canKeep)) {
    case FailedChoice::GoOn:
        break;
    case FailedChoice::Stop:
        m_out.stopped = true;
        break;
    case FailedChoice::KeepReadable:
        if (canKeep)
            rescue(name, folder, *rescueAs);
        break;
    }
}

void CopyOperation::rescue(const QString &name, const QString &folder, const NameSequence &names)
{
    // Under a name of its own, never in place of a file: a copy with holes
    // is never taken for the picture, and its diskette file stays.
    const pf::Result<CopyJob::Rescued> kept = m_job.rescueToFreeName(m_lists.folder + name, folder, names);
    if (kept) {
        m_out.rescued.append(RescuedFile{name, folder + kept->name, kept->unreadable});
        return;
    }
    // Even the readable part could not be kept: said as a failed copy is.
    if (m_asker.copyFailed(name, folder, kept.error(), false) == FailedChoice::Stop)
        m_out.stopped = true;
}

void CopyOperation::eraseDiskette()
{
    m_watcher.eraseStarts();
    // Every copy is read back from disk and compared with its source before
    // anything on the diskette goes; so is every file that may hold the
    // bytes of a picture this operation left no copy of.
    const QList<CopiedFile> &copies = m_job.copies();
    const QList<Counterpart> &counterparts = m_job.counterparts();
    QList<CopiedFile> pairs = copies;
    for (const Counterpart &c : counterparts)
        pairs.append(CopiedFile{c.source, c.file});
    QList<CopyCheck> checks;
    if (!pairs.isEmpty()) {
        m_watcher.checkingCopies();
        checks = checkCopies(m_fs, pairs);
    }
    for (qsizetype i = 0; i < copies.size(); ++i)
        if (!checks.at(i).mismatch.isEmpty())
            m_out.mismatches.append(checks.at(i));
    if (!m_out.mismatches.isEmpty()) {
        m_out.end = CopyOutcome::End::CopiesDiffer;
        m_watcher.eraseEnds();
        return;
    }

    // What may go: a file whose copy, or whose counterpart, holds its bytes.
    const QString &folder = m_lists.folder;
    QHash<QString, pf::FileId> safe;
    QHash<QString, QString> why;
    for (const CopyCheck &check : std::as_const(checks))
        if (check.mismatch.isEmpty())
            safe.insert(check.source.mid(folder.size()), check.sourceId);
    for (qsizetype i = copies.size(); i < checks.size(); ++i) {
        const QString name = checks.at(i).source.mid(folder.size());
        const Counterpart &c = counterparts.at(i - copies.size());
        if (!safe.contains(name))
            why.insert(name, checks.at(i).itself ? c.ifItself : c.ifDifferent);
    }

    m_watcher.erasingFiles();
    m_out.erased = eraseCopied(m_fs, folder, safe, m_lists.indexFiles, why, {});
    m_out.end = CopyOutcome::End::Erased;
    m_watcher.eraseEnds();
}
