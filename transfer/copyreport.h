#pragma once
// Copy Disk in words: its questions as message boxes, and what a finished
// operation shows in the status lines and in the box that closes it.

#include "platform/prompt.h"
#include "transfer/copyoperation.h"

#include <functional>

// Asks the questions of Copy Disk with message boxes; the clash with the
// dialog that `clash` shows. `shown` runs after each box has closed (the
// main window repaints itself there).
class PromptAsker : public CopyAsker {
public:
    PromptAsker(pf::Prompt &prompt, std::function<ClashChoice(bool copiedHere)> clash, std::function<void()> shown = {});

    bool createFolder(FolderKind kind, const QString &folder) override;
    void folderNotCreated(const QString &folder, const pf::PlatformError &error) override;
    void folderOnDiskette(FolderKind kind, const QString &folder) override;
    ClashChoice clash(bool copiedHere) override { return m_clash(copiedHere); }
    void clipRenamed(const QString &name) override;
    FailedChoice copyFailed(const QString &name, const QString &folder, const pf::PlatformError &error,
                            bool canKeepReadable) override;
    bool erase() override;

private:
    pf::MsgAnswer ask(const QString &text, pf::MsgButtons buttons, const QString &title);

    pf::Prompt &m_prompt;
    std::function<ClashChoice(bool)> m_clash;
    std::function<void()> m_shown;
};

// What a finished operation shows.
struct CopyReport {
    bool shown = false;  // false: the status stays as it was (nothing was copied)
    QString status;      // Label2(0)
    QString fileLine;    // Label2(1)
    QString boxText;     // the closing box; none when empty
    QString boxTitle;
};

CopyReport reportOf(const CopyOutcome &outcome);

// The caption of each file: "Copying Image Files...(3 of 12)".
QString fileCaption(Pass pass, int n, int m);
