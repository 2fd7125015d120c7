#pragma once
// The image viewer: the disk preview's picture enlarged, in a window that
// sizes itself around the picture. A click on the picture closes it.

#include "platform/picturebox_ui.h"

#include <QDialog>
#include <QImage>
#include <QSizeF>

class frmPreview : public QDialog {
    Q_OBJECT
public:
    // `picture` and `natural` are what the disk preview shows: its own decode
    // (null when it shows nothing) and the natural size whose ratio sizes it.
    // The viewer reads no file.
    frmPreview(const QImage &picture, QSizeF natural, QWidget *owner);

    // The opening: the picture, sized by the longest-side fit into
    // 6132 x 4599 twips, and the window around it.
    void Form_Load();
    void Image1_Click();

    // What the disk preview shows now (its picture decoded since the viewer
    // opened, say): shown and fitted as at the opening; an open viewer stays
    // centred over the preview.
    void showPicture(const QImage &picture, QSizeF natural);

    // The size in pixels that the viewer gives a picture of this natural
    // size (the disk preview decodes its pictures at this size).
    static QSize pictureSize(QSizeF natural);

    pf::PictureBox *Image1;  // the picture, at the top-left corner; a click closes the window

private:
    QImage m_picture;
    QSizeF m_natural;
};
