#pragma once
// The main window: three tabs (Copy, Options, About), the Disk Summary with
// the three diskette commands, the status panel and Exit.

#include "platform/lists.h"
#include "platform/services.h"
#include "platform/tabcontrol_ui.h"
#include "settings/store.h"
#include "transfer/module1.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

enum class ClashChoice;
#include <functional>
#include <optional>

class frmMain : public QWidget {
    Q_OBJECT
public:
    frmMain(pf::Services &services, Module1 &shared, QWidget *parent = nullptr);
    ~frmMain() override;

    pf::Services &services() { return m_svc; }
    Module1 &shared() { return m_m1; }

    // --- Start-up, keys, status reset, Exit
    void Form_Load();
    void Form_KeyDown(int keyCode, int shift);
    void Timer2_Timer();
    void Command6_Click();

    // --- Disk check: the probe, the diskette prompt, the list refresh
    QString chkDrive();
    // Probe, prompt until usable or cancelled, then point Dir1 at the drive
    // and refresh the lists. False when the user cancelled.
    bool openDiskette();
    void Dir1_Change();
    pf::Status refreshFileLists();
    void Command12_Click();  // Check Disk (F1)

    // --- Preview Disk
    void Command15_Click();  // Preview Disk (F2)

    // --- Copy Disk
    void Command1_Click();  // Copy Disk (F3)

    // --- Options tab
    void Text1_Change(int index);
    void Check1_Click();
    void Check2_Click();
    void Command7_Click();   // Browse, image folder
    void Command9_Click();   // Browse, video folder
    void Command10_Click();  // Save Changes
    void Command11_Click();  // Undo Changes
    void SSTab1_Click(int previousTab);

    // True while a command runs; the window then refuses to close, and
    // takes no input but Esc, which stops a Copy Disk.
    bool busy() const { return m_busy > 0; }

    // Controls (their objectName is their name)
    pf::TabControl *SSTab1;   // Copy / Options / About
    QPushButton *Command6;    // Exit (ESC)
    QLabel *Label5;           // maker's line
    QGroupBox *Frame1;        // " Disk Summary "
    QPushButton *Command12;   // Check Disk (F1)
    QPushButton *Command15;   // Preview Disk (F2)
    QPushButton *Command1;    // Copy Disk (F3)
    QLabel *Label1[2];        // "Image Files:", "Movie Files:"
    QLabel *Label3[2];        // the two counts
    QGroupBox *Frame2;        // progress and status lines
    QProgressBar *ProgressBar1; // copy progress
    QLabel *Label2[2];        // status line, file line
    QTimer *Timer2;           // status reset, 5000 ms, one-shot

    QLabel *Label4[2];        // "Place Image Files In:", "Place Video Files In:"
    QLineEdit *Text1[2];      // image folder, video folder
    QPushButton *Command7;    // Browse (image folder)
    QPushButton *Command9;    // Browse (video folder)
    QCheckBox *Check1;        // "Keep original  filenames"
    QPushButton *Command10;   // Save Changes
    QPushButton *Command11;   // Undo Changes

    QLabel *Label7;           // "Corvanta"
    QLabel *Label8;           // "Version 1.0"
    QLabel *Label9, *Label10, *Label11, *Label12, *Label13; // maker's details
    QCheckBox *Check2;        // "Show Splash Screen at Startup"

    // Working lists the user never sees
    pf::DriveList Drive1;     // the selected drive
    pf::DirList Dir1;         // the folder the file lists show
    pf::FileList File1;       // *.jpg
    pf::FileList File2;       // *.mpg
    pf::FileList File3;       // *.411, hidden and system files too

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Copy Disk (app/frmmain_copy.cpp): what the window shows while it runs,
    // and the clash dialog, whose answer it gives.
    class CopyView;
    ClashChoice askClash(bool copiedHere);
    // The drive probe itself, on a worker (chkDrive waits for it).
    QString probeDrive();

    // Options tab (app/frmmain_options.cpp)
    void browseFolder(int index);  // Browse for Text1(index)
    // Save Changes for Text1(index): the folder to store, or nothing.
    std::optional<QString> saveFolder(int index);
    // The box that says the settings were not stored, where and why.
    void reportNotSaved(const pf::PlatformError &error);
    bool m_loading = false;        // Form_Load at work: it stores again what it read
    // What Text1(index) shows: the stored folder, or the default one.
    QString folderBoxText(int index) const;
    settings::DefaultFolders m_defaults;  // decided once, at start-up
    QString m_unreadable;          // why the last probe found drive A: there but unreadable

    void buildCopyTab(QWidget *page);
    void buildOptionsTab(QWidget *page);
    void buildAboutTab(QWidget *page);
    void setStatus(int line, const QString &text);  // caption, repainted at once

    pf::Services &m_svc;
    Module1 &m_m1;
    settings::Store m_store;
    int m_busy = 0;
    // While Copy Disk runs: what Esc does (it stops the copy).
    std::function<void()> m_onEscape;
    const QEvent *m_keyActedOn = nullptr;  // the last key handled; compared, never dereferenced

    friend class BusyScope;
};

// Marks the window busy for the life of a command.
class BusyScope {
public:
    explicit BusyScope(frmMain &w) : m_w(w) { ++m_w.m_busy; }
    ~BusyScope() { --m_w.m_busy; }
private:
    frmMain &m_w;
};
