#include "preview/frmpreview.h"

#include "platform/picture.h"
#include "platform/twips_ui.h"

namespace {
// The box of the longest-side fit, in twips.
constexpr float kBoxWidth = 6132;
constexpr float kBoxHeight = 4599;
}  // namespace

frmPreview::frmPreview(const QImage &picture, QSizeF natural, QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                         | Qt::MSWindowsFixedSizeDialogHint),
      m_picture(picture), m_natural(natural)
{
    setObjectName(QStringLiteral("frmPreview"));
    setWindowTitle(QStringLiteral("Click Image To Close"));
    setModal(true);

    Image1 = new pf::PictureBox(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setCursor(Qt::PointingHandCursor);
    pf::placeTw(Image1, 0, 0, kBoxWidth, kBoxHeight);
    connect(Image1, &pf::PictureBox::clicked, this, &frmPreview::Image1_Click);
    setFixedSize(Image1->size());
}

QSize frmPreview::pictureSize(QSizeF natural)
{
    const QSizeF fit = pf::longestSideFit(float(natural.width()), float(natural.height()), kBoxWidth, kBoxHeight);
    // A sliver of a picture still keeps one pixel across.
    return QSize(pf::tw(fit.width()), pf::tw(fit.height())).expandedTo(QSize(1, 1));
}

void frmPreview::Form_Load()
{
    Image1->setPicture(m_picture);
    Image1->setGeometry(QRect(QPoint(0, 0), pictureSize(m_natural)));
    // The client area is exactly the picture; the window system's frame and
    // title bar go around it.
    setFixedSize(Image1->size());
}

void frmPreview::showPicture(const QImage &picture, QSizeF natural)
{
    m_picture = picture;
    m_natural = natural;
    const QSize before = size();
    Form_Load();
    if (isVisible() && size() != before)
        pf::centreOver(this, parentWidget());
}

void frmPreview::Image1_Click() { close(); }
