#include "app/frmmain.h"

#include "app/frmsplash.h"
#include "platform/twips_ui.h"
#include "platform/wrapcheckbox_ui.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>

using pf::placeTw;

namespace {

// Key codes of the keys the main window answers.
constexpr int vbKeyEscape = 27;
constexpr int vbKeyF1 = 112;
constexpr int vbKeyF2 = 113;
constexpr int vbKeyF3 = 114;

int virtualKeyCode(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Escape:
        return vbKeyEscape;
    case Qt::Key_F1:
        return vbKeyF1;
    case Qt::Key_F2:
        return vbKeyF2;
    case Qt::Key_F3:
        return vbKeyF3;
    default:
        return 0;
    }
}

template <typename T>
T *named(T *w, const QString &name)
{
    w->setObjectName(name);
    return w;
}

}  // namespace

frmMain::frmMain(pf::Services &services, Module1 &shared, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      Drive1(*services.fs), Dir1(*services.fs), File1(*services.fs, QStringLiteral("*.jpg")),
      File2(*services.fs, QStringLiteral("*.mpg")), File3(*services.fs, QStringLiteral("*.411"), true),
      m_svc(services), m_m1(shared), m_store(services.settings)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(pf::appTitle());
    setWindowIcon(QIcon(QStringLiteral(":/pixferry.png")));
    setFixedSize(pf::tw(4830), pf::tw(4110));

    SSTab1 = named(new pf::TabControl(this), QStringLiteral("SSTab1"));
    placeTw(SSTab1, 120, 120, 4572, 3372);
    buildCopyTab(SSTab1->addTab(QStringLiteral("Cop&y")));
    buildOptionsTab(SSTab1->addTab(QStringLiteral("&Options")));
    buildAboutTab(SSTab1->addTab(QStringLiteral("&About")));
    connect(SSTab1, &pf::TabControl::tabChanged, this, &frmMain::SSTab1_Click);

    Command6 = named(new QPushButton(QStringLiteral("E&xit (ESC)"), this), QStringLiteral("Command6"));
    placeTw(Command6, 3480, 3600, 1212, 372);
    connect(Command6, &QPushButton::clicked, this, &frmMain::Command6_Click);

    Label5 = named(new QLabel(QStringLiteral("Pixferry, diskette pictures made easy"), this), QStringLiteral("Label5"));
    placeTw(Label5, 240, 3600, 3012, 252);

    // Tab order: Check Disk, Preview Disk, Copy Disk, Exit.
    setTabOrder(Command12, Command15);
    setTabOrder(Command15, Command1);
    setTabOrder(Command1, Command6);

    // Key preview: the window sees every key before the control with the focus.
    qApp->installEventFilter(this);
}

frmMain::~frmMain() { qApp->removeEventFilter(this); }

void frmMain::buildCopyTab(QWidget *page)
{
    Frame1 = named(new QGroupBox(QStringLiteral(" Disk Summary "), page), QStringLiteral("Frame1"));
    placeTw(Frame1, 240, 360, 4092, 2772);

    Command12 = named(new QPushButton(QStringLiteral("Chec&k Disk (F1)"), Frame1), QStringLiteral("Command12"));
    placeTw(Command12, 2160, 240, 1692, 372);
    Command15 = named(new QPushButton(QStringLiteral("&Preview Disk (F2)"), Frame1), QStringLiteral("Command15"));
    placeTw(Command15, 2160, 600, 1692, 372);
    Command1 = named(new QPushButton(QStringLiteral("&Copy Disk (F3)"), Frame1), QStringLiteral("Command1"));
    placeTw(Command1, 2160, 960, 1692, 372);
    connect(Command12, &QPushButton::clicked, this, &frmMain::Command12_Click);
    connect(Command15, &QPushButton::clicked, this, &frmMain::Command15_Click);
    connect(Command1, &QPushButton::clicked, this, &frmMain::Command1_Click);

    const char *captions[2] = {"Image Files:", "Movie Files:"};
    for (int i = 0; i < 2; ++i) {
        Label1[i] = named(new QLabel(QString::fromLatin1(captions[i]), Frame1), QStringLiteral("Label1(%1)").arg(i));
        placeTw(Label1[i], 120, 480 + 360 * i, 1092, 252);
        Label3[i] = named(new QLabel(Frame1), QStringLiteral("Label3(%1)").arg(i));
        placeTw(Label3[i], 1320, 480 + 360 * i, 492, 252);
    }

    Frame2 = named(new QGroupBox(Frame1), QStringLiteral("Frame2"));
    placeTw(Frame2, 240, 1800, 3615, 732);
    ProgressBar1 = named(new QProgressBar(Frame2), QStringLiteral("ProgressBar1"));
    placeTw(ProgressBar1, 240, 480, 3132, 252);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    Label2[0] = named(new QLabel(QStringLiteral("Status: Ready to Copy"), Frame2), QStringLiteral("Label2(0)"));
    placeTw(Label2[0], 360, 0, 2892, 252);
    Label2[1] = named(new QLabel(Frame2), QStringLiteral("Label2(1)"));
    placeTw(Label2[1], 360, 240, 2892, 252);
    for (QLabel *l : Label2) {
        l->setTextFormat(Qt::PlainText);
        l->setAutoFillBackground(true);  // opaque, over the frame's line
    }

    Timer2 = named(new QTimer(Frame1), QStringLiteral("Timer2"));
    Timer2->setInterval(5000);
    connect(Timer2, &QTimer::timeout, this, &frmMain::Timer2_Timer);
}

