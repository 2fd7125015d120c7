#include "platform/picture.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

namespace pf {

QSizeF longestSideFit(float w, float h, float boxWidth, float boxHeight)
{
    if (w > h) {
        const float q = boxWidth / w;
        const float height = q * h;
        return QSizeF(boxWidth, height);
    }
    const float q = boxHeight / h;
    const float width = q * w;
    return QSizeF(width, boxHeight);
}

namespace {

struct Header {
    QSize raw;      // as stored
    QSize natural;  // upright
    bool turned = false;
};

// Files up to this size are read whole before they are decoded.
constexpr qint64 kReadWholeBytes = 64LL * 1024 * 1024;

// Only a regular file is read: opening a pipe or a device would wait or
// never end.
Status checkFile(const QString &hostPath)
{
    const QFileInfo info(hostPath);
    if (!info.exists())
        return makeError(ErrFileNotFound, QStringLiteral("File not found"), hostPath);
    if (!info.isFile())
        return makeError(ErrPathFileAccess, QStringLiteral("Not a file"), hostPath);
    return {};
}

Result<Header> readHeader(QImageReader &reader, const QString &hostPath)
{
    reader.setAutoTransform(true);
    const QSize raw = reader.size();
    if (!raw.isValid() || raw.isEmpty()) {
        QString why = reader.errorString();
        if (!QFile::exists(hostPath))
            return makeError(ErrFileNotFound, QStringLiteral("File not found"), hostPath);
        return makeError(ErrPathFileAccess, QStringLiteral("Not a picture that can be shown: %1").arg(why), hostPath);
    }
    if (qint64(raw.width()) * raw.height() > kMaxPicturePixels)
        return makeError(ErrPathFileAccess,
                         QStringLiteral("The picture claims a size of %1 x %2 pixels, too large to show")
                             .arg(raw.width()).arg(raw.height()),
                         hostPath);
    Header h;
    h.raw = raw;
    h.turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    h.natural = h.turned ? raw.transposed() : raw;
    return h;
}

}  // namespace

Result<QSize> pictureSize(const QString &hostPath)
{
    if (Status s = checkFile(hostPath); !s)
        return s.error();
    QImageReader reader(hostPath);
    Result<Header> h = readHeader(reader, hostPath);
    if (!h)
        return h.error();
    return h->natural;
}

Result<Picture> loadPicture(const QString &hostPath, QSize shownSize)
{
    return loadPicture(hostPath, [shownSize](QSize) { return shownSize; });
}

Result<Picture> loadPicture(const QString &hostPath, const std::function<QSize(QSize natural)> &shownSizeFor)
{
    if (Status s = checkFile(hostPath); !s)
        return s.error();
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadOnly))
        return makeError(ErrPathFileAccess, file.errorString(), hostPath);
    // A file of ordinary size is read whole first: the decoder then takes
    // its data from memory in one piece, about a tenth faster than through
    // small reads.
    QBuffer whole;
    QImageReader reader;
    if (file.size() <= kReadWholeBytes) {
        whole.setData(file.readAll());
        whole.open(QIODevice::ReadOnly);
        reader.setDevice(&whole);
    } else {
        reader.setDevice(&file);
    }
    Result<Header> h = readHeader(reader, hostPath);
    if (!h)
        return h.error();
    const QSize shownSize = shownSizeFor ? shownSizeFor(h->natural) : QSize();
    if (shownSize.isValid() && !shownSize.isEmpty()
        && (shownSize.width() < h->natural.width() || shownSize.height() < h->natural.height())) {
        // The JPEG decoder makes 1/2, 1/4 or 1/8 of a picture for little
        // more than the reading of the file, while any other size costs a
        // larger decode and a resampling after it. Take the smallest of those
        // steps that still covers the size shown, with the proportions kept;
        // the picture box does the last smooth step.
        const QSize target = h->natural.scaled(shownSize, Qt::KeepAspectRatioByExpanding);
        QSize step = h->natural;
        for (int d = 2; d <= 8; d *= 2) {
            const QSize smaller(h->natural.width() / d, h->natural.height() / d);
            if (smaller.width() < target.width() || smaller.height() < target.height() || smaller.isEmpty())
                break;
            step = smaller;
        }
        if (step != h->natural)
            reader.setScaledSize(h->turned ? step.transposed() : step);
    }
    QImage image = reader.read();
    if (image.isNull())
        return makeError(ErrPathFileAccess, QStringLiteral("The picture cannot be read: %1").arg(reader.errorString()),
                         hostPath);
    return Picture{std::move(image), h->natural};
}

Result<Picture> loadPicture(const FileSystem &fs, const QString &programPath, QSize shownSize)
{
    Result<QString> host = fs.hostPath(programPath);
    if (!host)
        return host.error();
    return loadPicture(*host, shownSize);
}

}  // namespace pf
