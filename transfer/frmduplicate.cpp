#include "transfer/frmduplicate.h"

#include "platform/hostnames.h"
#include "platform/filetime.h"
#include "platform/picture.h"
#include "platform/twips_ui.h"
#include "transfer/datetext.h"

#include <QCloseEvent>
#include <QPixmap>

#include <QMutex>
#include <QThreadPool>

#include <algorithm>

#include <sys/stat.h>

namespace {

// The square every picture is fitted into, and the frames' size at the start.
constexpr float kPictureBox = 1092.0f;

// Pixel size of a picture fitted into the box by its longest side.
QSize fittedSize(QSize natural)
{
    const QSizeF twips = pf::longestSideFit(float(natural.width()), float(natural.height()), kPictureBox, kPictureBox);
    // A sliver of a picture still shows as at least one pixel.
    return QSize(std::max(1, pf::tw(twips.width())), std::max(1, pf::tw(twips.height())));
}

// Sizes the frame and the picture to the decoded picture, shown at `shown`
// logical pixels.
void place(QSize shown, const QImage &picture, QFrame *frame, QLabel *image, qreal ratio)
{
    image->resize(shown);
    frame->resize(shown);
    // What lies under the frame's line is cut off.
    const QRect inner = image->contentsRect();
    if (inner.isEmpty())
        return;
    QPixmap pixmap = QPixmap::fromImage(picture.copy(QRect(inner.topLeft() * ratio, (QSizeF(inner.size()) * ratio).toSize())));
    pixmap.setDevicePixelRatio(ratio);
    image->setPixmap(pixmap);
}

QLabel *label(QWidget *parent, const QString &name, const QString &text, double l, double t, double w, double h)
{
    auto *lbl = new QLabel(text, parent);
    lbl->setObjectName(name);
    lbl->setTextFormat(Qt::PlainText);
    pf::placeTw(lbl, l, t, w, h);
    return lbl;
}

}  // namespace