void frmMain::buildOptionsTab(QWidget *page)
{
    const char *captions[2] = {"Place Image Files In:", "Place Video Files In:"};
    for (int i = 0; i < 2; ++i) {
        Label4[i] = named(new QLabel(QString::fromLatin1(captions[i]), page), QStringLiteral("Label4(%1)").arg(i));
        placeTw(Label4[i], 240, 720 + 720 * i, 2652, 252);
        Text1[i] = named(new QLineEdit(page), QStringLiteral("Text1(%1)").arg(i));
        placeTw(Text1[i], 240, 960 + 720 * i, 3372, 288);
        connect(Text1[i], &QLineEdit::textChanged, this, [this, i] { Text1_Change(i); });
    }
    Command7 = named(new QPushButton(QStringLiteral("Browse"), page), QStringLiteral("Command7"));
    placeTw(Command7, 3720, 960, 732, 252);
    Command9 = named(new QPushButton(QStringLiteral("Browse"), page), QStringLiteral("Command9"));
    placeTw(Command9, 3720, 1680, 732, 252);
    Check1 = named(new QCheckBox(QStringLiteral("Keep original  filenames"), page), QStringLiteral("Check1"));
    placeTw(Check1, 1200, 2160, 2052, 375);
    Command10 = named(new QPushButton(QStringLiteral("Save Changes"), page), QStringLiteral("Command10"));
    placeTw(Command10, 720, 2640, 1332, 375);
    Command11 = named(new QPushButton(QStringLiteral("Undo Changes"), page), QStringLiteral("Command11"));
    placeTw(Command11, 2400, 2640, 1332, 375);

    connect(Command7, &QPushButton::clicked, this, &frmMain::Command7_Click);
    connect(Command9, &QPushButton::clicked, this, &frmMain::Command9_Click);
    connect(Check1, &QCheckBox::toggled, this, &frmMain::Check1_Click);
    connect(Command10, &QPushButton::clicked, this, &frmMain::Command10_Click);
    connect(Command11, &QPushButton::clicked, this, &frmMain::Command11_Click);
}

void frmMain::buildAboutTab(QWidget *page)
{
    Label7 = named(new QLabel(pf::appTitle(), page), QStringLiteral("Label7"));
    placeTw(Label7, 360, 600, 3732, 372);
    QFont big = Label7->font();
    big.setPointSizeF(13.5);
    big.setBold(true);
    Label7->setFont(big);
    Label8 = named(new QLabel(QStringLiteral("Version 1.0"), page), QStringLiteral("Label8"));
    placeTw(Label8, 360, 960, 2532, 252);

    // Who made it and on what terms: free software, GPL 3 or later.
    const char *details[5] = {"Copyright (c) 2026", "the Pixferry developers.", "Free software under the",
                              "GNU GPL, version 3 or later;", "it comes with NO WARRANTY."};
    QLabel **labels[5] = {&Label9, &Label10, &Label11, &Label12, &Label13};
    for (int i = 0; i < 5; ++i) {
        *labels[i] = named(new QLabel(QString::fromLatin1(details[i]), page), QStringLiteral("Label%1").arg(9 + i));
        placeTw(*labels[i], 360, 1320 + 252 * i, 2292, 252);
    }

    Check2 = named(new pf::WrapCheckBox(QStringLiteral("Show Splash Screen at Startup"), page), QStringLiteral("Check2"));
    placeTw(Check2, 2760, 1680, 1575, 615);
    connect(Check2, &QCheckBox::toggled, this, &frmMain::Check2_Click);
}

