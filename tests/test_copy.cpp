// Copy Disk through the main window: what its handler hands the operation,
// what it shows meanwhile, the clash dialog's buttons as answers, the boxes
// and the wait window of the erase. What the rules do to files is tested on
// the operation itself (test_copyoperation.cpp); here each fact is wiring.

#include "tests/support/mediumdouble.h"
#include "platform/hostnames.h"
#include "tests/support/testkit.h"

#include <QThread>
#include <QTimer>

#include <cstdio>

using namespace testkit;

Q_DECLARE_METATYPE(QList<pf::MsgAnswer>)

namespace {

const QDateTime kJuly(QDate(2003, 7, 4), QTime(9, 5, 7));
const QString kJulyName = "07_04_2003_090507.JPG";
const QString kErase = "Erase Source Diskette?";

// A loaded main window over a HookedFs, image folder C:\Pics\, video folder
// C:\Clips\; at each clash dialog the next of `answers` is clicked ("close
// box": closed) and what the dialog showed is noted.
struct Desk {
    explicit Desk(bool keepNames)
    {
        clearSettings(false);
        auto hooked = std::make_unique<HookedFs>(rig.drives.map());
        fs = hooked.get();
        rig.rebuildServices(std::move(hooked));
        QDir().mkpath(pics);
        QDir().mkpath(clips);
        w = &rig.openMain();
        rig.shared.imageFolder = "C:\\Pics\\";
        rig.shared.videoFolder = "C:\\Clips\\";
        w->Check1->setChecked(keepNames);  // not saved: the tick as it stands counts
        w->Text1[0]->setText("C:\\Elsewhere");  // not saved: the folder the copy was given counts
        rig.prompt.onModal = [this](QDialog &dialog) {
            seen << child<QLabel>(&dialog, "Label5")->text() + " " + child<QLabel>(&dialog, "Label4(0)")->text();
            const QString answer = answers.isEmpty() ? "close box" : answers.takeFirst();
            if (answer == "close box")
                dialog.close();
            else
                child<QPushButton>(&dialog, answer)->click();
        };
    }
    Rig rig;
    HookedFs *fs = nullptr;
    frmMain *w = nullptr;
    QString a = rig.a(), pics = rig.c() + "/Pics", clips = rig.c() + "/Clips";
    QStringList answers, seen;

    // Files on the diskette, each holding its own name.
    void put(const QStringList &names, const QDateTime &when = kJuly)
    {
        for (const QString &n : names)
            writeFile(a + '/' + n, n.toUtf8(), when);
    }
    // Copy Disk with the message boxes answered in turn; the titles shown.
    QStringList copyDisk(const QList<pf::MsgAnswer> &boxAnswers)
    {
        rig.prompt.answers = boxAnswers;
        w->Command1_Click();
        return rig.prompt.titles();
    }
    // The status line, the file line and the bar (value/maximum) as they stand.
    QString panel() const
    {
        return QString("%1 | %2 | %3/%4").arg(w->Label2[0]->text(), w->Label2[1]->text())
            .arg(w->ProgressBar1->value()).arg(w->ProgressBar1->maximum());
    }
};

}  // namespace

