#pragma once
// The pictures of one window, read and decoded on a worker thread so that
// the window never waits for them: the header first (the natural size, and
// the camera's thumbnail when it has the picture's shape), then the decoded
// picture. One piece of work at a time; a newer wish stops the older work,
// and nothing of it arrives afterwards. After a picture, the next entry may
// be decoded ahead, so that stepping to it shows it at once.

#include "platform/picture.h"

#include <QImage>
#include <QObject>
#include <QSize>

#include <functional>
#include <memory>
#include <optional>

namespace preview {

class PictureFeed : public QObject {
    Q_OBJECT
public:
    // The size in pixels a picture of this natural size is decoded for. Runs
    // on the worker: it must only compute.
    using ShownSizeFor = std::function<QSize(QSize natural)>;
    // Reads and decodes one picture on the worker, reporting its header
    // first and stopping when told: pf::loadPictureInSteps.
    using Loader = std::function<pf::Result<pf::Picture>(const QString &hostPath, const pf::LoadSteps &steps)>;

    explicit PictureFeed(QObject *parent = nullptr);
    // Stops the work running; nothing of it arrives.
    ~PictureFeed() override;

    // The picture of entry `key`, the file at `hostPath`, is wanted now.
    // Nothing more arrives for any entry wanted before. A picture decoded
    // ahead for this entry arrives at once, before this returns; one being
    // decoded ahead for it goes on and arrives when done.
    void want(int key, const QString &hostPath, ShownSizeFor shownSizeFor);
    // Nothing is wanted: the work running stops, and what was decoded ahead
    // is dropped.
    void clear();
    // Decodes entry `key` ahead, once the wanted picture is done: kept, in
    // place of anything decoded ahead before, until the next want().
    void decodeAhead(int key, const QString &hostPath, ShownSizeFor shownSizeFor);

    // Another loader for the pictures wanted from now on (a test's, holding
    // a decode back).
    void setLoader(Loader loader) { m_loader = std::move(loader); }
    // Turns the paths wanted into the host paths the loader reads, on the
    // worker (looking a name up may wait on the medium). Without one the
    // paths wanted are host paths.
    using Lookup = std::function<pf::Result<QString>(const QString &path)>;
    void setLookup(Lookup lookup) { m_lookup = std::move(lookup); }

    // Work running or waiting to run.
    bool busy() const { return m_running != nullptr || m_next.has_value(); }

Q_SIGNALS:
    // For the entry wanted: its header has been read. `thumbnail` is null
    // unless the picture carries one of its own shape.
    void headRead(int key, QSize natural, const QImage &thumbnail);
    // For the entry wanted: its picture, decoded.
    void decoded(int key, const QImage &picture, QSize natural);
    // For the entry wanted: it cannot be shown (not a picture, beyond the
    // budget, unreadable, not a regular file).
    void failed(int key);
    // Nothing runs or waits any more.
    void settled();

private:
    struct Request {
        int key;
        QString path;
        ShownSizeFor shownSizeFor;
        bool ahead;
    };
    struct Ahead {
        int key;
        QString path;
        pf::Result<pf::Picture> result;
    };
    struct Job;
    struct Mailbox;

    void start(Request request);
    void startNext();
    void deliver(int key, const pf::Result<pf::Picture> &result);
    void headArrived(const std::shared_ptr<Job> &job, const pf::PictureHead &head);
    void jobDone(const std::shared_ptr<Job> &job, const pf::Result<pf::Picture> &result);
    bool runs(int key, const QString &path) const;

    Loader m_loader;
    Lookup m_lookup;
    std::shared_ptr<Mailbox> m_mailbox;
    std::shared_ptr<Job> m_running;
    std::optional<Request> m_next;
    std::optional<Ahead> m_ahead;
};

}  // namespace preview