void frmMain::setStatus(int line, const QString &text)
{
    Label2[line]->setText(text);
    pf::repaintNow(Label2[line]);
}

// Start-up: splash, the Options tab from the store, the two folder values,
// the folder warnings, and a clean Options tab.
void frmMain::Form_Load()
{
    // A settings file that cannot be read is said once; the defaults apply.
    if (const pf::Status readable = m_store.check(); !readable)
        m_svc.prompt->messageBox(QStringLiteral("The settings could not be read from\r%1\r%2  The defaults are used.")
                                     .arg(readable.error().path, readable.error().reason),
                                 pf::MbOk, QStringLiteral("Settings Not Read"));

    m_loading = true;
    if (settings::showSplash(m_store.read(settings::kSplashScreen))) {
        frmSplash splash(this);
        m_svc.prompt->showModal(splash);
        Check2->setChecked(true);
    } else {
        Check2->setChecked(false);
    }

    // With nothing stored, the user's own pictures and videos folders.
    m_defaults = settings::desktopDefaults(m_svc.fs->drives());
    Text1[0]->setText(folderBoxText(0));
    Text1[1]->setText(folderBoxText(1));
    if (auto tick = settings::keepNamesTick(m_store.read(settings::kRename), /*atStartup=*/true))
        Check1->setChecked(*tick);
    m_loading = false;

    m_m1.imageFolder = settings::withBackslash(Text1[0]->text());
    m_m1.videoFolder = settings::withBackslash(Text1[1]->text());

    // A folder that cannot be tested (its drive is not ready) counts as missing.
    auto exists = [this](const QString &folder) { return m_svc.fs->folderExists(folder).valueOr(false); };
    if (!exists(m_m1.imageFolder))
        m_svc.prompt->messageBox(
            QStringLiteral("The specified image folder does not exist.  Please check the options tab!"), pf::MbOk);
    if (!exists(m_m1.videoFolder))
        m_svc.prompt->messageBox(
            QStringLiteral("The specified video folder does not exist.  Please check the options tab!"), pf::MbOk);

    Command10->setEnabled(false);
    Command11->setEnabled(false);

    SSTab1->setCurrentIndex(0);
    Command12->setFocus();
}

void frmMain::Form_KeyDown(int keyCode, int /*shift: not consulted*/)
{
    switch (keyCode) {
    case vbKeyF1:
        Command12_Click();
        break;
    case vbKeyF2:
        Command15_Click();
        break;
    case vbKeyF3:
        Command1_Click();
        break;
    case vbKeyEscape:
        close();
        break;
    default:
        break;
    }
}

void frmMain::Timer2_Timer()
{
    Label2[0]->setText(QStringLiteral("Status: Ready to Copy"));
    Timer2->stop();
}

void frmMain::Command6_Click() { close(); }

namespace {

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

}  // namespace

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    // While a command runs on a worker, the window paints but takes no
    // input; Esc stops a Copy Disk. Windows the command opens take theirs.
    if (busy() && isUserInput(event->type()) && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->window() == this) {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape
            && m_onEscape)
            m_onEscape();
        return true;
    }
    if (event->type() != QEvent::KeyPress) {
        m_keyActedOn = nullptr;  // that key has finished its way up
        return false;
    }
    // The key acted on, still climbing after its handler ran: the handler
    // may have moved the focus (a modal window closed), so the test below
    // would take a parent for the first delivery and act twice.
    if (event == m_keyActedOn || !watched->isWidgetType())
        return false;
    auto *w = static_cast<QWidget *>(watched);
    if (w->window() != this)
        return false;
    // The key goes first to the control with the focus and may then climb to
    // its parents: act on its first delivery only.
    QWidget *focus = QApplication::focusWidget();
    const bool first = focus && focus->window() == this ? watched == focus : watched == this;
    if (!first)
        return false;
    auto *ke = static_cast<QKeyEvent *>(event);
    if (ke->isAutoRepeat())
        return false;
    if (const int code = virtualKeyCode(ke->key())) {
        Form_KeyDown(code, int(ke->modifiers() >> 25));
        m_keyActedOn = event;
    }
    return false;  // the key also reaches the control with the focus
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // A command that is still at work (painting between files) finishes first.
    if (busy()) {
        event->ignore();
        return;
    }
    event->accept();
}
