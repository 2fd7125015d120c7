#include "preview/picturefeed.h"

#include <QMetaObject>
#include <QMutex>
#include <QThreadPool>

#include <atomic>

namespace preview {

// One picture being read and decoded. The worker reads only `path`,
// `shownSizeFor`, `load`, `lookup` and `cancelled`; the rest belongs to the window's thread.
struct PictureFeed::Job {
    int key;
    QString path;
    ShownSizeFor shownSizeFor;
    Loader load;
    Lookup lookup;
    std::atomic<bool> cancelled{false};
    bool ahead = false;                    // decoded ahead, not wanted (yet)
    std::optional<pf::PictureHead> head;   // once read
};

// Where a worker sends its news: the feed, while it lives. The feed leaves
// it on its way out, so nothing is sent to it afterwards.
struct PictureFeed::Mailbox {
    QMutex mutex;
    PictureFeed *feed = nullptr;

    template <typename F>
    void post(F &&deliver)
    {
        const QMutexLocker lock(&mutex);
        if (feed)
            QMetaObject::invokeMethod(feed, [f = feed, d = std::forward<F>(deliver)] { d(f); }, Qt::QueuedConnection);
    }
};

PictureFeed::PictureFeed(QObject *parent)
    : QObject(parent), m_loader(pf::loadPictureInSteps), m_mailbox(std::make_shared<Mailbox>())
{
    m_mailbox->feed = this;
}

PictureFeed::~PictureFeed()
{
    {
        const QMutexLocker lock(&m_mailbox->mutex);
        m_mailbox->feed = nullptr;
    }
    // The worker stops at its next look; what it holds it frees itself.
    if (m_running)
        m_running->cancelled = true;
}

bool PictureFeed::runs(int key, const QString &path) const
{
    return m_running && !m_running->cancelled && m_running->key == key && m_running->path == path;
}

void PictureFeed::want(int key, const QString &hostPath, ShownSizeFor shownSizeFor)
{
    m_next.reset();
    if (m_ahead && m_ahead->key == key && m_ahead->path == hostPath) {
        const Ahead ready = std::move(*m_ahead);
        m_ahead.reset();
        if (m_running)
            m_running->cancelled = true;
        deliver(key, ready.result);
        return;
    }
    // Only this picture and the next are kept: one decoded ahead for another
    // entry is not wanted any more.
    m_ahead.reset();
    if (runs(key, hostPath)) {
        if (m_running->ahead) {
            m_running->ahead = false;
            if (m_running->head)
                Q_EMIT headRead(key, m_running->head->natural, m_running->head->thumbnail);
        }
        return;
    }
    if (m_running)
        m_running->cancelled = true;
    m_next = Request{key, hostPath, std::move(shownSizeFor), false};
    startNext();
}

void PictureFeed::clear()
{
    m_next.reset();
    m_ahead.reset();
    if (m_running)
        m_running->cancelled = true;
}

void PictureFeed::decodeAhead(int key, const QString &hostPath, ShownSizeFor shownSizeFor)
{
    if ((m_ahead && m_ahead->key == key && m_ahead->path == hostPath) || runs(key, hostPath))
        return;
    m_ahead.reset();
    if (m_next && !m_next->ahead)
        return;  // a wanted picture waits: it goes first, and it will ask for its own next
    if (m_running && m_running->ahead)
        m_running->cancelled = true;
    m_next = Request{key, hostPath, std::move(shownSizeFor), true};
    startNext();
}

void PictureFeed::startNext()
{
    if (m_running || !m_next)
        return;
    Request request = std::move(*m_next);
    m_next.reset();
    start(std::move(request));
}

void PictureFeed::start(Request request)
{
    auto job = std::make_shared<Job>();
    job->key = request.key;
    job->path = std::move(request.path);
    job->shownSizeFor = std::move(request.shownSizeFor);
    job->load = m_loader;
    job->lookup = m_lookup;
    job->ahead = request.ahead;
    m_running = job;
    QThreadPool::globalInstance()->start([job, mailbox = m_mailbox] {
        pf::LoadSteps steps;
        steps.shownSizeFor = job->shownSizeFor;
        steps.cancelled = &job->cancelled;
        steps.headRead = [&job, &mailbox](const pf::PictureHead &head) {
            mailbox->post([job, head](PictureFeed *feed) { feed->headArrived(job, head); });
        };
        const pf::Result<QString> host = job->lookup ? job->lookup(job->path) : pf::Result<QString>(job->path);
        pf::Result<pf::Picture> result = host ? job->load(*host, steps) : pf::Result<pf::Picture>(host.error());
        mailbox->post([job, result = std::move(result)](PictureFeed *feed) { feed->jobDone(job, result); });
    });
}

void PictureFeed::headArrived(const std::shared_ptr<Job> &job, const pf::PictureHead &head)
{
    if (job != m_running || job->cancelled)
        return;
    job->head = head;
    if (!job->ahead)
        Q_EMIT headRead(job->key, head.natural, head.thumbnail);
}

void PictureFeed::jobDone(const std::shared_ptr<Job> &job, const pf::Result<pf::Picture> &result)
{
    if (job == m_running)
        m_running.reset();
    if (!job->cancelled) {
        if (job->ahead)
            m_ahead = Ahead{job->key, job->path, result};
        else
            deliver(job->key, result);  // may ask for the next one ahead
    }
    startNext();
    if (!busy())
        Q_EMIT settled();
}

void PictureFeed::deliver(int key, const pf::Result<pf::Picture> &result)
{
    if (result)
        Q_EMIT decoded(key, result->image, result->natural);
    else
        Q_EMIT failed(key);
}

}  // namespace preview
