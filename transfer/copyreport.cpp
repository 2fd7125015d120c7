#include "transfer/copyreport.h"

#include "platform/hostnames.h"

namespace {

// A box lists this many files at most, then how many more there are.
constexpr int kListedAtMost = 10;

QString folderWord(FolderKind kind) { return kind == FolderKind::Image ? QStringLiteral("image") : QStringLiteral("video"); }

// "1 file" / "3 files" (and the like for other nouns).
QString counted(qsizetype n, const QString &one, const QString &many)
{
    return QString::number(n) + QLatin1Char(' ') + (n == 1 ? one : many);
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

// The files kept on purpose, one per line with the reason.
QString keptLines(const QList<KeptFile> &kept)
{
    return listed(kept, [](const KeptFile &k) {
        return pf::shownName(k.name) + QStringLiteral(" (") + k.reason + QLatin1Char(')');
    });
}

// What was kept of files that could be read in part, one per line with
// how much of it is missing; nothing when none was kept.
QString rescuedLines(const QList<RescuedFile> &rescued)
{
    if (rescued.isEmpty())
        return {};
    return QStringLiteral("\r\rWhat could be read of %1 was kept, with zeros in place of the rest:\r%2")
        .arg(rescued.size() == 1 ? QStringLiteral("this file") : QStringLiteral("these files"),
             listed(rescued, [](const RescuedFile &f) {
                 const QString missing = f.unreadable == 0
                     ? QStringLiteral("every byte could be read in the end")
                     : counted(f.unreadable, QStringLiteral("byte"), QStringLiteral("bytes")) + QStringLiteral(" could not be read");
                 return pf::shownName(f.copy) + QStringLiteral(" (") + missing + QLatin1Char(')');
             }));
}

}  // namespace

PromptAsker::PromptAsker(pf::Prompt &prompt, std::function<ClashChoice(bool)> clash, std::function<void()> shown)
    : m_prompt(prompt), m_clash(std::move(clash)), m_shown(std::move(shown))
{
}

pf::MsgAnswer PromptAsker::ask(const QString &text, pf::MsgButtons buttons, const QString &title)
{
    const pf::MsgAnswer answer = m_prompt.messageBox(text, buttons, title);
    if (m_shown)
        m_shown();
    return answer;
}

bool PromptAsker::createFolder(FolderKind kind, const QString &folder)
{
    const QString text = QStringLiteral("The specified %1 directory:\r%2\rdoes not exist.\r\r"
                                        "Click OK to create it, or click cancel to select a different one on the options tab.")
                             .arg(folderWord(kind), folder);
    return m_prompt.messageBox(text, pf::MbOkCancel, QStringLiteral("Folder Does Not Exist!")) == pf::AnsOk;
}

void PromptAsker::folderNotCreated(const QString &folder, const pf::PlatformError &error)
{
    m_prompt.messageBox(QStringLiteral("The folder\r%1\rcould not be created: %2\r\r"
                                       "Nothing has been copied. Please choose a different folder on the options tab.")
                            .arg(folder, error.describe()),
                        pf::MbOk, QStringLiteral("Folder Not Created"));
}

void PromptAsker::folderOnDiskette(FolderKind kind, const QString &folder)
{
    m_prompt.messageBox(QStringLiteral("The %1 folder\r%2\rlies on the diskette in drive A:.  Files copied there "
                                       "would be erased with the diskette.\r\rNothing has been copied.  Please "
                                       "choose a folder on another drive on the options tab.")
                            .arg(folderWord(kind), folder),
                        pf::MbOk, QStringLiteral("Folder On Diskette"));
}

void PromptAsker::clipRenamed(const QString &name)
{
    ask(QStringLiteral("A file named %1 already exists.  The file being copied will be automatically renamed.")
            .arg(pf::shownName(name)),
        pf::MbOk, pf::appTitle());
}

FailedChoice PromptAsker::copyFailed(const QString &name, const QString &folder, const pf::PlatformError &error,
                                     bool canKeepReadable)
{
    // Which side failed: the file on the diskette, or the folder copied to.
    const QString why = error.sourceSide ? QStringLiteral("The file on the diskette ") + error.describe() : error.describe();
    QString text = QStringLiteral("The file %1 could not be copied to %2\r%3\r\r"
                                  "Click OK to go on with the next file, or Cancel to stop copying.")
                       .arg(pf::shownName(name), folder, why);
    if (canKeepReadable)
        text += QStringLiteral("\rClick Keep Readable Part to keep what could be read, with zeros in place of the "
                               "rest, under a name ending in \"_damaged\", and go on with the next file.");
    switch (ask(text, canKeepReadable ? pf::MbOkCancelKeep : pf::MbOkCancel, QStringLiteral("Copy Failed"))) {
    case pf::AnsOk:
        return FailedChoice::GoOn;
    case pf::AnsKeep:
        return canKeepReadable ? FailedChoice::KeepReadable : FailedChoice::Stop;
    default:
        return FailedChoice::Stop;
    }
}

bool PromptAsker::erase()
{
    return ask(QStringLiteral("Files have been successfully copied.\rDo you want Pixferry to erase the source disk?"),
               pf::MbYesNo, QStringLiteral("Erase Source Diskette?"))
        == pf::AnsYes;
}

CopyReport reportOf(const CopyOutcome &o)
{
    using End = CopyOutcome::End;
    CopyReport r;
    r.shown = o.end != End::FolderRefused;
    switch (o.end) {
    case End::FolderRefused:
        break;
    case End::Failed: {
        const QString notCopied = counted(o.notCopied.size(), QStringLiteral("file"), QStringLiteral("files"));
        r.status = notCopied + QStringLiteral(" could not be copied.");
        r.fileLine = QStringLiteral("The diskette was not erased.");
        r.boxText = (o.stopped ? QStringLiteral("Copying was stopped.\r") : QString()) + notCopied
            + QStringLiteral(" could not be copied.\rThe source diskette has not been erased.") + rescuedLines(o.rescued);
        r.boxTitle = QStringLiteral("Diskette Not Erased");
        break;
    }
    case End::Cancelled:
        r.status = QStringLiteral("Operation cancelled.");
        break;
    case End::Declined:
        r.status = QStringLiteral("Operation completed.");
        r.fileLine = notFilesLine(o.notFiles);
        break;
    case End::CopiesDiffer:
        r.status = counted(o.mismatches.size(), QStringLiteral("copy does"), QStringLiteral("copies do")) + QStringLiteral(" not match.");
        r.fileLine = QStringLiteral("The diskette was not erased.");
        r.boxText = QStringLiteral("These copies do not match the files on the diskette:\r%1\r\r"
                                   "The source diskette has not been erased.")
                        .arg(listed(o.mismatches, [](const CopyCheck &c) {
                            return pf::shownName(c.copy) + QStringLiteral(" (") + c.mismatch + QLatin1Char(')');
                        }));
        r.boxTitle = QStringLiteral("Diskette Not Erased");
        break;
    case End::Erased:
        if (!o.erased.failures.isEmpty()) {
            r.status = counted(o.erased.failures.size(), QStringLiteral("file"), QStringLiteral("files")) + QStringLiteral(" could not be erased.");
            r.boxText = QStringLiteral("These files could not be deleted and are still on the diskette:\r%1")
                            .arg(listed(o.erased.failures, [](const pf::FileFailure &f) {
                                return pf::shownName(f.path) + QStringLiteral(": ") + f.error.describe();
                            }));
            // What stayed on purpose is named here too: it may exist nowhere else.
            if (!o.erased.kept.isEmpty())
                r.boxText += QStringLiteral("\r\rThese files were kept:\r") + keptLines(o.erased.kept);
            r.boxText += withLine(notFilesLine(o.notFiles));
            r.boxTitle = QStringLiteral("Erase Incomplete");
        } else if (!o.erased.kept.isEmpty()) {
            // Files that exist nowhere else, or that no pass copies, stay:
            // said with their reasons instead of a plain "Operation completed.".
            const qsizetype n = o.erased.kept.size();
            r.status = QStringLiteral("Operation completed: ") + counted(n, QStringLiteral("file"), QStringLiteral("files"))
                + QStringLiteral(" kept on the diskette.");
            r.boxText = QStringLiteral("The source diskette has been erased, except for %1:\r%2")
                            .arg(counted(n, QStringLiteral("file that was kept"), QStringLiteral("files that were kept")),
                                 keptLines(o.erased.kept))
                + withLine(notFilesLine(o.notFiles));
            r.boxTitle = pf::appTitle();
        } else {
            r.status = QStringLiteral("Operation completed.");
            r.boxText = QStringLiteral("Operation completed.") + withLine(notFilesLine(o.notFiles));
            r.boxTitle = pf::appTitle();
        }
        break;
    }
    // Copies that took another name than meant are named, whatever the end:
    // the person would look for them under their own.
    if (!o.nameTaken.isEmpty()) {
        const QString taken = QStringLiteral("These copies have another name than planned, because another program made "
                                             "a file of that name while they were copied:\r")
            + listed(o.nameTaken, [](const NameTakenMeanwhile &n) {
                  return pf::shownName(n.copy) + QStringLiteral(" (from ") + pf::shownName(n.name) + QLatin1Char(')');
              });
        r.boxText = r.boxText.isEmpty() ? taken : r.boxText + QStringLiteral("\r\r") + taken;
        if (r.boxTitle.isEmpty())
            r.boxTitle = pf::appTitle();
    }
    return r;
}

QString fileCaption(Pass pass, int n, int m)
{
    // Put together without arg()'s parsing: made for every file.
    return (pass == Pass::Images ? QStringLiteral("Copying Image Files...(") : QStringLiteral("Copying Movie Clips...("))
        + QString::number(n) + QStringLiteral(" of ") + QString::number(m) + QLatin1Char(')');
}
