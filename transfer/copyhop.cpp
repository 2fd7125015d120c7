#include "transfer/copyhop.h"

#include "platform/filetime.h"

#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <mutex>

void AskerHop::onContextThread(const std::function<void()> &question)
{
    const auto call = [this, &question] {
        if (m_before)
            m_before();
        question();
    };
    if (QThread::currentThread() == m_context.thread()) {
        call();
        return;
    }
    // The question runs there; this thread waits for its answer. The hand
    // over is a mutex and a condition of our own, so that what the question
    // wrote is seen here (and a race checker sees that it is).
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    QMetaObject::invokeMethod(&m_context, [&] {
        call();
        const std::lock_guard lock(mutex);
        done = true;
        answered.notify_one();
    }, Qt::QueuedConnection);
    std::unique_lock lock(mutex);
    answered.wait(lock, [&] { return done; });
}

WatcherHop::WatcherHop(CopyWatcher &inner) : m_inner(inner), m_receiver(std::make_unique<QObject>())
{
    // What was left waiting is told within a moment.
    auto *timer = new QTimer(m_receiver.get());
    QObject::connect(timer, &QTimer::timeout, m_receiver.get(), [this] { deliver(); });
    timer->start(kQuietMs);
}

// Calls still queued for the receiver go with it, unanswered.
WatcherHop::~WatcherHop() = default;

void WatcherHop::post(News news)
{
    if (QThread::currentThread() == m_receiver->thread()) {
        deliver();
        tell(news);
        return;
    }
    const bool ofAFile = news.kind == Kind::FileStarts || news.kind == Kind::FileBytes || news.kind == Kind::FileEnds;
    const std::lock_guard lock(m_mutex);
    m_news.push_back(std::move(news));
    if (m_called)
        return;
    // Files that go by faster than the screen is painted are told a few at
    // a time, by the timer, instead of waking the window's thread for each.
    const qint64 now = pf::coarseMs();
    if (ofAFile && now - m_lastCallMs < kQuietMs)
        return;
    m_called = true;
    m_lastCallMs = now;
    QMetaObject::invokeMethod(m_receiver.get(), [this] { deliver(); }, Qt::QueuedConnection);
}

void WatcherHop::deliver()
{
    std::vector<News> news;
    {
        const std::lock_guard lock(m_mutex);
        news.swap(m_news);
        m_called = false;
    }
    // Of a run of files, only the last one's start, end and bytes are told:
    // nobody sees captions that change faster than the screen is painted.
    std::optional<News> started, ended, bytes;
    auto flush = [&] {
        for (std::optional<News> *n : {&started, &ended, &bytes})
            if (*n) {
                tell(**n);
                n->reset();
            }
    };
    for (News &n : news) {
        switch (n.kind) {
        case Kind::FileStarts:
            started = std::move(n);
            break;
        case Kind::FileEnds:
            ended = std::move(n);
            bytes.reset();  // of the file that ended, or an earlier one
            break;
        case Kind::FileBytes:
            bytes = std::move(n);
            break;
        default:
            flush();
            tell(n);
        }
    }
    flush();
}

void WatcherHop::tell(const News &n)
{
    switch (n.kind) {
    case Kind::CopyingStarts: m_inner.copyingStarts(); break;
    case Kind::PassStarts: m_inner.passStarts(n.pass, n.n); break;
    case Kind::FileStarts: m_inner.fileStarts(n.pass, n.n, n.m, n.name); break;
    case Kind::FileBytes: m_inner.fileBytes(n.pass, n.n, n.done, n.total); break;
    case Kind::FileEnds: m_inner.fileEnds(n.pass, n.n); break;
    case Kind::PassEnds: m_inner.passEnds(n.pass); break;
    case Kind::EraseStarts: m_inner.eraseStarts(); break;
    case Kind::CheckingCopies: m_inner.checkingCopies(); break;
    case Kind::ErasingFiles: m_inner.erasingFiles(); break;
    case Kind::EraseEnds: m_inner.eraseEnds(); break;
    }
}
