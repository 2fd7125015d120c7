// A diskette drive reads a few dozen kilobytes a second: the window's thread
// never reads the medium itself, keeps turning while a read is held, and Esc
// stops a long Copy Disk. The diskette here is a MediumDouble, which notes
// every open and read below drive A: and can hold reads at a gate, so that
// nothing here depends on a clock.

#include "preview/frmpreview.h"
#include "preview/frmpreviewdisk.h"
#include "tests/support/hostilejpeg.h"
#include "tests/support/mediumdouble.h"
#include "tests/support/testkit.h"
#include "transfer/frmduplicate.h"

#include <QThreadPool>
#include <QTimer>

using namespace testkit;
using namespace Qt::StringLiterals;

namespace {

constexpr int kDeadlineMs = 10000;
const QDateTime kJuly(QDate(2003, 7, 4), QTime(9, 5, 7));

// A main window over a diskette of three pictures and a clip, image folder
// C:\Pics\ holding one of their names, video folder C:\Clips\.
struct Desk {
    Desk()
    {
        clearSettings(false);
        auto hooked = std::make_unique<HookedFs>(rig.drives.map());
        fs = hooked.get();
        rig.rebuildServices(std::move(hooked));
        QDir().mkpath(pics);
        QDir().mkpath(clips);
        for (const QString &n : {u"A.JPG"_s, u"B.JPG"_s, u"C.JPG"_s})
            writeFile(a + '/' + n, hostile::jpeg(hostile::solid({64, 48}, Qt::red)), kJuly);
        writeFile(a + u"/CLIP.MPG"_s, QByteArray(2 << 20, 'm'), kJuly);
        writeFile(pics + u"/B.JPG"_s, hostile::jpeg(hostile::solid({64, 48}, Qt::blue)));
        w = &rig.openMain();
        rig.shared.imageFolder = u"C:\\Pics\\"_s;
        rig.shared.videoFolder = u"C:\\Clips\\"_s;
        w->Check1->setChecked(true);  // names kept: B.JPG clashes
    }
    // Runs `look` on the window's thread, from a worker's hook, and waits for it.
    void onWindow(const std::function<void()> &look)
    {
        QMetaObject::invokeMethod(w, look, Qt::BlockingQueuedConnection);
    }
    void pressEsc() { QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key_Escape); }

    Rig rig;
    HookedFs *fs = nullptr;
    frmMain *w = nullptr;
    QString a = rig.a(), pics = rig.c() + u"/Pics"_s, clips = rig.c() + u"/Clips"_s;
};

// The clash dialog, answered once its pictures are read; Preview Disk
// stepped through its entries and the viewer opened on one.
void answerWindows(Desk &d, const QString &clashButton)
{
    d.rig.prompt.onModal = [clashButton](QDialog &dialog) {
        dialog.show();
        if (auto *clash = qobject_cast<frmDuplicate *>(&dialog)) {
            QVERIFY(QTest::qWaitFor([clash] { return !clash->reading(); }, kDeadlineMs));
            child<QPushButton>(clash, clashButton)->click();
        } else if (auto *preview = qobject_cast<frmPreviewDisk *>(&dialog)) {
            for (int row : {1, 2, 0}) {
                preview->File4->setCurrentRow(row);
                QVERIFY(QTest::qWaitFor([preview] { return !preview->decoding(); }, kDeadlineMs));
            }
            QTest::mouseClick(preview->Image1, Qt::LeftButton);
        }
        dialog.close();
    };
}

}  // namespace

