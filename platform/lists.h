#pragma once
// The working lists of the program: a drive list, a folder list and file
// lists. They hold what the user never sees (the main window's hidden lists)
// and feed the visible ones.

#include "platform/files.h"

namespace pf {

// A drive list: the selected drive letter.
class DriveList {
public:
    explicit DriveList(FileSystem &fs) : m_fs(fs) {}
    // Selecting a drive decides again where its letter points. One that is
    // not ready fails (68) and keeps the old one.
    Status setDrive(const QString &drive);  // "a:" or "a"
    QString drive() const { return m_drive; }  // "a:"
private:
    FileSystem &m_fs;
    QString m_drive = QStringLiteral("c:");
};

// A folder list: the open folder, as a program path (a root ends in '\').
// A fresh one is open at the program's current folder.
class DirList {
public:
    explicit DirList(FileSystem &fs) : m_fs(fs), m_path(fs.drives().currentFolder()) {}
    QString path() const { return m_path; }
    // Points the list at a folder; returns whether the folder changed.
    bool setPath(const QString &path);
    // The sub-folders of the open folder, sorted without regard to case.
    Result<QStringList> subFolders() const;
private:
    FileSystem &m_fs;
    QString m_path;
};

// A file list: the plain files of one folder matching a pattern.
class FileList {
public:
    FileList(FileSystem &fs, QString pattern, bool admitHiddenSystem = false)
        : m_fs(fs), m_pattern(std::move(pattern)), m_admit(admitHiddenSystem) {}

    QString path() const { return m_path; }
    void setPath(const QString &folder) { m_path = folder; }
    QString pattern() const { return m_pattern; }

    // Re-reads the folder. On failure the list is left empty.
    Status refresh();

    int listCount() const { return int(m_entries.size()); }
    QString list(int index) const { return m_entries.value(index); }
    const QStringList &entries() const { return m_entries; }
    int listIndex = -1;  // the selected entry, -1 for none

private:
    FileSystem &m_fs;
    QString m_pattern;
    bool m_admit;
    QString m_path;
    QStringList m_entries;
};

}  // namespace pf
