#pragma once
// What a JPEG's EXIF block says before anything is decoded: the orientation
// mark and where the camera's embedded thumbnail lies. Everything on the
// medium is untrusted: every offset is checked against the block, and a
// pointer outside it, a loop of directories or a length beyond the data
// gives no thumbnail rather than a read past the end.

#include <QByteArrayView>
#include <QImage>
#include <QSize>

namespace pf {

struct ExifFacts {
    int orientation = 1;  // 1 to 8 as the camera wrote it; 1 when missing or out of range
    // The thumbnail's JPEG within the data read (empty: none).
    qsizetype thumbnailAt = 0;
    qsizetype thumbnailBytes = 0;

    bool hasThumbnail() const { return thumbnailBytes > 0; }
    QByteArrayView thumbnail(QByteArrayView jpeg) const { return jpeg.sliced(thumbnailAt, thumbnailBytes); }
};

// Reads the first EXIF segment (APP1 "Exif\0\0") among the JPEG's markers
// before its first scan: the orientation (0x0112) of the first directory,
// and the thumbnail (0x0201 where, 0x0202 how long) of the second. The
// thumbnail must lie whole within the segment and start like a JPEG.
ExifFacts readExif(QByteArrayView jpeg);

// A picture as stored, turned and mirrored upright by its orientation mark.
QImage upright(const QImage &stored, int orientation);

// A thumbnail of the picture's shape: its width-to-height ratio within 2 %
// of the picture's. One of another shape belongs to the picture before it
// was edited (cropped, say), not to what it shows now.
bool sameShape(QSize thumbnail, QSize picture);

}  // namespace pf
