#pragma once
// The folder picker: a drive list and a folder list. OK hands back the folder
// that is open in the folder list; Cancel and the close box hand back nothing.

#include "platform/lists.h"
#include "platform/services.h"
#include "transfer/module1.h"

#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTreeWidget>

// A folder list shown as an opened tree: the drive's root and every parent
// above the open folder, its sub-folders below it. A double-click (or Enter)
// asks to open an entry; a single click only highlights it.
class FolderTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit FolderTree(QWidget *parent = nullptr);

    // Shows `open` ("C:\" or "C:\Pics\Holiday") with the given sub-folders.
    void showFolder(const QString &open, const QStringList &subFolders);
    QTreeWidgetItem *openItem() const { return m_open; }
    // The entry showing this folder name, or nullptr.
    QTreeWidgetItem *entry(const QString &name) const;
    static QString pathOf(const QTreeWidgetItem *item);

Q_SIGNALS:
    void openRequested(const QString &path);

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // Every level is always open: no expand marks.
    void drawBranches(QPainter *, const QRect &, const QModelIndex &) const override {}

private:
    QTreeWidgetItem *m_open = nullptr;
    QIcon m_openIcon, m_closedIcon;
};

class frmFolderSelect : public QDialog {
    Q_OBJECT
public:
    // Opens at the program's current folder; clears shared.pickedFolder.
    frmFolderSelect(pf::Services &services, Module1 &shared, QWidget *owner = nullptr);

    FolderTree *Dir1;          // the open folder, its parents and its sub-folders
    QComboBox *Drive1;         // the mapped drives, "a:", "c:", ...
    QPushButton *OKButton;     // "OK": hands back the open folder
    QPushButton *CancelButton; // "Cancel": hands back nothing

    // The folder open in Dir1: "C:\" for a root, "C:\Pics" below it.
    QString path() const { return m_dir.path(); }

    void Drive1_Change();
    void OKButton_Click();
    void CancelButton_Click();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Opens a folder in Dir1; on failure Dir1 keeps the folder it had.
    pf::Status openFolder(const QString &path);
    void Dir1_Open(const QString &path);

    pf::Services &m_svc;
    Module1 &m_m1;
    pf::DirList m_dir;
    int m_driveIndex = -1;  // the entry of Drive1 that belongs to the open folder
};
