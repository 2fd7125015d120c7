#pragma once
// Preview Disk's window thread, timed for bench_preview: the longest single
// event it handles, every paint of the preview's picture, and one selection
// measured from the key to its pictures painted.

#include "platform/picturebox_ui.h"
#include "platform/prompt.h"
#include "preview/frmpreviewdisk.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

// The window's thread, timed: the longest single event it handled, and
// every paint of the preview's picture.
class TimedApp : public QApplication {
public:
    using QApplication::QApplication;
    struct Paint {
        qint64 at;  // ns since the step began
        qint64 key;
    };
    const pf::PictureBox *box = nullptr;
    QElapsedTimer step;
    qint64 longestNs = 0;
    QList<Paint> paints;

    void startStep()
    {
        paints.clear();
        longestNs = 0;
        step.start();
    }

    bool notify(QObject *receiver, QEvent *event) override
    {
        const bool outer = m_depth++ == 0;
        QElapsedTimer t;
        t.start();
        const bool done = QApplication::notify(receiver, event);
        --m_depth;
        if (outer)
            longestNs = std::max(longestNs, t.nsecsElapsed());
        if (event->type() == QEvent::Paint && receiver == box && step.isValid())
            paints.append({step.nsecsElapsed(), box->picture().isNull() ? 0 : box->picture().cacheKey()});
        return done;
    }

private:
    int m_depth = 0;
};

class BenchPrompt : public pf::Prompt {
public:
    std::function<void(QDialog &)> onModal;
    int boxes = 0;
    pf::MsgAnswer messageBox(const QString &text, pf::MsgButtons, const QString &title) override
    {
        ++boxes;
        std::printf("unexpected message box %s: %s\n", qPrintable(title), qPrintable(text));
        return pf::AnsCancel;
    }
    using pf::Prompt::messageBox;
    void showModal(QDialog &dialog) override
    {
        if (onModal)
            onModal(dialog);
    }
};

double ms(qint64 ns) { return double(ns) / 1e6; }

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? -1 : v[v.size() / 2];
}

void key(QWidget *w, int k)
{
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, k, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

// F2 as the window system delivers it: to the control with the focus.
void pressF2(QWidget &main)
{
    QWidget *focus = QApplication::focusWidget();
    key(focus ? focus : &main, Qt::Key_F2);
}

void click(QWidget *w)
{
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

// The preview has the picture of the entry chosen last, decoded or refused.
bool hasPicture(frmPreviewDisk &w) { return !w.decoding(); }
// Nothing is read or decoded for it, ahead included.
bool idle(frmPreviewDisk &w) { return !w.feed().busy(); }

// Handles events until `done`, waiting for them without spinning; false after 20 s.
bool waitFor(const std::function<bool()> &done)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 20000)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool painted(const TimedApp &app, qint64 key)
{
    return std::any_of(app.paints.begin(), app.paints.end(), [key](const TimedApp::Paint &p) { return p.key == key; });
}

// One selection: how long the window's thread was held up at most, and when
// its first new picture (a thumbnail, or the decoded one) and its decoded
// picture were painted. -1: never.
struct Step {
    double blocked = -1, first = -1, decoded = -1;
};

Step measure(TimedApp &app, frmPreviewDisk &w, const std::function<void()> &act)
{
    const qint64 before = w.Image1->picture().cacheKey();
    app.startStep();
    act();
    const qint64 acted = app.step.nsecsElapsed();
    Step s;
    if (!waitFor([&] { return hasPicture(w) && painted(app, w.Image1->picture().cacheKey()); }))
        return s;
    s.blocked = ms(std::max(acted, app.longestNs));
    const qint64 decoded = w.Image1->picture().cacheKey();
    for (const TimedApp::Paint &p : app.paints) {
        if (s.first < 0 && p.key != 0 && p.key != before)
            s.first = ms(p.at);
        if (p.key == decoded) {
            s.decoded = ms(p.at);
            break;
        }
    }
    return s;
}

struct Figures {
    QList<double> blocked, first, decoded, viewer;
    void add(const Step &s)
    {
        blocked << s.blocked;
        first << s.first;
        decoded << s.decoded;
    }
};
}  // namespace
