#include "platform/jpegdecoder.h"

#include "platform/picture.h"

#include <QIODevice>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>  // the JPEG library's header needs FILE

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace pf::decoding {

namespace {

// A file is read this much at a time: the longest a stop waits on a slow medium.
constexpr qint64 kChunkBytes = 16 * 1024;
// Rows asked of the library at once.
constexpr int kRowsAtOnce = 16;

// How the library's rows become the picture's.
enum class Rows { Direct, Cmyk };

// Everything the library's callbacks reach, through its client data. It
// lives outside the frame that an early end jumps back to, so nothing of it
// is skipped on the way out.
struct Decoding {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    jpeg_source_mgr source{};
    std::jmp_buf exit{};
    JpegWatch watch;
    QIODevice *file = nullptr;
    QByteArray chunk;
    bool fileEnded = false;
    JOCTET end[2] = {0xFF, JPEG_EOI};
    bool stopped = false;
    char message[JMSG_LENGTH_MAX] = {};
    QImage image;
};

Decoding &of(j_common_ptr cinfo) { return *static_cast<Decoding *>(cinfo->client_data); }
Decoding &of(j_decompress_ptr cinfo) { return of(reinterpret_cast<j_common_ptr>(cinfo)); }

// The library's fatal errors end the decode where they happen.
void errorExit(j_common_ptr cinfo)
{
    Decoding &d = of(cinfo);
    (*cinfo->err->format_message)(cinfo, d.message);
    std::longjmp(d.exit, 1);
}

// Its warnings (corrupt data, a premature end) are not printed: the picture
// is shown as far as the decoder makes it.
void quiet(j_common_ptr) {}

void lookAtStop(Decoding &d)
{
    if (d.watch.step && *d.watch.step)
        (*d.watch.step)();
    if (d.watch.stop && d.watch.stop->load(std::memory_order_relaxed)) {
        d.stopped = true;
        std::longjmp(d.exit, 1);
    }
}

// The progress hook: called for every row of blocks read, and for every
// call that makes rows.
void onProgress(j_common_ptr cinfo) { lookAtStop(of(cinfo)); }

// A file read a chunk at a time. Where it ends, or cannot be read on, an
// end marker stands in for the rest, as the library advises: the decoder
// then makes the rest of the picture from nothing.
void initSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr cinfo)
{
    Decoding &d = of(cinfo);
    lookAtStop(d);
    const qint64 n = d.fileEnded ? 0 : d.file->read(d.chunk.data(), d.chunk.size());
    if (n <= 0) {
        d.fileEnded = true;
        WARNMS(cinfo, JWRN_JPEG_EOF);
        d.source.next_input_byte = d.end;
        d.source.bytes_in_buffer = sizeof d.end;
    } else {
        d.source.next_input_byte = reinterpret_cast<const JOCTET *>(d.chunk.constData());
        d.source.bytes_in_buffer = size_t(n);
    }
    return TRUE;
}

// Segments passed over (comments, EXIF blocks) are sought past, not read.
void skipInput(j_decompress_ptr cinfo, long count)
{
    Decoding &d = of(cinfo);
    if (count <= 0)
        return;
    if (size_t(count) <= d.source.bytes_in_buffer) {
        d.source.next_input_byte += count;
        d.source.bytes_in_buffer -= size_t(count);
        return;
    }
    const qint64 beyond = qint64(count) - qint64(d.source.bytes_in_buffer);
    d.source.bytes_in_buffer = 0;
    if (!d.file->seek(d.file->pos() + beyond))
        d.fileEnded = true;
}

void termSource(j_decompress_ptr) {}

bool unsupported(Decoding &d)
{
    std::snprintf(d.message, sizeof d.message, "Unsupported colour components (%d)", d.cinfo.num_components);
    return false;
}

// The decode proper, from the header to the last row. An early end (an
// error, a stop) jumps back here and returns false; nothing in this frame
// needs to be destroyed on the way.
bool run(Decoding &d, const JpegInput &input, QSize scaled)
{
    if (setjmp(d.exit))
        return false;
    j_decompress_ptr cinfo = &d.cinfo;
    jpeg_create_decompress(cinfo);
    d.progress.progress_monitor = onProgress;
    cinfo->progress = &d.progress;
    if (input.file) {
        d.file = input.file;
        d.source.init_source = initSource;
        d.source.fill_input_buffer = fillInput;
        d.source.skip_input_data = skipInput;
        d.source.resync_to_restart = jpeg_resync_to_restart;
        d.source.term_source = termSource;
        cinfo->src = &d.source;
    } else {
        jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char *>(input.held.data()),
                     static_cast<unsigned long>(input.held.size()));
    }
    (void)jpeg_read_header(cinfo, TRUE);
    // The library's own limit for what it keeps (the coefficients of a
    // progressive picture): the picture budget, checked before as well.
    cinfo->mem->max_memory_to_use = long(PictureBudget::kMaxDecodingBytes);
    QImage::Format format = QImage::Format_RGB32;
    Rows rows = Rows::Direct;
    switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo->out_color_space = JCS_GRAYSCALE;
        format = QImage::Format_Grayscale8;
        break;
    case JCS_YCbCr:
    case JCS_RGB:
        // Straight into 32-bit RGB, its padding byte opaque.
        cinfo->out_color_space = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRA : JCS_EXT_ARGB;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo->out_color_space = JCS_CMYK;
        rows = Rows::Cmyk;
        break;
    default:
        return unsupported(d);
    }
    if (scaled.isValid() && !scaled.isEmpty() && cinfo->image_width && cinfo->image_height) {
        const double f = std::min(double(cinfo->image_width) / scaled.width(),
                                  double(cinfo->image_height) / scaled.height());
        cinfo->scale_num = std::clamp(int(std::ceil(8 / f)), 1, 8);
        cinfo->scale_denom = 8;
    }
    (void)jpeg_start_decompress(cinfo);
    d.image = QImage(int(cinfo->output_width), int(cinfo->output_height), format);
    if (d.image.isNull()) {
        std::snprintf(d.message, sizeof d.message, "Not enough memory for a picture of %u x %u pixels",
                      cinfo->output_width, cinfo->output_height);
        return false;
    }
    if (rows == Rows::Direct) {
        JSAMPROW at[kRowsAtOnce];
        while (cinfo->output_scanline < cinfo->output_height) {
            const int n = int(std::min<JDIMENSION>(kRowsAtOnce, cinfo->output_height - cinfo->output_scanline));
            for (int i = 0; i < n; ++i)
                at[i] = d.image.scanLine(int(cinfo->output_scanline) + i);
            (void)jpeg_read_scanlines(cinfo, at, JDIMENSION(n));
        }
    } else {
        // CMYK as Adobe writes it (inverted), made RGB as Qt's reader makes it.
        JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                     cinfo->output_width * 4, 1);
        while (cinfo->output_scanline < cinfo->output_height) {
            const int y = int(cinfo->output_scanline);
            if (jpeg_read_scanlines(cinfo, row, 1) != 1)
                continue;
            const JSAMPLE *in = row[0];
            auto *out = reinterpret_cast<QRgb *>(d.image.scanLine(y));
            for (JDIMENSION x = 0; x < cinfo->output_width; ++x, in += 4) {
                const int k = in[3];
                out[x] = qRgb(k * in[0] / 255, k * in[1] / 255, k * in[2] / 255);
            }
        }
    }
    (void)jpeg_finish_decompress(cinfo);
    return true;
}

}  // namespace

JpegDecoded decodeJpeg(const JpegInput &input, QSize scaled, const JpegWatch &watch)
{
    Decoding d;
    d.watch = watch;
    d.cinfo.client_data = &d;
    d.cinfo.err = jpeg_std_error(&d.errors);
    d.errors.error_exit = errorExit;
    d.errors.output_message = quiet;
    if (input.file)
        d.chunk = QByteArray(kChunkBytes, Qt::Uninitialized);
    const bool done = run(d, input, scaled);
    jpeg_destroy_decompress(&d.cinfo);  // also after an early end: it frees what the library holds
    JpegDecoded out;
    out.stopped = d.stopped;
    if (!done) {
        out.failure = QString::fromLatin1(d.message);
        return out;
    }
    out.image = std::move(d.image);
    if (scaled.isValid() && !scaled.isEmpty() && out.image.size() != scaled)
        out.image = out.image.scaled(scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return out;
}

}  // namespace pf::decoding
