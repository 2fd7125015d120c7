#pragma once
// A Copy Disk that runs on a worker, seen from the window's thread: its
// questions are asked there, one at a time, while the worker waits for each
// answer; its news reach the window there too, in order, as queued calls.
// Between two turns of the window's event loop many files may go by: their
// news are then taken together, and only the last file's are shown.

#include "transfer/copyoperation.h"

#include <QObject>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class AskerHop : public CopyAsker {
public:
    // `inner` is asked on the thread of `context` (the window's), after
    // `before` (the news of the copy so far, told first).
    AskerHop(CopyAsker &inner, QObject &context, std::function<void()> before = {})
        : m_inner(inner), m_context(context), m_before(std::move(before))
    {
    }

    bool createFolder(FolderKind kind, const QString &folder) override
    {
        return ask([&] { return m_inner.createFolder(kind, folder); });
    }
    void folderNotCreated(const QString &folder, const pf::PlatformError &error) override
    {
        ask([&] { m_inner.folderNotCreated(folder, error); });
    }
    void folderOnDiskette(FolderKind kind, const QString &folder) override
    {
        ask([&] { m_inner.folderOnDiskette(kind, folder); });
    }
    ClashChoice clash(bool copiedHere) override { return ask([&] { return m_inner.clash(copiedHere); }); }
    void clipRenamed(const QString &name) override { ask([&] { m_inner.clipRenamed(name); }); }
    FailedChoice copyFailed(const QString &name, const QString &folder, const pf::PlatformError &error,
                            bool canKeepReadable) override
    {
        return ask([&] { return m_inner.copyFailed(name, folder, error, canKeepReadable); });
    }
    bool erase() override { return ask([&] { return m_inner.erase(); }); }

private:
    // Runs `question` on the context's thread and waits for it there.
    template <typename F>
    auto ask(F question) -> decltype(question())
    {
        using R = decltype(question());
        if constexpr (std::is_void_v<R>) {
            onContextThread([&] { question(); });
        } else {
            std::optional<R> answer;
            onContextThread([&] { answer.emplace(question()); });
            return std::move(*answer);
        }
    }
    void onContextThread(const std::function<void()> &call);

    CopyAsker &m_inner;
    QObject &m_context;
    std::function<void()> m_before;
};

class WatcherHop : public CopyWatcher {
public:
    // `inner` is told on the thread where this hop is made (the window's).
    explicit WatcherHop(CopyWatcher &inner);
    ~WatcherHop() override;

    void copyingStarts() override { post({Kind::CopyingStarts}); }
    void passStarts(Pass pass, int count) override { post({Kind::PassStarts, pass, count}); }
    void fileStarts(Pass pass, int n, int m, const QString &name) override { post({Kind::FileStarts, pass, n, m, 0, 0, name}); }
    void fileBytes(Pass pass, int n, qint64 done, qint64 total) override { post({Kind::FileBytes, pass, n, 0, done, total}); }
    void fileEnds(Pass pass, int n) override { post({Kind::FileEnds, pass, n}); }
    void passEnds(Pass pass) override { post({Kind::PassEnds, pass}); }
    void eraseStarts() override { post({Kind::EraseStarts}); }
    void checkingCopies() override { post({Kind::CheckingCopies}); }
    void erasingFiles() override { post({Kind::ErasingFiles}); }
    void eraseEnds() override { post({Kind::EraseEnds}); }

    // Tells `inner` now of everything posted so far. On the window's thread.
    void deliver();

private:
    enum class Kind { CopyingStarts, PassStarts, FileStarts, FileBytes, FileEnds, PassEnds, EraseStarts,
                      CheckingCopies, ErasingFiles, EraseEnds };
    struct News {
        News(Kind k, Pass p = Pass::Images, int n_ = 0, int m_ = 0, qint64 d = 0, qint64 t = 0, QString s = {})
            : kind(k), pass(p), n(n_), m(m_), done(d), total(t), name(std::move(s))
        {
        }
        Kind kind;
        Pass pass;
        int n, m;
        qint64 done, total;
        QString name;
    };
    void post(News news);
    void tell(const News &news);

    CopyWatcher &m_inner;
    std::unique_ptr<QObject> m_receiver;  // on the window's thread; takes the queued calls
    std::mutex m_mutex;
    std::vector<News> m_news;             // posted, not yet told
    bool m_called = false;                // a call to deliver() is on its way
    qint64 m_lastCallMs = 0;              // when the last one was sent
    static constexpr int kQuietMs = 10;   // news of files wait at most this long
};
