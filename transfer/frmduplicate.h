#pragma once
// The clash dialog: the image being copied and the existing image, each
// scaled with its name, size and date, and six ways on.

#include "platform/services.h"
#include "transfer/module1.h"

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include <atomic>
#include <memory>
#include <utility>

class frmDuplicate : public QDialog {
    Q_OBJECT
public:
    // Reads srcFile, newName and destFile from `shared` and fills itself.
    // `mainWindow` is repainted by "Re&place All". `existingCopiedHere`: the
    // existing image is a copy this operation made moments ago, which the
    // caption over it says.
    frmDuplicate(pf::Services &services, Module1 &shared, QWidget *mainWindow = nullptr,
                 bool existingCopiedHere = false);
    ~frmDuplicate() override;

    // The sizes, dates and pictures are still being read.
    bool reading() const { return m_reading > 0; }

    QLabel *Label1;       // "Image already exists!"
    QLabel *Label2;       // "Image being copied:"
    QFrame *Picture1;     // frame of the incoming picture
    QLabel *Image1;       // the incoming picture
    QLabel *Label3[6];    // "Filename:", "File size:", "Date && Time:" (0-2 incoming, 5-3 existing)
    QLabel *Label4[6];    // their values
    QLabel *Label5;       // "Existing Image:"
    QFrame *Picture2;     // frame of the existing picture
    QLabel *Image3;       // the existing picture
    QLabel *Label6;       // "What would you like to do?"
    QPushButton *OKButton;     // "Repla&ce Existing Image"
    QPushButton *Command1;     // "Rena&me Image to be copied"
    QPushButton *Command2;     // "&Skip this image"
    QPushButton *Command3;     // "Re&place All"
    QPushButton *Command4;     // "Re&name All"
    QPushButton *CancelButton; // "&Cancel"

    void OKButton_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void CancelButton_Click();

Q_SIGNALS:
    // Both pictures have been read (or found unreadable) and are shown.
    void readingDone();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override {}  // Esc does nothing

private:
    void decide(const QString &action);
    struct Facts {
        QString size, date;
    };
    struct Mailbox;
    // Starts the worker that reads both files' facts and pictures.
    void startReading();
    static std::pair<QSize, QImage> readPicture(const QString &host, qreal ratio, const std::atomic<bool> &stopped);
    void factsRead(int side, const Facts &facts);  // side 0: the image being copied
    void pictureRead(int side, QSize shown, const QImage &picture);

    pf::Services &m_svc;
    Module1 &m_m1;
    QWidget *m_main;
    bool m_decided = false;
    std::shared_ptr<Mailbox> m_mailbox;
    int m_reading = 0;  // pictures still on their way
};