frmDuplicate::frmDuplicate(pf::Services &services, Module1 &shared, QWidget *mainWindow, bool existingCopiedHere)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                           | Qt::MSWindowsFixedSizeDialogHint),
      m_svc(services), m_m1(shared), m_main(mainWindow)
{
    setObjectName(QStringLiteral("frmDuplicate"));
    setWindowTitle(QStringLiteral("Image Already Exists!!"));
    setModal(true);
    setFixedSize(pf::tw(7335), pf::tw(5520));

    Label1 = label(this, QStringLiteral("Label1"), QStringLiteral("Image already exists!"), 240, 120, 5172, 252);
    Label2 = label(this, QStringLiteral("Label2"), QStringLiteral("Image being copied:"), 720, 600, 2292, 252);
    // Over a copy of this very diskette the caption says so, on the whole
    // width of the dialog: replacing it would lose that picture's copy.
    Label5 = existingCopiedHere
        ? label(this, QStringLiteral("Label5"), QStringLiteral("Existing Image (copied from this diskette a moment ago):"),
                720, 2520, 7335 - 720 - 120, 252)
        : label(this, QStringLiteral("Label5"), QStringLiteral("Existing Image:"), 720, 2520, 3492, 252);
    Label6 = label(this, QStringLiteral("Label6"), QStringLiteral("What would you like to do?"), 720, 4200, 4332, 252);

    // Name, size and date: 0 to 2 for the image being copied (top to bottom),
    // 5, 4, 3 for the existing image (top to bottom).
    const QString captions[3] = {QStringLiteral("Filename:"), QStringLiteral("File size:"),
                                 QStringLiteral("Date && Time:")};
    const int rows[6] = {1080, 1320, 1560, 3480, 3240, 3000};
    for (int i = 0; i < 6; ++i) {
        const QString caption = pf::labelText(captions[i < 3 ? i : 5 - i]);
        Label3[i] = label(this, QStringLiteral("Label3(%1)").arg(i), caption, 2040, rows[i], 972, 252);
        Label4[i] = label(this, QStringLiteral("Label4(%1)").arg(i), QString(), 3120, rows[i], 3132, 252);
    }

    // The picture boxes: a single-line frame with the picture inside, both
    // 1092 twips square until a picture sizes them. The picture keeps a
    // one-pixel margin so the frame stays visible all round; what lies under
    // the frame is cut off, so the proportions hold.
    auto pictureBox = [this](QFrame *&frame, QLabel *&image, const QString &frameName, const QString &imageName,
                             double top) {
        frame = new QFrame(this);
        frame->setObjectName(frameName);
        frame->setFrameStyle(QFrame::Box | QFrame::Plain);
        frame->setLineWidth(1);
        pf::placeTw(frame, 720, top, kPictureBox, kPictureBox);
        image = new QLabel(frame);
        image->setObjectName(imageName);
        image->setScaledContents(true);
        image->setContentsMargins(1, 1, 1, 1);
        pf::placeTw(image, 0, 0, kPictureBox, kPictureBox);
    };
    pictureBox(Picture1, Image1, QStringLiteral("Picture1"), QStringLiteral("Image1"), 960);
    pictureBox(Picture2, Image3, QStringLiteral("Picture2"), QStringLiteral("Image3"), 2880);

    auto button = [this](QPushButton *&b, const char *name, const char *caption, double l, double t, double w, double h) {
        b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        // No default button: an auto-default button is the default only while
        // it has the focus, so Enter presses the focused button.
        b->setAutoDefault(true);
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

    // Tab order: Replace, Cancel, then the other four left to right, top to
    // bottom. Labels and picture boxes take no focus.
    setTabOrder(OKButton, CancelButton);
    setTabOrder(CancelButton, Command1);
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
    setTabOrder(Command3, Command4);

    // The names at once; the sizes, dates and pictures as they are read, on
    // a worker, so that the dialog opens at once however slow the diskette.
    Label4[0]->setText(pf::shownName(m_m1.newName));
    Label4[5]->setText(pf::shownName(m_m1.newName));
    startReading();

    OKButton->setFocus();
}

// Where the worker sends what it read: the dialog, while it lives.
struct frmDuplicate::Mailbox {
    QMutex mutex;
    frmDuplicate *dialog = nullptr;
    std::atomic<bool> stopped{false};

    void close()
    {
        const QMutexLocker lock(&mutex);
        dialog = nullptr;
        stopped = true;
    }
    template <typename F>
    void post(F &&deliver)
    {
        const QMutexLocker lock(&mutex);
        if (dialog)
            QMetaObject::invokeMethod(dialog, [d = dialog, f = std::forward<F>(deliver)] { f(d); }, Qt::QueuedConnection);
    }
};

frmDuplicate::~frmDuplicate()
{
    // The worker stops at its next look, and tells nobody.
    m_mailbox->close();
}

// Each file's size and date, then its picture decoded at the size it is
// shown: the image being copied first, then the existing one. One picture
// at a time, so that the dialog as a whole holds one picture budget.
void frmDuplicate::startReading()
{
    m_mailbox = std::make_shared<Mailbox>();
    m_mailbox->dialog = this;
    m_reading = 2;
    const qreal ratio = devicePixelRatioF();
    // A worker may still run after the dialog (and, in a test, the whole
    // file system) has gone: it looks up with a copy of the drive map.
    QThreadPool::globalInstance()->start(
        [drives = m_svc.fs->drives(), ratio, paths = QStringList{m_m1.srcFile, m_m1.destFile}, mailbox = m_mailbox] {
            for (int side = 0; side < 2 && !mailbox->stopped; ++side) {
                const pf::Result<QString> host = drives.toHost(paths.at(side));
                Facts facts;
                struct stat st;
                if (host && ::stat(pf::toHostName(*host).constData(), &st) == 0) {
                    facts.size = QString::number(qint64(st.st_size));
                    pf::readTimeZone();
                    facts.date = transfer::generalDate(pf::localDateTime(st.st_mtim));
                }
                mailbox->post([side, facts](frmDuplicate *d) { d->factsRead(side, facts); });
                const auto [shown, picture] = host ? readPicture(*host, ratio, mailbox->stopped) : std::pair<QSize, QImage>();
                mailbox->post([side, shown, picture](frmDuplicate *d) { d->pictureRead(side, shown, picture); });
            }
        });
}

// The picture at exactly the device size of its fit, and that fit in
// logical pixels; a null image when it cannot be had.
std::pair<QSize, QImage> frmDuplicate::readPicture(const QString &host, qreal ratio, const std::atomic<bool> &stopped)
{
    if (stopped)
        return {};
    QSize shown;
    const auto deviceSize = [ratio](QSize s) { return (QSizeF(s) * ratio).toSize().expandedTo(QSize(1, 1)); };
    pf::LoadSteps steps;
    steps.cancelled = &stopped;
    steps.shownSizeFor = [&](QSize natural) {
        shown = fittedSize(natural);
        return deviceSize(shown);
    };
    const pf::Result<pf::Picture> p = pf::loadPictureInSteps(host, steps);
    if (!p || p->image.isNull() || shown.isEmpty())
        return {};
    const QSize device = deviceSize(shown);
    if (p->image.size() == device)
        return {shown, p->image};
    return {shown, p->image.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)};
}

// Name, size and date: Label4(0..2) for the image being copied, Label4(5, 4, 3)
// for the existing one. A file that cannot be read leaves its size and date empty.
void frmDuplicate::factsRead(int side, const Facts &facts)
{
    (side == 0 ? Label4[1] : Label4[4])->setText(facts.size);
    (side == 0 ? Label4[2] : Label4[3])->setText(facts.date);
}

// A picture that could not be had leaves its frame empty at its starting size.
void frmDuplicate::pictureRead(int side, QSize shown, const QImage &picture)
{
    if (!picture.isNull())
        place(shown, picture, side == 0 ? Picture1 : Picture2, side == 0 ? Image1 : Image3, devicePixelRatioF());
    if (--m_reading == 0)
        Q_EMIT readingDone();
}

void frmDuplicate::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Shown without an owner: over the main window when there is one on
    // screen, else in the middle of the screen.
    pf::centreOver(this, m_main);
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
