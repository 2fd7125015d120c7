#include "app/frmsplash.h"

#include "platform/twips_ui.h"

#include <QCloseEvent>
#include <QFrame>

frmSplash::frmSplash(QWidget *parent) : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setModal(true);
    setFixedSize(pf::tw(8115), pf::tw(4905));

    // Form_Load: the picture fills the window.
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap(QStringLiteral(":/splash.gif")));
    Image1->setGeometry(rect());

    Label1 = new QLabel(QStringLiteral("Version 1.0"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label1->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    pf::placeTw(Label1, 5400, 1320, 1335, 255);

    const char *details[2] = {"Pixferry for Corvanta",
                              "Copyright (c) 2026 the Pixferry developers. Free software under the GNU GPL 3 or later."};
    for (int i = 0; i < 2; ++i) {
        Label2[i] = new QLabel(QString::fromLatin1(details[i]), this);
        Label2[i]->setObjectName(QStringLiteral("Label2(%1)").arg(i));
        Label2[i]->setAlignment(Qt::AlignCenter);
        Label2[i]->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
        pf::placeTw(Label2[i], 0, 1680 + 360 * i, 8175, 255);
    }

    // The outline along the window's edge, above the picture.
    auto *Shape1 = new QFrame(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(rect());
    Shape1->setStyleSheet(QStringLiteral("QFrame#Shape1 { border: 1px solid black; background: transparent; }"));
    Shape1->setAttribute(Qt::WA_TransparentForMouseEvents);
    Shape1->raise();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(3000);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, [this] {
        m_timeUp = true;
        accept();
    });
    Timer1->start();
}

void frmSplash::closeEvent(QCloseEvent *e)
{
    if (m_timeUp)
        QDialog::closeEvent(e);
    else
        e->ignore();
}

void frmSplash::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    pf::centreOver(this, nullptr);
}