class TestCopy : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Each way out of the clash dialog is its answer: two pictures clash,
    // and the dialog shows the first, and the second unless a standing
    // choice or the end settled it. Over a copy of this run it says so.
    void clashButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("ownCopy");  // the existing image is a copy of this run
        QTest::addColumn<QStringList>("seen");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QString>("status");
        const QStringList both{"Existing Image: P1.JPG", "Existing Image: P2.JPG"}, first = both.mid(0, 1);
        const QStringList replaced{"P1.JPG=P1.JPG", "P2.JPG=P2.JPG"}, kept{"P1.JPG=old", "P2.JPG=old"};
        const QStringList renamed{"P1.JPG=old", "P2.JPG=old", "a1439P1.JPG=P1.JPG", "a1439P2.JPG=P2.JPG"};
        const QString done = "Operation completed.", cancelled = "Operation cancelled.";
        QTest::newRow("Replace") << "OKButton" << false << both << replaced << done;
        QTest::newRow("Rename") << "Command1" << false << both << renamed << done;
        QTest::newRow("Skip") << "Command2" << false << both << kept << done;
        QTest::newRow("Replace All") << "Command3" << false << first << replaced << done;
        QTest::newRow("Rename All") << "Command4" << false << first << renamed << done;
        QTest::newRow("Cancel") << "CancelButton" << false << first << kept << cancelled;
        QTest::newRow("the close box") << "close box" << false << first << kept << cancelled;
        QTest::newRow("Rename, over this run's copy")
            << "Command1" << true
            << QStringList{"Existing Image (copied from this diskette a moment ago): " + kJulyName}
            << QStringList{kJulyName + "=P1.JPG", "a" + kJulyName + "=P2.JPG"} << done;
    }
    void clashButtons()
    {
        QFETCH(QString, button);
        QFETCH(bool, ownCopy);
        Desk d(!ownCopy);
        d.put({"P1.JPG", "P2.JPG"});
        for (const QString &name : ownCopy ? QStringList() : QStringList{"P1.JPG", "P2.JPG"})
            writeFile(d.pics + '/' + name, "old");
        d.answers = {button, button};
        d.copyDisk({pf::AnsNo});
        QTEST(d.seen, "seen");
        QTEST(listing(d.pics), "after");
        QTEST(d.w->Label2[0]->text(), "status");
    }

    // How each ending shows: the boxes (the last one's last line), the
    // panel, and no wait window left.
    void endings_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QList<pf::MsgAnswer>>("answers");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("panel");
        using A = pf::MsgAnswer;
        const QString notErased = "The diskette was not erased.", hasNot = "The source diskette has not been erased.";
        QTest::newRow("a copy failed, Cancel")
            << "copy fails" << QList<A>{A::Cancel} << QStringList{"Copy Failed", "Diskette Not Erased"} << hasNot
            << "1 file could not be copied. | " + notErased + " | 0/100";
        QTest::newRow("a copy changed, Yes")
            << "copy changes" << QList<A>{A::Yes} << QStringList{kErase, "Diskette Not Erased"} << hasNot
            << "1 copy does not match. | " + notErased + " | 0/100";
        QTest::newRow("a file kept, Yes")
            << "kept" << QList<A>{A::Yes} << QStringList{kErase, pf::appTitle()} << "NOTES.TXT (not a picture or clip)"
            << "Operation completed: 1 file kept on the diskette. |  | 0/100";
    }
    void endings()
    {
        QFETCH(QString, fault);
        Desk d(true);
        d.put({"CLIP.MPG", fault == "kept" ? "NOTES.TXT" : "CLIP.411"});
        d.fs->beforeCopy = [&](const QString &src, const QString &) {
            return fault == "copy fails" ? pf::Status(pf::errorFromErrno(ENOSPC, src)) : pf::Status();
        };
        d.fs->afterCopy = [&](const QString &, const QString &dst) {
            if (fault == "copy changes")
                writeFile(d.fs->hostPath(dst).valueOr(QString()), "changed!");
        };
        QStringList waiting;  // the wait window, when it is still open as a box shows
        d.rig.prompt.onBox = [&](const ShownBox &box) {
            if (visibleTopLevel("frmPleaseWait"))
                waiting << box.title;
        };
        QFETCH(QList<pf::MsgAnswer>, answers);
        QTEST(d.copyDisk(answers), "titles");
        QTEST(d.rig.prompt.texts().last().section('\r', -1), "last");
        QTEST(d.panel(), "panel");
        QCOMPARE(waiting, QStringList());
        QCOMPARE(d.w->findChild<QWidget *>("frmPleaseWait"), nullptr);
    }

    // End to end, a picture with a sector that cannot be read: the "Copy
    // Failed" box offers to keep the readable part; chosen, it lands beside
    // the next picture's copy as P1_damaged.JPG with zeros for the sector,
    // no erase is offered, and the closing box names it with the bytes lost.
    void keepReadablePart()
    {
        Desk d(true);
        makeNoisyJpeg(d.a + "/P1.JPG", 240, 180, kJuly);
        d.put({"P2.JPG"});
        const QByteArray original = readFile(d.a + "/P1.JPG");
        QStringList titles;
        {
            MediumDouble medium(d.a);
            medium.failBytes(d.a + "/P1.JPG", 8192, 8704);
            titles = d.copyDisk({pf::AnsKeep});
        }
        QCOMPARE(titles, (QStringList{"Copy Failed", "Diskette Not Erased"}));
        QCOMPARE(d.rig.prompt.boxes[0].buttons, pf::MbOkCancelKeep);
        QCOMPARE(entries(d.pics), (QStringList{"P1_damaged.JPG", "P2.JPG"}));
        QByteArray expected = original;
        expected.replace(8192, 512, QByteArray(512, '\0'));
        QVERIFY2(readFile(d.pics + "/P1_damaged.JPG") == expected, "the readable bytes in place, zeros for the sector");
        QCOMPARE(d.rig.prompt.texts().last(),
                 "1 file could not be copied.\rThe source diskette has not been erased.\r\r"
                 "What could be read of this file was kept, with zeros in place of the rest:\r"
                 "C:\\Pics\\P1_damaged.JPG (512 bytes could not be read)");
        QCOMPARE(d.panel(), "1 file could not be copied. | The diskette was not erased. | 0/200");
        QCOMPARE(entries(d.a), (QStringList{"P1.JPG", "P2.JPG"}));
    }

    // End to end, F3: the operation gets the tick of Check1 as it stands,
    // the folders it was given and the diskette's lists (pictures, clips,
    // index files); the panel shows each file as it is copied, a name that is
    // not UTF-8 with a stand-in for its odd byte. Long work keeps the windows
    // drawing: timers run between and within files and the wait window's
    // dots grow during the erase; the main window cannot be closed meanwhile.
    // The wait window stands centred over the main one.
    void copyDiskEndToEnd()
    {
        Desk d(true);
        d.w->show();
        d.put({"A.JPG", "B.JPG", "F.JPG", "X.411"});
        QCOMPARE(std::rename(QFile::encodeName(d.a + "/F.JPG"), QFile::encodeName(d.a) + "/F\xe9te.JPG"), 0);
        writeFile(d.a + "/CLIP.MPG", QByteArray(9 << 20, 'm'));
        d.w->Command12_Click();  // the counts, as the erase will leave them
        bool timerRanWhileBusy = false;
        QTimer::singleShot(0, d.w, [&] { timerRanWhileBusy = d.w->busy(); });
        // The copy runs on a worker; these hooks run there and look at the
        // windows on their own thread, once it has taken the news before them.
        const auto onWindow = [&](const std::function<void()> &look) {
            QMetaObject::invokeMethod(d.w, look, Qt::BlockingQueuedConnection);
        };
        QStringList shown;  // the panel as each file is copied
        d.fs->beforeCopy = [&](const QString &source, const QString &) {
            const QString name = pf::shownName(source.mid(source.lastIndexOf('\\') + 1));
            onWindow([&] {
                // Files that go by fast are shown a moment later.
                (void)QTest::qWaitFor([&] { return d.w->Label2[1]->text() == name; }, 5000);
                shown << d.panel();
                d.w->close();  // refused while the command runs
            });
            return pf::Status();
        };
        QStringList wait;  // the wait window at each deletion
        d.fs->beforeDelete = [&](const QString &) {
            onWindow([&] {
                QWidget *window = visibleTopLevel("frmPleaseWait");
                if (window && wait.isEmpty()) {
                    wait << window->windowTitle() << placement(*window, d.w->frameGeometry(), 4);
                    child<QTimer>(window, "Timer1")->setInterval(20);  // a dot each 20 ms instead of each second
                }
                wait << (window ? child<QLabel>(window, "Label1")->text() : "no wait window");
            });
            QThread::msleep(60);  // the window's thread goes on meanwhile
            return pf::Status();
        };
        d.rig.prompt.answers = {pf::AnsYes};
        QTest::keyClick(d.w->focusWidget() ? d.w->focusWidget() : d.w, Qt::Key_F3);  // as a person presses it
        QCOMPARE(listing(d.pics).mid(0, 2), (QStringList{"A.JPG=A.JPG", "B.JPG=B.JPG"}));
        QCOMPARE(entries(d.clips), QStringList{"CLIP.MPG"});
        QCOMPARE(entries(d.a), QStringList());
        QCOMPARE(shown, (QStringList{"Copying Image Files...(1 of 3) | A.JPG | 0/300",
                                     "Copying Image Files...(2 of 3) | B.JPG | 100/300",
                                     "Copying Image Files...(3 of 3) | F\uFFFDte.JPG | 200/300",
                                     "Copying Movie Clips...(1 of 1) | CLIP.MPG | 0/100"}));
        QCOMPARE(d.panel(), "Operation completed. |  | 0/100");
        QCOMPARE(d.rig.prompt.titles(), (QStringList{kErase, pf::appTitle()}));
        QCOMPARE(timerRanWhileBusy, true);
        QCOMPARE(d.w->isVisible(), true);
        QCOMPARE(wait.mid(0, 3), (QStringList{"Erasing Diskette...", "centred", "Please wait..."}));
        QCOMPARE(wait.size(), 7);
        QCOMPARE(wait.last().left(15), "Please wait....");  // a dot more, at least
        QCOMPARE(d.w->Label3[0]->text() + " " + d.w->Label3[1]->text(), "3 1");
        d.w->close();
        QCOMPARE(d.w->isVisible(), false);
    }
};

PIXFERRY_TEST_MAIN(TestCopy)
#include "test_copy.moc"
