#include "transfer/frmpleasewait.h"

#include "platform/twips_ui.h"

#include <QCloseEvent>

frmPleaseWait::frmPleaseWait(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmPleaseWait"));
    setWindowTitle(QStringLiteral("Erasing Diskette..."));
    setModal(false);
    setFixedSize(pf::tw(2700), pf::tw(630));

    Label1 = new QLabel(QStringLiteral("Please wait..."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    pf::placeTw(Label1, 240, 240, 2292, 252);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &frmPleaseWait::Timer1_Timer);
}

void frmPleaseWait::Form_Load()
{
    pf::centreOver(this, parentWidget());
    show();
    Timer1->start();
    pf::repaintNow(this);
    pf::repaintNow(Label1);
}

void frmPleaseWait::Timer1_Timer()
{
    Label1->setText(Label1->text() + QLatin1Char('.'));
    pf::repaintNow(Label1);
}

void frmPleaseWait::closeEvent(QCloseEvent *event) { event->ignore(); }
