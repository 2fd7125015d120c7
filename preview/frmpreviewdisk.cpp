#include "preview/frmpreviewdisk.h"

#include "platform/aside.h"
#include "platform/hostnames.h"
#include "platform/picture.h"
#include "platform/twips_ui.h"
#include "preview/frmpreview.h"

#include <QKeyEvent>

namespace {
// The picture column, in twips: a square whose top edge never moves.
constexpr float kColumnLeft = 2280;
constexpr float kColumnTop = 360;
constexpr float kBox = 2172;
}  // namespace

frmPreviewDisk::frmPreviewDisk(pf::Services &services, std::function<pf::Result<QString>()> refreshLists, QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                         | Qt::MSWindowsFixedSizeDialogHint),
      m_svc(services), m_refreshLists(std::move(refreshLists))
{
    setObjectName(QStringLiteral("frmPreviewDisk"));
    setWindowTitle(QStringLiteral("Preview Disk"));
    setModal(true);
    setFixedSize(pf::tw(4560), pf::tw(2760));

    File4 = new QListWidget(this);
    File4->setObjectName(QStringLiteral("File4"));
    File4->setSelectionMode(QAbstractItemView::SingleSelection);
    File4->setEditTriggers(QAbstractItemView::NoEditTriggers);
    File4->setUniformItemSizes(true);
    pf::placeTw(File4, 120, 120, 2052, 2430);
    File4->installEventFilter(this);
    connect(File4, &QListWidget::itemSelectionChanged, this, &frmPreviewDisk::File4_Click);
    connect(File4, &QListWidget::itemDoubleClicked, this, &frmPreviewDisk::File4_DblClick);

    Label15 = new QLabel(QStringLiteral("Click image to enlarge..."), this);
    Label15->setObjectName(QStringLiteral("Label15"));
    pf::placeTw(Label15, 2280, 120, 2172, 252);

    Image1 = new pf::PictureBox(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setCursor(Qt::PointingHandCursor);
    pf::placeTw(Image1, kColumnLeft, kColumnTop, kBox, kBox);
    connect(Image1, &pf::PictureBox::clicked, this, &frmPreviewDisk::Image1_Click);

    // The feed is given program paths: they are looked up on the diskette on
    // the worker too, never on the window's thread.
    // A worker may still run after this window (and, in a test, the whole
    // file system) has gone: it looks up with a copy of the drive map.
    m_feed.setLookup([drives = m_svc.fs->drives()](const QString &path) { return drives.toHost(path); });
    connect(&m_feed, &preview::PictureFeed::headRead, this, &frmPreviewDisk::headRead);
    connect(&m_feed, &preview::PictureFeed::decoded, this, &frmPreviewDisk::decoded);
    connect(&m_feed, &preview::PictureFeed::failed, this, &frmPreviewDisk::failed);
}

pf::Status frmPreviewDisk::Form_Load()
{
    if (parentWidget())
        setWindowIcon(parentWidget()->windowIcon());

    // The main window's lists, again: the diskette may have changed since
    // the command looked at it.
    const pf::Result<QString> folder = m_refreshLists();
    if (!folder)
        return folder.error();
    pf::Result<QStringList> names =
        pf::aside([this, &folder] { return m_svc.fs->listFiles(*folder, QStringLiteral("*.jpg")); });
    if (!names)
        return names.error();
    {
        const QSignalBlocker quiet(File4);
        File4->clear();
        // Shown as a person reads it; the name itself, bytes and all, is kept
        // beside for the file's path.
        for (const QString &name : *names) {
            auto *item = new QListWidgetItem(pf::shownName(name), File4);
            item->setData(Qt::UserRole, name);
        }
    }

    // The first picture shows while no entry is selected.
    previewFit();
    if (File4->count() > 0)
        showEntry(0);
    File4->setFocus();
    return {};
}

int frmPreviewDisk::listIndex() const
{
    const QList<QListWidgetItem *> selected = File4->selectedItems();
    return selected.isEmpty() ? -1 : File4->row(selected.first());
}

// The program path of an entry's picture, or nothing: a name holding '\' or
// '/' would lead elsewhere, and cannot be shown.
QString frmPreviewDisk::pathOf(int index) const
{
    const QListWidgetItem *item = File4->item(index);
    const QString name = item ? item->data(Qt::UserRole).toString() : QString();
    if (!pf::isSingleName(name))
        return QString();
    return QStringLiteral("a:\\") + name;
}

// Pictures are decoded once, at the size the viewer shows them: the preview
// scales that down, and a click opens the viewer without reading the file
// again.
preview::PictureFeed::ShownSizeFor frmPreviewDisk::shownSizeFor() const
{
    const qreal dpr = devicePixelRatioF();
    return [dpr](QSize natural) { return (QSizeF(frmPreview::pictureSize(QSizeF(natural))) * dpr).toSize(); };
}

// The entry's picture is read and decoded on the worker; the window goes on
// at once. Whatever was on its way for an entry chosen before is dropped.
void frmPreviewDisk::showEntry(int index)
{
    if (index == m_wanted && index == m_last.index)
        return;  // shown already: the picture decoded ahead stays
    m_step = index < m_wanted ? -1 : 1;
    m_wanted = index;
    const QString path = pathOf(index);
    if (path.isEmpty()) {
        m_feed.clear();
        failed(index);
        return;
    }
    m_decoding = true;
    m_feed.want(index, path, shownSizeFor());
}

// The header has come: the fit follows the picture's natural size at once,
// with the camera's thumbnail in it when there is one, else empty until the
// picture is decoded.
void frmPreviewDisk::headRead(int index, QSize natural, const QImage &thumbnail)
{
    if (index != m_wanted)
        return;
    display(thumbnail, QSizeF(natural));
}

void frmPreviewDisk::decoded(int index, const QImage &picture, QSize natural)
{
    if (index != m_wanted)
        return;
    m_last = Shown{picture, QSizeF(natural), index};
    m_decoding = false;
    display(picture, QSizeF(natural));
    decodeNext(index);
}

// A picture that cannot be shown leaves the last one decoded, its natural
// size and its rectangle as they were, without a word.
void frmPreviewDisk::failed(int index)
{
    if (index != m_wanted)
        return;
    m_decoding = false;
    display(m_last.picture, m_last.natural);
    decodeNext(index);
}

void frmPreviewDisk::display(const QImage &picture, QSizeF natural)
{
    if (picture.cacheKey() != Image1->picture().cacheKey())
        Image1->setPicture(picture);
    m_natural = natural;
    previewFit();
    if (m_viewer)
        m_viewer->showPicture(picture, natural);
}

// Ahead of the user: the entry after this one, the way the choice moved;
// at either end of the list, the only way left.
void frmPreviewDisk::decodeNext(int index)
{
    int next = index + m_step;
    if (next < 0 || next >= File4->count())
        next = index - m_step;
    if (next < 0 || next >= File4->count())
        return;
    if (const QString path = pathOf(next); !path.isEmpty())
        m_feed.decodeAhead(next, path, shownSizeFor());
}

// Sizes Image1 by the longest-side fit into the square. A wide picture sits
// at the top of the square; a tall or square one is centred across it.
void frmPreviewDisk::previewFit()
{
    const float w = float(m_natural.width());
    const float h = float(m_natural.height());
    const QSizeF fit = pf::longestSideFit(w, h, kBox, kBox);
    const int top = pf::tw(kColumnTop);
    if (w > h) {
        Image1->setGeometry(pf::tw(kColumnLeft), top, pf::tw(kBox), qMax(1, pf::tw(fit.height())));
        return;
    }
    Image1->resize(qMax(1, pf::tw(fit.width())), pf::tw(kBox));
    // Centred by the width the control really took.
    const double taken = pf::toTwips(Image1->width());
    Image1->move(pf::tw(kColumnLeft + (kBox - taken) / 2), top);
}

void frmPreviewDisk::File4_Click()
{
    const int index = listIndex();
    if (index >= 0)
        showEntry(index);
}

void frmPreviewDisk::File4_DblClick()
{
    // The first click of the two has already asked for the entry's picture.
    const int index = listIndex();
    if (index >= 0 && index != m_wanted)
        showEntry(index);
    Image1_Click();
}

// The viewer opens at once with what the preview shows (the decoded
// picture, else its thumbnail), and follows the preview while it is open.
void frmPreviewDisk::Image1_Click()
{
    frmPreview viewer(Image1->picture(), m_natural, this);
    viewer.Form_Load();
    m_viewer = &viewer;
    m_svc.prompt->showModal(viewer);
    m_viewer = nullptr;
    // The keys go to the list again, also where no window manager hands the
    // activation back.
    if (isVisible())
        activateWindow();
}

// Closed: nothing more is read or decoded for it.
void frmPreviewDisk::hideEvent(QHideEvent *event)
{
    m_feed.clear();
    m_decoding = false;
    QDialog::hideEvent(event);
}

bool frmPreviewDisk::eventFilter(QObject *watched, QEvent *event)
{
    // With no entry selected, the first arrow key selects the first entry.
    if (watched == File4 && event->type() == QEvent::KeyPress && listIndex() < 0 && File4->count() > 0) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Down || key == Qt::Key_Up) {
            File4->setCurrentRow(0);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