class TestSlowMedium : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { QVERIFY(QThreadPool::globalInstance()->waitForDone(kDeadlineMs)); }

    // Each command that reads the diskette does so on a worker: the window's
    // thread opens and reads nothing below drive A:.
    void noReadOnWindowThread_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("Check Disk") << u"F1"_s;
        QTest::newRow("Preview Disk, three entries and the viewer") << u"F2"_s;
        QTest::newRow("Copy Disk, a clash replaced, the erase") << u"F3"_s;
    }
    void noReadOnWindowThread()
    {
        QFETCH(QString, command);
        Desk d;
        MediumDouble medium(d.a);
        answerWindows(d, u"OKButton"_s);
        d.rig.prompt.answers = {pf::AnsYes};  // erase
        if (command == u"F1"_s)
            d.w->Command12_Click();
        else if (command == u"F2"_s)
            d.w->Command15_Click();
        else
            d.w->Command1_Click();
        QVERIFY(QThreadPool::globalInstance()->waitForDone(kDeadlineMs));
        QVERIFY2(medium.reads() > 0 || command == u"F1"_s, "the double saw no read at all");
        QCOMPARE(medium.onWindowThread(), QStringList());
        if (command == u"F3"_s) {
            QCOMPARE(entries(d.a), QStringList());  // all copied, checked and erased
            QCOMPARE(entries(d.pics), (QStringList{u"A.JPG"_s, u"B.JPG"_s, u"C.JPG"_s}));
        }
    }

    // While a read of the diskette is held, the window's thread turns: its
    // timers run, and the held read goes on when they let it. The clash
    // dialog opens before its pictures are read.
    void windowTurnsWhileReadHeld()
    {
        Desk d;
        MediumDouble medium(d.a);
        medium.setGate(false);
        int heldSeen = 0;  // turns of the window's thread that saw a read held
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            if (medium.waiting() > 0) {
                ++heldSeen;
                medium.setGate(true);  // this read goes on; the next one is held again
                QTimer::singleShot(0, [&] { medium.setGate(false); });
            }
        });
        look.start(1);
        QStringList dialogOpened;  // what the clash dialog showed as it opened
        d.rig.prompt.onModal = [&](QDialog &dialog) {
            auto *clash = qobject_cast<frmDuplicate *>(&dialog);
            QVERIFY(clash);
            dialogOpened << (clash->reading() ? u"opened, reading"_s : u"opened, read"_s)
                         << clash->Label4[0]->text();
            QVERIFY(QTest::qWaitFor([clash] { return !clash->reading(); }, kDeadlineMs));
            clash->Command2->click();  // Skip
        };
        d.rig.prompt.answers = {pf::AnsNo};  // no erase
        d.w->Command1_Click();
        look.stop();
        medium.setGate(true);
        QVERIFY2(heldSeen >= 3, qPrintable(u"reads seen held: %1"_s.arg(heldSeen)));
        QCOMPARE(dialogOpened, (QStringList{u"opened, reading"_s, u"B.JPG"_s}));
        QCOMPARE(listing(d.clips), QStringList{u"CLIP.MPG="_s + QString(2 << 20, 'm')});
        QCOMPARE(d.w->Label2[0]->text(), u"Operation completed."_s);
    }

    // Esc while Copy Disk runs stops it as Cancel does: the file in hand is
    // not left part-written, nothing after it is copied, no erase is offered.
    void escStops_data()
    {
        QTest::addColumn<QString>("at");
        QTest::addColumn<QStringList>("pics");
        QTest::addColumn<QStringList>("clips");
        QTest::newRow("before a picture") << u"C.JPG"_s << QStringList{u"A.JPG"_s, u"B.JPG"_s} << QStringList();
        QTest::newRow("within a clip") << u"CLIP.MPG"_s << QStringList{u"A.JPG"_s, u"B.JPG"_s, u"C.JPG"_s}
                                       << QStringList();
    }
    void escStops()
    {
        QFETCH(QString, at);
        Desk d;
        QFile::remove(d.pics + u"/B.JPG"_s);  // no clash
        d.fs->duringCopy = [&](const QString &source) {
            if (source.endsWith(at))
                d.onWindow([&] { d.pressEsc(); });
        };
        d.w->Command1_Click();
        QTEST(entries(d.pics), "pics");  // hidden files too: nothing unfinished left behind
        QTEST(entries(d.clips), "clips");
        QCOMPARE(d.w->Label2[0]->text(), u"Operation cancelled."_s);
        QCOMPARE(d.rig.prompt.titles(), QStringList());  // no erase offered, no failure
        QCOMPARE(entries(d.a).size(), 4);
        QCOMPARE(d.w->busy(), false);
    }
};

PIXFERRY_TEST_MAIN(TestSlowMedium)
#include "test_slowmedium.moc"
