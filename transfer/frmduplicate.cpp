#include "transfer/frmduplicate.h"

#include "platform/twips_ui.h"

#include <QCloseEvent>

frmDuplicate::frmDuplicate(pf::Services &services, Module1 &shared, QWidget *mainWindow)
    : QDialog(nullptr), m_svc(services), m_m1(shared), m_main(mainWindow)
{
    setObjectName(QStringLiteral("frmDuplicate"));
    setWindowTitle(QStringLiteral("Image Already Exists!!"));
    setModal(true);
    setFixedSize(pf::tw(7335), pf::tw(5520));

    auto button = [this](QPushButton *&b, const char *name, const char *caption, double l, double t, double w, double h) {
        b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        b->setDefault(false);
        pf::placeTw(b, l, t, w, h);
    };
    button(OKButton, "OKButton", "Repla&ce Existing Image", 120, 4560, 2292, 375);
    button(Command1, "Command1", "Rena&me Image to be copied", 2520, 4560, 2292, 372);
    button(Command2, "Command2", "&Skip this image", 4920, 4560, 2292, 372);
    button(Command3, "Command3", "Re&place All", 120, 5040, 2292, 372);
    button(Command4, "Command4", "Re&name All", 2520, 5040, 2292, 372);
    button(CancelButton, "CancelButton", "&Cancel", 4920, 5040, 2292, 375);
    connect(OKButton, &QPushButton::clicked, this, &frmDuplicate::OKButton_Click);
    connect(Command1, &QPushButton::clicked, this, &frmDuplicate::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmDuplicate::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmDuplicate::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &frmDuplicate::Command4_Click);
    connect(CancelButton, &QPushButton::clicked, this, &frmDuplicate::CancelButton_Click);

    // The labels, pictures and their filling are laid out below.
    Label1 = Label2 = Image1 = Label5 = Image3 = Label6 = nullptr;
    Picture1 = Picture2 = nullptr;
    for (int i = 0; i < 6; ++i)
        Label3[i] = Label4[i] = nullptr;

    OKButton->setFocus();
}

void frmDuplicate::decide(const QString &action)
{
    m_m1.dupAction = action;
    m_decided = true;
    accept();
}

void frmDuplicate::OKButton_Click() { decide(QStringLiteral("Copy")); }
void frmDuplicate::Command1_Click() { decide(QStringLiteral("Rename")); }
void frmDuplicate::Command2_Click() { decide(QStringLiteral("Skip")); }

void frmDuplicate::Command3_Click()
{
    m_decided = true;
    accept();
    if (m_main)
        pf::repaintNow(m_main);
    m_m1.replaceAll = true;
    m_m1.dupAction = QStringLiteral("Copy");
}

void frmDuplicate::Command4_Click()
{
    m_m1.renameAll = true;
    decide(QStringLiteral("Rename"));
}

void frmDuplicate::CancelButton_Click() { decide(QStringLiteral("Exit")); }

// The close box means Cancel.
void frmDuplicate::closeEvent(QCloseEvent *event)
{
    if (!m_decided) {
        m_m1.dupAction = QStringLiteral("Exit");
        m_decided = true;
    }
    // Not through reject(): that is Esc's, and Esc does nothing here.
    event->accept();
    QDialog::done(QDialog::Rejected);
}
