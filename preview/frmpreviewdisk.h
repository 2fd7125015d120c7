#pragma once
// The disk preview: the diskette's pictures in a list, the chosen one scaled
// into a square beside it; a click on the picture enlarges it.

#include "platform/picturebox_ui.h"
#include "platform/result.h"
#include "platform/services.h"
#include "preview/picturefeed.h"

#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QSizeF>

class frmPreview;

class frmPreviewDisk : public QDialog {
    Q_OBJECT
public:
    // `refreshLists` points the main window's lists at the diskette again
    // and reads them; it gives the folder they show. `owner`: the main
    // window, whose icon the preview takes.
    frmPreviewDisk(pf::Services &services, std::function<pf::Result<QString>()> refreshLists, QWidget *owner);

    // The opening: the main window's icon and lists, File4 read from the
    // folder the lists show, the first entry's picture asked of the worker
    // (shown when it comes) with no entry selected. Fails only when drive A:
    // fails while the lists are read (the diskette was taken out since the
    // probe); a picture that cannot be shown is passed over without a word.
    pf::Status Form_Load();

    void File4_Click();     // the selection changed, by mouse or keys
    void File4_DblClick();  // shows the entry's picture, then enlarges it
    void Image1_Click();    // opens the viewer

    int listIndex() const;  // the selected entry of File4, -1 for none
    // The natural size of the picture shown (from its header as soon as that
    // is read), 2292 x 1452 while none has loaded. Only its ratio is used.
    QSizeF naturalSize() const { return m_natural; }
    // The picture of the entry chosen last is still on its way (its header,
    // or its thumbnail, may be shown meanwhile).
    bool decoding() const { return m_decoding; }
    // The worker that reads and decodes the pictures (tests hand it a loader
    // that holds a decode back).
    preview::PictureFeed &feed() { return m_feed; }

    QListWidget *File4;      // the diskette's *.jpg files
    QLabel *Label15;         // "Click image to enlarge..."
    pf::PictureBox *Image1;  // the picture, fitted into a 2172-twip square

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    // A picture decoded whole, its natural size and its entry.
    struct Shown {
        QImage picture;
        QSizeF natural{2292, 1452};
        int index = -1;
    };

    void showEntry(int index);
    QString pathOf(int index) const;
    preview::PictureFeed::ShownSizeFor shownSizeFor() const;
    void headRead(int index, QSize natural, const QImage &thumbnail);
    void decoded(int index, const QImage &picture, QSize natural);
    void failed(int index);
    void display(const QImage &picture, QSizeF natural);
    void decodeNext(int index);
    void previewFit();

    pf::Services &m_svc;
    std::function<pf::Result<QString>()> m_refreshLists;
    // The natural size is kept as a value rather than read back from a
    // hidden picture box that holds the picture a second time.
    QSizeF m_natural{2292, 1452};
    Shown m_last;           // the last picture decoded whole: what a failure goes back to
    int m_wanted = -1;      // the entry chosen last
    int m_step = 1;         // the way the choice moved last: the next entry is decoded ahead that way
    bool m_decoding = false;
    frmPreview *m_viewer = nullptr;  // while the viewer is open: it follows what Image1 shows
    preview::PictureFeed m_feed;     // last: stopped before anything else goes
};
