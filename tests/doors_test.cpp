// Every way a name reaches the queue, the two dialogs, and full screen.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QInputDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QOpenGLContext>
#include <QProcess>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>
#include <atomic>
#include <thread>

#include "FilmBuilder.h"
#include "Fixtures.h"
#include "ProgramFixture.h"
#include "TestUtil.h"
#include "app/CMainFrame.h"
#include "app/CTovrinApp.h"
#include "app/Dialogs.h"
#include "app/ErrorTexts.h"
#include "app/QueueWindow.h"
#include "display/CTovrinView.h"
#include "display/OnScreenDisplay.h"
#include "display/PositionBar.h"
#include "display/TimeSlider.h"
#include "framework/SingleInstance.h"
#include "framework/Translation.h"
#include "platform/profile/Settings.h"
#include "res/CommandIds.h"

using namespace lunavue;
using namespace lunavue::test;

namespace {

std::string Movie(TempDir& dir, const std::string& name, int frames = 50) {
    return NumberedMovie(dir, name, 32, 16, frames);
}

}  // namespace

TEST(Doors, OpenDialogDropsAndCtrlO) {
    TempDir dir;
    Program p(dir);
    const std::string a = Movie(dir, "a.cpk"), b = Movie(dir, "b.cpk"), c = Movie(dir, "c.cpk");
    p.app->chooseFiles = [&] {
        return QStringList{QString::fromStdString(a), QString::fromStdString(b),
                           QString::fromStdString(c)};
    };
    p.Run(cmd::kOpen);
    EXPECT_EQ(p.Queue(), (std::vector<std::string>{a, b, c})) << "in the dialog's order";
    p.Idle();
    EXPECT_TRUE(p.Doc().IsOpen());
    EXPECT_EQ(p.Queue(), (std::vector<std::string>{b, c}));

    // A name chosen while a movie plays waits for its end.
    p.Run(cmd::kPlay);
    p.app->chooseFiles = [&] { return QStringList{QString::fromStdString(a)}; };
    p.Run(cmd::kOpen);
    p.Idle(10);
    EXPECT_TRUE(p.Doc().IsPlaying());
    EXPECT_EQ(p.Queue().size(), 3u);
    p.app->chooseFiles = [] { return QStringList{}; };  // cancelled
    p.Run(cmd::kOpen);
    EXPECT_EQ(p.Queue().size(), 3u);

    // Two files dropped on the window are queued in drop order.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(c)),
                  QUrl::fromLocalFile(QString::fromStdString(a))});
    QWidget* target = p.app->View();  // on the picture: it goes to the main window
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    auto q = p.Queue();
    ASSERT_EQ(q.size(), 5u);
    EXPECT_EQ(q[3], c);
    EXPECT_EQ(q[4], a);

    // Ctrl+O: the single-file dialog; its file goes through the open-document hook.
    p.app->chooseFile = [&] { return QString::fromStdString(b); };
    p.Run(cmd::kFileOpen);
    EXPECT_EQ(p.Queue().back(), b);
}

TEST(Doors, InformationAndAboutDialogs) {
    TempDir dir;
    Program p(dir);
    QString info[12];
    QString aboutTitle;
    // LUNAVUE_SHOTS=folder keeps a picture of each dialog, to look at.
    const char* shots = std::getenv("LUNAVUE_SHOTS");
    p.app->runDialog = [&](QDialog& d) {
        if (shots != nullptr) {
            d.grab().save(QString("%1/%2.png").arg(shots, d.windowTitle().replace(' ', '-')));
        }
        if (auto* f = dynamic_cast<CFileInfoDlg*>(&d)) {
            int i = 0;
            for (int id : {1003, 1004, 1005, 1009, 1006, 1007, 1008, 1010, 1011, 1012, 1013, 1014})
                info[i++] = f->Text(id);
        } else {
            aboutTitle = d.windowTitle();
        }
    };
    p.app->OpenDocumentFile(FixturePath("bars-320x224-s16-stereo.cpk"));
    p.Idle();
    p.Run(cmd::kInformation);
    EXPECT_EQ(info[0], "320x224");
    EXPECT_EQ(info[1], "15.00fps");
    EXPECT_EQ(info[2], "60");
    EXPECT_EQ(info[3], "0:4");
    EXPECT_EQ(info[4], "16bit");
    EXPECT_EQ(info[5], "22050Hz");
    EXPECT_EQ(info[6], "2");
    // Which file, and what it holds, as cpktool info says it.
    EXPECT_EQ(info[7], "bars-320x224-s16-stereo.cpk");
    EXPECT_EQ(info[8], QString::fromStdString(FixturePath("")).chopped(1));
    EXPECT_EQ(info[9], "standard 1.09");
    EXPECT_EQ(info[10], "cvid");
    EXPECT_EQ(info[11], "pcm");
    p.Run(cmd::kAbout);
    EXPECT_EQ(aboutTitle, "Tovrin Information");

    CAboutBox box;
    EXPECT_FALSE(box.findChildren<QLabel*>().isEmpty());
    EXPECT_GT(box.width(), box.fontMetrics().horizontalAdvance(box.windowTitle()) + 100)
        << "a window manager would shorten the title";
    QTest::keyClick(&box, Qt::Key_Escape);
    EXPECT_EQ(box.result(), QDialog::Rejected);
    CFileInfoDlg dlg(MovieInfo{});
    dlg.show();
    QTest::keyClick(&dlg, Qt::Key_Return);
    EXPECT_EQ(dlg.result(), QDialog::Accepted) << "OK is the default button";

    // In the font in use, even with long values, no text touches another text or a frame.
    MovieInfo wide{"4096x4096",
                   "333.33fps",
                   "2147483647",
                   "999:59",
                   "192000Hz",
                   "16bit",
                   "2",
                   "a-rather-long-movie-name.cpk",
                   "/home/someone/Videos/games",
                   "version 0 (20-byte descriptor)",
                   "raw",
                   "adpcm, with a stream header that is not accepted: silent"};
    CFileInfoDlg big(wide);
    big.show();
    QApplication::processEvents();
    std::vector<QRect> texts;
    for (QLabel* l : big.findChildren<QLabel*>()) {
        const QRect r(l->mapTo(&big, QPoint(0, 0)),
                      QSize(l->fontMetrics().horizontalAdvance(l->text()), l->height()));
        EXPECT_TRUE(QRect(QPoint(0, 0), big.size()).contains(r)) << l->text().toStdString();
        if (auto* box = qobject_cast<QGroupBox*>(l->parentWidget())) {
            const QRect inside(box->mapTo(&big, box->contentsRect().topLeft()),
                               box->contentsRect().size());
            EXPECT_TRUE(inside.contains(r.adjusted(-1, 0, 1, 0))) << l->text().toStdString();
        }
        for (const QRect& other : texts)
            EXPECT_FALSE(other.adjusted(-1, 0, 1, 0).intersects(r)) << l->text().toStdString();
        texts.push_back(r);
    }
}

TEST(Doors, FullScreenFromEachTrigger) {
    TempDir dir;
    Program p(dir, "[Tovrin]\nFullScreen=1\n");
    CTovrinView& view = *p.app->View();
    CMainFrame& frame = *p.app->MainFrame();
    p.app->OpenDocumentFile(Movie(dir, "m.cpk", 200));
    p.Idle();
    const QRect before = frame.geometry();

    const WId window = frame.winId();
    p.Run(cmd::kPlay);  // the setting is on: Play enters full screen
    QApplication::processEvents();
    ASSERT_TRUE(view.IsFullScreen());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BlankCursor);
    // The picture covers the whole screen, in the same window.
    const QRect screen = frame.screen()->geometry();
    const QRect client(view.mapToGlobal(view.contentsRect().topLeft()), view.contentsRect().size());
    EXPECT_EQ(client, screen);
    EXPECT_EQ(frame.winId(), window);
    EXPECT_FALSE(frame.statusBar()->isVisible());
    EXPECT_EQ(p.app->MainFrame()->PaneText(1), " 0: 0");

    // A click anywhere leaves full screen; the frame returns; playback goes on.
    QTest::mouseClick(&view, Qt::LeftButton);
    EXPECT_FALSE(view.IsFullScreen());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the cursor shows again";
    EXPECT_EQ(frame.geometry(), before);
    EXPECT_TRUE(frame.statusBar()->isVisible());
    EXPECT_EQ(frame.winId(), window);
    EXPECT_TRUE(p.Doc().IsPlaying());

    // Switching the setting off and on during playback enters at once.
    p.Run(cmd::kFullScreen);
    EXPECT_FALSE(view.IsFullScreen());
    p.Run(cmd::kFullScreen);
    EXPECT_TRUE(view.IsFullScreen());
    // Off during full screen: full screen stays until the stop.
    p.Run(cmd::kFullScreen);
    EXPECT_TRUE(view.IsFullScreen());
    p.Run(cmd::kStop);
    EXPECT_FALSE(view.IsFullScreen());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    p.Run(cmd::kPlay);
    EXPECT_FALSE(view.IsFullScreen()) << "the setting is off now";
    p.Run(cmd::kStop);
    // Switching the setting on while stopped only sets the check mark.
    p.Run(cmd::kFullScreen);
    EXPECT_FALSE(view.IsFullScreen());
    EXPECT_TRUE(p.app->Router().State(cmd::kFullScreen).checked);
}

TEST(Doors, ASecondStartHandsItsFilesToTheRunningPlayer) {
    TempDir dir;
    Program p(dir);
    const std::string movie = Movie(dir, "sent.cpk");
    QProcess second;
    second.setProgram(LUNAVUE_BINARY);
    second.setArguments({QString::fromStdString(movie), "relative.cpk"});
    second.setWorkingDirectory(QString::fromStdString(dir.Path().string()));
    second.start();
    // The second start ends only once the running player has queued every name.
    for (int i = 0; i < 1000 && second.state() != QProcess::NotRunning; ++i) {
        QApplication::processEvents();
        QTest::qWait(10);
    }
    ASSERT_EQ(second.state(), QProcess::NotRunning);
    EXPECT_EQ(second.exitCode(), 0);
    // The idle step may have opened the first name already; the rest waits in the queue.
    std::vector<std::string> seen = p.Queue();
    if (p.Doc().IsOpen())
        seen.insert(seen.begin(), p.app->Recent().Entries().front());
    EXPECT_EQ(seen, (std::vector<std::string>{movie, dir.File("relative.cpk")}));
}

TEST(Doors, DirectDrawFallsBackToThePainterWithoutGl) {
    {
        QOpenGLContext probe;
        if (probe.create()) {
            GTEST_SKIP() << "this machine can make a GL context";
        }
    }
    TempDir dir;
    Program p(dir, "[Tovrin]\nDirectDraw=1\n");
    int boxes = 0;
    p.app->runDialog = [&](QDialog&) { ++boxes; };
    p.app->OpenDocumentFile(Movie(dir, "m.cpk", 5));
    p.Idle();
    ASSERT_TRUE(p.Doc().IsOpen());
    EXPECT_TRUE(p.View().HasRenderer());
    EXPECT_FALSE(p.View().UsesGpu());
    EXPECT_FALSE(p.View().GetOverlayInUse());
    EXPECT_EQ(boxes, 0) << "no message";
    EXPECT_TRUE(p.State(cmd::kDirectDraw).checked);
    // The toggle changes the check mark at once and the renderer only at the next movie.
    p.Run(cmd::kDirectDraw);
    EXPECT_FALSE(p.State(cmd::kDirectDraw).checked);
    EXPECT_TRUE(p.View().HasRenderer());
}

// The keys, sent as key events to the window: each does what its table says.
TEST(Doors, PlayerKeysAndMouse) {
    TempDir dir;
    Program p(dir);
    CMainFrame& frame = p.Frame();
    frame.show();
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    QString chosen;
    p.app->chooseFile = [&] {
        chosen = "asked";
        return QString();
    };
    QTest::keyClick(&frame, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(chosen, "asked") << "Ctrl+O shows the single-selection dialog";

    // A 200-second movie of numbered frames, 10 a second.
    p.app->OpenDocumentFile(NumberedMovie(dir, "long.cpk", 32, 16, 2000));
    p.app->OpenDocumentFile(Movie(dir, "next.cpk", 30));
    p.Idle();
    CTovrinDoc& doc = p.Doc();
    ASSERT_TRUE(doc.IsOpen());
    p.Key(Qt::Key_Space);
    EXPECT_TRUE(doc.IsPlaying());
    p.Key(Qt::Key_Space);
    EXPECT_TRUE(doc.IsPaused());
    const uint32_t at = doc.PositionMs();
    p.Key(Qt::Key_Right);
    EXPECT_EQ(doc.PositionMs(), at + 5000);
    EXPECT_TRUE(frame.PaneText(0).startsWith("0:0")) << frame.PaneText(0).toStdString();
    EXPECT_TRUE(frame.PaneText(0).endsWith(" / 3:20"));
    p.Key(Qt::Key_Up);
    EXPECT_EQ(doc.PositionMs(), at + 65000);
    p.Key(Qt::Key_Down);
    p.Key(Qt::Key_Left);
    EXPECT_EQ(doc.PositionMs(), at);
    p.Key(Qt::Key_Right);
    p.Key(Qt::Key_Home);
    EXPECT_EQ(doc.PositionMs(), 0u);
    p.Key(Qt::Key_Period);
    p.Key(Qt::Key_Period);
    EXPECT_EQ(doc.CurrentFrame()[0], 3) << "two frames on";
    p.Key(Qt::Key_Comma);
    EXPECT_EQ(doc.CurrentFrame()[0], 2);
    EXPECT_TRUE(doc.IsPaused());

    CTovrinView& view = p.View();
    p.Key(Qt::Key_9);
    EXPECT_EQ(view.GetVolume(), 90);
    EXPECT_EQ(frame.PaneText(0), QString::fromUtf8("音量 90%")) << "the Japanese translation";
    p.Key(Qt::Key_0);
    p.Key(Qt::Key_0);
    EXPECT_EQ(view.GetVolume(), 100);
    p.Key(Qt::Key_M);
    EXPECT_TRUE(view.IsMuted());
    p.Key(Qt::Key_M);
    EXPECT_FALSE(view.IsMuted());
    QWheelEvent down(QPointF(5, 5), view.mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -240),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &down);
    EXPECT_EQ(view.GetVolume(), 80) << "the wheel turns it down two steps";

    p.Key(Qt::Key_F);
    EXPECT_TRUE(view.IsFullScreen());
    p.Key(Qt::Key_Escape);
    EXPECT_FALSE(view.IsFullScreen());
    QTest::mouseDClick(&view, Qt::LeftButton);
    EXPECT_TRUE(view.IsFullScreen()) << "a double click toggles full screen";
    QTest::mouseDClick(&view, Qt::LeftButton);
    EXPECT_FALSE(view.IsFullScreen()) << "its first click already ended it";

    // A right click seeks to that fraction of the movie.
    const QRect client = view.contentsRect();
    QTest::mouseClick(&view, Qt::RightButton, Qt::NoModifier,
                      QPoint(client.x() + client.width() * 3 / 4, client.center().y()));
    EXPECT_NEAR(doc.PositionMs(), 150000.0, 1000.0);

    p.Key(Qt::Key_PageDown);
    EXPECT_EQ(frame.windowTitle(), "next.cpk - Lunavue");
    EXPECT_TRUE(doc.IsPlaying()) << "the next movie plays as this one did";
    p.Exit();
    EXPECT_NE(ReadAll(dir.File("lunavue.ini")).find("Volume=80"), std::string::npos);
}

namespace {

// A raw connection to a door, as a hostile or careless local program would make it.
int ConnectTo(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Whether the other end has closed the connection, within ms.
bool ClosedWithin(int fd, int ms) {
    for (int waited = 0; waited <= ms; waited += 10) {
        QApplication::processEvents();
        char c;
        const ssize_t n = recv(fd, &c, 1, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
            return true;
        QTest::qWait(10);
    }
    return false;
}

// Forwards from a thread of its own, so that this thread's event loop can answer; how many
// requests were taken, or -1 when no player was reached.
long ForwardWhileServing(const std::string& path, std::vector<SingleInstance::Request> requests,
                         int timeoutMs = 3000) {
    std::atomic<bool> done{false};
    SingleInstance::Forwarded result;
    std::thread client([&] {
        result = SingleInstance::Forward(path, requests, timeoutMs);
        done = true;
    });
    for (int i = 0; i < 3000 && !done.load(); ++i) {
        QApplication::processEvents();
        QTest::qWait(5);
    }
    client.join();
    return result.reached ? static_cast<long>(result.taken) : -1;
}

}  // namespace

// Names arrive as the bytes they are, whatever they hold; requests too long, connections
// that hang on, and floods of them are dropped, and the door stays open for real requests.
TEST(Door, NamesArriveWholeAndAbuseIsDropped) {
    TempDir dir;
    const std::string path = dir.File("door.socket");
    SingleInstance door;
    std::vector<SingleInstance::Request> got;
    ASSERT_TRUE(door.Listen(path, [&](const SingleInstance::Request& r) {
        got.push_back(r);
        return true;
    }));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << "only this user may connect";

    const std::string lineFeed = "/movies/two\nlines.cpk";
    const std::string latin1 = std::string("/movies/caf\xE9.cpk");  // not UTF-8
    ASSERT_EQ(ForwardWhileServing(path, {{SingleInstance::kName, lineFeed},
                                         {SingleInstance::kName, latin1},
                                         {SingleInstance::kFlag, "play"}}),
              3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].text, lineFeed);
    EXPECT_EQ(got[1].text, latin1);
    EXPECT_EQ(got[2].kind, SingleInstance::kFlag);

    // A request that says it is 300 MB long ends its connection at once.
    const int big = ConnectTo(path);
    const char header[] = {'N', 0x12, 0x00, 0x00, 0x00};
    ASSERT_GE(big, 0);
    ASSERT_EQ(send(big, header, sizeof header, MSG_NOSIGNAL), 5);
    EXPECT_TRUE(ClosedWithin(big, 2000));
    close(big);
    // More held connections than the door takes: the oldest make way for the newest, and
    // the idle ones are dropped after a few seconds.
    std::vector<int> held;
    for (int i = 0; i < 2 * SingleInstance::kMaxConnections; ++i) {
        held.push_back(ConnectTo(path));
        ASSERT_GE(held.back(), 0);
        QApplication::processEvents();
    }
    QTest::qWait(100);
    QApplication::processEvents();
    EXPECT_TRUE(ClosedWithin(held.front(), 1000)) << "the oldest made way";
    EXPECT_TRUE(ClosedWithin(held.back(), SingleInstance::kIdleMs + 2000)) << "idle: dropped";
    for (int fd : held)
        close(fd);
    got.clear();
    ASSERT_EQ(ForwardWhileServing(path, {{SingleInstance::kName, "/after.cpk"}}), 1);
    EXPECT_EQ(got.size(), 1u);
}

// Connections that trickle a byte at a time never lock the door: each request must arrive
// whole soon after its first byte, and a real start still gets in and is served.
TEST(Door, TricklingConnectionsDoNotLockTheDoor) {
    TempDir dir;
    const std::string path = dir.File("door.socket");
    SingleInstance door;
    int taken = 0;
    ASSERT_TRUE(door.Listen(path, [&](const SingleInstance::Request&) { return ++taken > 0; }));
    std::vector<int> slow;
    const char header[] = {'N', 0, 0, 0x0F, 0x00};  // a name of 3840 bytes, to come slowly
    for (int i = 0; i < SingleInstance::kMaxConnections; ++i) {
        slow.push_back(ConnectTo(path));
        ASSERT_EQ(send(slow.back(), header, sizeof header, MSG_NOSIGNAL), 5);
    }
    QApplication::processEvents();
    EXPECT_EQ(ForwardWhileServing(path, {{SingleInstance::kName, "/real.cpk"}}, 2000), 1);
    // Trickling on: a byte every half second does not keep a request alive.
    for (int t = 0; t < 6; ++t) {
        for (int fd : slow)
            send(fd, "x", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        QTest::qWait(500);
    }
    for (int fd : slow) {
        EXPECT_TRUE(ClosedWithin(fd, 100))
            << "a request may not take longer than " << SingleInstance::kRequestMs << " ms";
        close(fd);
    }
    EXPECT_EQ(taken, 1);
}

// Many names from one start all arrive and are all answered, however many there are; past
// what the player takes, the rest are refused in their answers; names longer than any path
// end the connection before they cost anything.
TEST(Door, ManyNamesAreAllAnsweredAndBounded) {
    TempDir dir;
    const std::string path = dir.File("door.socket");
    SingleInstance door;
    size_t got = 0;
    const size_t room = 5000;
    ASSERT_TRUE(door.Listen(path, [&](const SingleInstance::Request&) { return ++got <= room; }));
    std::vector<SingleInstance::Request> names;
    for (int i = 0; i < 1000; ++i)
        names.push_back({SingleInstance::kName, "/movies/number-" + std::to_string(i) + ".cpk"});
    EXPECT_EQ(ForwardWhileServing(path, names), 1000) << "every one taken and answered";
    names.clear();
    for (int i = 0; i < 10000; ++i)
        names.push_back({SingleInstance::kName, "/movies/more-" + std::to_string(i) + ".cpk"});
    got = 0;
    EXPECT_EQ(ForwardWhileServing(path, names, 5000), static_cast<long>(room))
        << "the rest refused, and answered";
    EXPECT_EQ(got, 10000u);
    names.assign(100, {SingleInstance::kName, std::string(64 * 1024, 'x')});
    got = 0;
    EXPECT_EQ(ForwardWhileServing(path, names), 0) << "refused at the first, the rest not read";
    EXPECT_EQ(got, 0u);
}

// Another account listening where this user's player would be never receives a name: the
// start plays its files itself. (Switching users needs root, as CI runs.)
TEST(Door, AnotherUserNeverReceivesANameAndPrivateFoldersAreChecked) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    TempDir dir;
    chmod(dir.Path().c_str(), 0777);
    const std::string path = dir.File("door.socket");
    int ready[2], heard[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(heard), 0);
    const pid_t other = fork();
    if (other == 0) {
        // The other account: listens at the place and reports whatever arrives.
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 4) != 0)
            _exit(3);
        chmod(path.c_str(), 0777);
        (void)!write(ready[1], "r", 1);
        const int c = accept(fd, nullptr, nullptr);
        char buf[256];
        const ssize_t n = c >= 0 ? recv(c, buf, sizeof buf, 0) : -1;
        (void)!write(heard[1], n > 0 ? "y" : "n", 1);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_FALSE(
        SingleInstance::Forward(path, {{SingleInstance::kName, "/secret/name.cpk"}}, 2000).reached);
    ASSERT_EQ(read(heard[0], &c, 1), 1);
    EXPECT_EQ(c, 'n') << "the other account received bytes";
    int status = 0;
    waitpid(other, &status, 0);

    // A runtime folder open to others, or someone else's, is not used for the door.
    setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
    EXPECT_NE(SingleInstance::PrivateFolder(), dir.Path().string());
    chmod(dir.Path().c_str(), 0700);
    EXPECT_EQ(SingleInstance::PrivateFolder(), dir.Path().string());
    unsetenv("XDG_RUNTIME_DIR");
}

// A door left behind by a player that crashed is taken over; one a running player answers
// at is not.
TEST(Door, AStaleDoorIsTakenOverAndALiveOneIsNot) {
    TempDir dir;
    const std::string path = dir.File("door.socket");
    {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        close(fd);  // the socket file stays, and nobody answers at it
    }
    SingleInstance first;
    EXPECT_TRUE(first.Listen(path, [](const SingleInstance::Request&) { return true; }));
    SingleInstance second;
    EXPECT_FALSE(second.Listen(path, [](const SingleInstance::Request&) { return true; }));
}

// A refused movie's box says what the player has always said, then names the file and the
// reason; names from another folder are kept as full paths, in the queue and the recent list.
TEST(Doors, RefusalsNameTheFileAndNamesAreAbsolute) {
    TempDir dir;
    Program p(dir);
    QStringList boxes;
    p.app->runDialog = [&](QDialog& d) {
        if (auto* box = qobject_cast<QMessageBox*>(&d)) {
            boxes << box->text();
            EXPECT_EQ(box->windowTitle(), "Lunavue") << "the program's name";
        }
    };
    WriteAll(dir.File("notamovie.cpk"), "hello, this is a text and not a movie at all\n");
    p.app->OpenDocumentFile("/nonexistent.cpk");
    p.app->OpenDocumentFile(dir.File("notamovie.cpk"));
    p.app->OpenDocumentFile(dir.Path().string());
    for (int i = 0; i < 3; ++i)
        p.Idle();
    ASSERT_EQ(boxes.size(), 3);
    EXPECT_EQ(boxes[0], QString::fromUtf8("ﾌｧｲﾙが開けません\n\n/nonexistent.cpk\n") +
                            QString::fromUtf8("ファイルを開けません: ") +
                            QString::fromLocal8Bit(std::strerror(ENOENT)));
    EXPECT_EQ(boxes[1],
              QString::fromUtf8("ﾌｧｲﾙが壊れています\n\n") +
                  QString::fromStdString(dir.File("notamovie.cpk")) +
                  QString::fromUtf8("\nFILM ムービーではありません: FILM ヘッダーがありません"));
    EXPECT_TRUE(boxes[2].contains(QString::fromUtf8("通常のファイルではありません")))
        << boxes[2].toStdString();

    // A relative name, from the folder this start runs in.
    const std::string movie = NumberedMovie(dir, "t4.cpk", 8, 8, 2);
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    p.app->OpenDocumentFile("t4.cpk");
    std::filesystem::current_path("/");
    p.Idle();
    std::filesystem::current_path(before);
    ASSERT_TRUE(p.Doc().IsOpen());
    EXPECT_EQ(p.app->Recent().Entries().front(), dir.File("t4.cpk"));

    // A name that arrives while a movie is open waits, and the message pane says so.
    p.app->OnDDECommand(movie);
    QApplication::processEvents();  // once for a run of names
    EXPECT_EQ(p.Frame().PaneText(0), QString::fromUtf8("再生待ちに追加: t4.cpk (待ち 1 件)"));
    EXPECT_EQ(p.Queue(), std::vector<std::string>{movie});
}

// A message wider than the picture (a long name queued, at Normal size) loses its middle,
// never its ends, over the picture and in the pane; both keep it whole for a screen reader.
TEST(Doors, LongMessagesKeepTheirEnds) {
    TempDir dir;
    Program p(dir);
    p.app->OpenDocumentFile(NumberedMovie(dir, "wide.cpk", 320, 224, 5));
    p.Idle();
    ASSERT_TRUE(p.Doc().IsOpen());
    p.Frame().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p.Frame()));
    p.app->OnDDECommand(Movie(dir, std::string(120, 'n') + "-end.cpk"));
    QApplication::processEvents();
    const QString said = p.View().OnPicture();
    const QString drawn = p.View().OnPictureDrawn();
    EXPECT_TRUE(said.endsWith(QString::fromUtf8("-end.cpk (待ち 1 件)"))) << said.toStdString();
    EXPECT_LT(drawn.size(), said.size());
    EXPECT_TRUE(drawn.startsWith(QString::fromUtf8("再生待ちに追加"))) << drawn.toStdString();
    EXPECT_TRUE(drawn.endsWith(QString::fromUtf8("件)"))) << drawn.toStdString();
    EXPECT_EQ(p.Frame().PaneText(0), said);
}

// Texts follow the desktop's language: Japanese in a Japanese or the plain C locale (as the
// player has always shown them), English in any other.
TEST(Doors, TextsFollowTheLanguage) {
    struct Case {
        const char* lang;
        const char* untitled;
        const char* damaged;
        const char* cancel;  // Qt's own button, in its dialogs
    };
    const char* saved = std::getenv("LANG");
    const std::string keep = saved != nullptr ? saved : "";
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    for (const Case& c : {Case{"en_GB.UTF-8", "Untitled", "The file is damaged", "Cancel"},
                          Case{"de_DE", "Untitled", "The file is damaged", "Cancel"},
                          Case{"ja_JP.UTF-8", "無題", "ﾌｧｲﾙが壊れています", "キャンセル"},
                          Case{"C", "無題", "ﾌｧｲﾙが壊れています", "キャンセル"},
                          Case{"POSIX", "無題", "ﾌｧｲﾙが壊れています", "キャンセル"}}) {
        SCOPED_TRACE(c.lang);
        setenv("LANG", c.lang, 1);
        InstallTranslation(*qApp);
        TempDir dir;
        Program p(dir);
        EXPECT_EQ(p.Frame().windowTitle(), QString::fromUtf8(c.untitled) + " - Lunavue");
        EXPECT_EQ(Text(messages::kDamaged, "Message"), QString::fromUtf8(c.damaged));
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"),
                  QString::fromUtf8(c.cancel))
            << "Qt's dialogs in the same language";
        // Which box each refusal gets.
        EXPECT_EQ(RefusalMessage(OpenError::kNotCinepak), nullptr) << "refused without a box";
        EXPECT_STREQ(RefusalMessage(OpenError::kOutOfMemory), messages::kNoMemory);
        EXPECT_STREQ(RefusalMessage(OpenError::kDataPastEnd), messages::kDamaged);
        EXPECT_STREQ(RefusalMessage(OpenError::kNotRegularFile), messages::kCannotOpen);
        EXPECT_STREQ(RefusalMessage(OpenError::kThreeDoStream), messages::kNoCodec);
    }
    setenv("LC_ALL", "en_US.UTF-8", 1);
    EXPECT_FALSE(WantsJapanese()) << "LC_ALL comes first";
    unsetenv("LC_ALL");
    setenv("LANG", keep.c_str(), 1);
    InstallTranslation(*qApp);
}

// A run of names that do not open shows a box for each of the first few and one for all the
// rest; the queue holds at most kMaxQueue names and says once how many it turned away.
TEST(Doors, RunsOfRefusalsAndAFullQueueAreToldOnce) {
    TempDir dir;
    Program p(dir);
    QStringList boxes;
    p.app->runDialog = [&](QDialog& d) {
        if (auto* box = qobject_cast<QMessageBox*>(&d))
            boxes << box->text();
    };
    for (int i = 0; i < 10; ++i)
        p.app->OpenDocumentFile("/nonexistent-" + std::to_string(i) + ".cpk");
    for (int i = 0; i < 12; ++i)
        p.Idle();
    ASSERT_EQ(boxes.size(), 4);
    EXPECT_TRUE(boxes[3].startsWith(QString::fromUtf8("他に 7 本"))) << boxes[3].toStdString();

    p.app->OpenDocumentFile(NumberedMovie(dir, "m.cpk", 8, 8, 2));
    p.Idle();
    ASSERT_TRUE(p.Doc().IsOpen());
    for (size_t i = 0; i < CTovrinDoc::kMaxQueue + 5; ++i)
        p.app->OnDDECommand("/queued-" + std::to_string(i) + ".cpk");
    QApplication::processEvents();
    EXPECT_EQ(p.Doc().Queue().Size(), CTovrinDoc::kMaxQueue);
    EXPECT_EQ(p.Frame().PaneText(0), QString::fromUtf8("再生待ちが一杯です: 5 件は追加されません"));
}

// What a key does shows over the picture as in the message pane; the bar under the picture
// follows the movie and takes it where it is clicked or dragged.
TEST(Doors, FeedbackOnThePictureAndThePositionBar) {
    TempDir dir;
    Program p(dir);
    CMainFrame& frame = p.Frame();
    frame.show();
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    CTovrinView& view = p.View();
    PositionBar& bar = *frame.Bar();
    QSlider& slider = *bar.Slider();
    EXPECT_FALSE(bar.isEnabled()) << "no movie, nothing to move";
    EXPECT_FALSE(view.FullScreenBar()->isVisible());

    // A 20-second movie of numbered frames, 10 a second.
    p.app->OpenDocumentFile(NumberedMovie(dir, "twenty.cpk", 32, 16, 200));
    p.Idle();
    CTovrinDoc& doc = p.Doc();
    ASSERT_TRUE(doc.IsOpen());
    p.Key(Qt::Key_Space);
    EXPECT_EQ(view.OnPicture(), QString::fromUtf8("再生")) << "the state word, translated";
    p.Key(Qt::Key_Space);
    EXPECT_EQ(view.OnPicture(), QString::fromUtf8("一時停止"));
    p.Key(Qt::Key_9);
    EXPECT_EQ(view.OnPicture(), frame.PaneText(0));
    EXPECT_EQ(view.OnPicture(), QString::fromUtf8("音量 90%"));
    p.Key(Qt::Key_M);
    EXPECT_EQ(view.OnPicture(), frame.PaneText(0));
    p.Key(Qt::Key_M);
    p.Key(Qt::Key_Right);
    EXPECT_TRUE(view.OnPicture().endsWith(" / 0:20")) << view.OnPicture().toStdString();
    EXPECT_EQ(view.OnPicture(), frame.PaneText(0));
    QTest::qWait(OnScreenDisplay::kShownMs + 300);
    EXPECT_EQ(view.OnPicture(), QString()) << "gone after two seconds";

    // The bar sits under the picture, as wide as it, and the picture keeps its exact sizes.
    for (int mode : {cmd::kNormal, cmd::kDouble, cmd::kTriple, cmd::kNormal}) {
        p.Run(mode);
        QApplication::processEvents();
        const int scale = mode == cmd::kTriple ? 3 : mode == cmd::kDouble ? 2 : 1;
        EXPECT_EQ(p.Client(), QSize(32 * scale, 16 * scale));
        EXPECT_TRUE(bar.isVisible());
        EXPECT_GE(bar.geometry().top(), view.geometry().bottom());
    }
    frame.resize(640, 480);  // a bar wide enough to aim at
    QApplication::processEvents();
    EXPECT_TRUE(bar.isEnabled());

    // A click at the middle lands at the middle; the shown frame is the one of that time.
    auto xAt = [&](double fraction) {
        for (int x = 0; x < slider.width(); ++x) {
            if (bar.MsAt(x) >= fraction * 20000)
                return x;
        }
        return slider.width() - 1;
    };
    const int y = slider.height() / 2;
    QTest::mouseClick(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(xAt(0.5), y));
    p.Idle();
    EXPECT_NEAR(doc.PositionMs(), 10000.0, 1000.0);
    EXPECT_NEAR(doc.CurrentFrame()[0], 1 + doc.PositionMs() / 100, 1);
    EXPECT_TRUE(doc.IsPaused()) << "a click does not start a paused movie";

    // A drag from 10% to 90% takes the picture along and ends at 90%.
    QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(xAt(0.1), y));
    p.Idle();
    EXPECT_TRUE(bar.Dragging());
    EXPECT_NEAR(doc.PositionMs(), 2000.0, 1000.0);
    QMouseEvent move(QEvent::MouseMove, QPointF(xAt(0.5), y),
                     slider.mapToGlobal(QPointF(xAt(0.5), y)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&slider, &move);
    p.Idle();
    EXPECT_NEAR(doc.PositionMs(), 10000.0, 1000.0) << "the picture follows the hand";
    EXPECT_NEAR(doc.CurrentFrame()[0], 1 + doc.PositionMs() / 100, 1);
    QMouseEvent further(QEvent::MouseMove, QPointF(xAt(0.9), y),
                        slider.mapToGlobal(QPointF(xAt(0.9), y)), Qt::NoButton, Qt::LeftButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&slider, &further);
    QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(xAt(0.9), y));
    p.Idle();
    EXPECT_FALSE(bar.Dragging());
    EXPECT_NEAR(doc.PositionMs(), 18000.0, 1000.0);

    // The wheel over the bar turns the volume, as over the picture, and leaves the position.
    QWheelEvent wheel(QPointF(5, y), slider.mapToGlobal(QPointF(5, y)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&slider, &wheel);
    EXPECT_EQ(view.OnPicture(), QString::fromUtf8("音量 100%"));
    EXPECT_NEAR(doc.PositionMs(), 18000.0, 1000.0);

    // Playing, the bar advances with the movie.
    p.Key(Qt::Key_Home);
    p.Key(Qt::Key_Space);
    ASSERT_TRUE(doc.IsPlaying());
    p.Idle();
    const int before = slider.value();
    for (int i = 0; i < 150; ++i) {
        p.Idle(1);
        QTest::qWait(10);
    }
    EXPECT_GT(slider.value(), before);
    EXPECT_NEAR(slider.value(), doc.PositionMs() * PositionBar::kSteps / 20000.0,
                PositionBar::kSteps / 20.0);

    // In full screen, the bar comes over the picture when the mouse moves.
    p.Key(Qt::Key_F);
    ASSERT_TRUE(view.IsFullScreen());
    EXPECT_FALSE(view.FullScreenBar()->isVisible());
    QTest::mouseMove(&view, view.rect().center());
    QTest::mouseMove(&view, view.rect().center() + QPoint(5, 5));
    QApplication::processEvents();
    EXPECT_TRUE(view.FullScreenBar()->isVisible());
    EXPECT_TRUE(view.FullScreenBar()->isEnabled());
    // Sized to the screen: its text no smaller than the menus', and a fiftieth of the
    // picture's height (which the bars around it leave smaller than the screen's).
    const int text = QFontInfo(view.FullScreenBar()->font()).pixelSize();
    EXPECT_GE(text, QFontInfo(QApplication::font("QMenu")).pixelSize());
    EXPECT_GE(text * 70, view.height());
    EXPECT_GE(view.FullScreenBar()->height(), QFontMetrics(view.FullScreenBar()->font()).height());
    p.Key(Qt::Key_Escape);
    EXPECT_FALSE(view.FullScreenBar()->isVisible());
    p.Exit();
}

// The queue in a window of its own: what waits, in order, and what plays; the keys there
// change what comes next, and a name arriving from anywhere shows at once.
TEST(Doors, TheQueueWindowAndOpenAndPlay) {
    TempDir dir;
    Program p(dir);
    CMainFrame& frame = p.Frame();
    frame.show();
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    const std::string a = Movie(dir, "a.cpk"), b = Movie(dir, "b.cpk"), c = Movie(dir, "c.cpk"),
                      d = Movie(dir, "d.cpk");
    for (const std::string& name : {a, b, c, d})
        p.app->OpenDocumentFile(name);
    p.Idle();
    CTovrinDoc& doc = p.Doc();
    ASSERT_EQ(frame.windowTitle(), "a.cpk - Lunavue");

    p.Key(Qt::Key_L, Qt::ControlModifier);
    QueueWindow* window = p.app->Queue();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    QListWidget& list = *window->List();
    auto rows = [&] {
        p.Idle();
        QStringList r;
        for (int i = 0; i < list.count(); ++i)
            r << list.item(i)->text().section(QStringLiteral("  "), 0, 0);  // the name alone
        return r;
    };
    EXPECT_EQ(rows(), (QStringList{QString::fromUtf8("\u25B6 a.cpk"), "b.cpk", "c.cpk", "d.cpk"}));
    // Each name with its length once found in the background, the title with the count and
    // the total (three movies of 0:05 each; the Japanese texts).
    auto shows = [&](QListWidgetItem* item, const QString& text) {
        return QTest::qWaitFor([&] { return item->text() == text; }, 10000);
    };
    EXPECT_TRUE(shows(list.item(1), QStringLiteral("b.cpk  0:05")))
        << list.item(1)->text().toStdString();
    EXPECT_TRUE(shows(list.item(0), QString::fromUtf8("\u25B6 a.cpk  0:05")));
    const QString title = QString::fromUtf8("再生待ち: 3 件、合計 0:15");
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->windowTitle() == title; }, 10000))
        << window->windowTitle().toStdString();
    frame.activateWindow();  // the waits let the queue window take the focus
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));

    auto press = [&](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(&list, k, m);
        QApplication::processEvents();
    };
    list.setCurrentRow(0);
    press(Qt::Key_Delete);
    EXPECT_EQ(p.Queue(), (std::vector<std::string>{b, c, d})) << "the playing row stays";
    list.setCurrentRow(3);  // d
    press(Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(p.Queue(), (std::vector<std::string>{b, d, c}));
    EXPECT_EQ(list.currentRow(), 2) << "the moved name stays chosen";
    press(Qt::Key_Up, Qt::AltModifier);
    press(Qt::Key_Up, Qt::AltModifier);  // already first: stays
    EXPECT_EQ(p.Queue(), (std::vector<std::string>{d, b, c}));
    list.setCurrentRow(2);  // b
    press(Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(p.Queue(), (std::vector<std::string>{d, c, b}));
    list.setCurrentRow(2);  // c
    press(Qt::Key_Delete);
    EXPECT_EQ(p.Queue(), (std::vector<std::string>{d, b}));
    EXPECT_EQ(rows(), (QStringList{QString::fromUtf8("\u25B6 a.cpk"), "d.cpk", "b.cpk"}));

    // Enter plays the chosen one now; the one playing waits at the front, to go on where it
    // was left, and the rest keep their order.
    p.Run(cmd::kPlay);
    ASSERT_TRUE(doc.IsPlaying());
    list.setCurrentRow(2);  // b
    press(Qt::Key_Return);
    EXPECT_EQ(frame.windowTitle(), "b.cpk - Lunavue");
    EXPECT_TRUE(doc.IsPlaying());
    EXPECT_EQ(p.Queue(), (std::vector<std::string>{a, d}));
    EXPECT_EQ(rows(), (QStringList{QString::fromUtf8("\u25B6 b.cpk"), "a.cpk", "d.cpk"}));

    // A name handed over by a second start (or File > Open) shows as it arrives.
    p.app->OpenDocumentFile(c);
    EXPECT_EQ(rows(), (QStringList{QString::fromUtf8("\u25B6 b.cpk"), "a.cpk", "d.cpk", "c.cpk"}));
    // Files dropped on the window join the queue at its end.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(a))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &drop);
    EXPECT_EQ(p.Queue(), (std::vector<std::string>{a, d, c, a}));

    // Open and Play: the chosen files go first and the first of them plays at once; the one
    // interrupted waits behind them.
    const std::string e = Movie(dir, "e.cpk"), f = Movie(dir, "f.cpk");
    p.app->chooseFiles = [&] {
        return QStringList{QString::fromStdString(e), QString::fromStdString(f)};
    };
    frame.activateWindow();  // the keys of the main window, where the queue window took them
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    p.Key(Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(frame.windowTitle(), "e.cpk - Lunavue");
    EXPECT_TRUE(doc.IsPlaying());
    EXPECT_EQ(p.Queue(), (std::vector<std::string>{f, b, a, d, c, a}));
    EXPECT_EQ(rows().front(), QString::fromUtf8("\u25B6 e.cpk"));
    EXPECT_EQ(rows().size(), 7);

    // Esc closes it; shown again, it is where it was moved to.
    window->setGeometry(100, 120, 300, 250);
    QApplication::processEvents();
    const QRect kept = window->geometry();
    QTest::keyClick(&list, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    p.Key(Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry(), kept);
    // Its place and size are kept for the next run.
    p.Exit();
    const std::string ini = ReadAll(dir.File("lunavue.ini"));
    EXPECT_NE(ini.find("QueueWidth=" + std::to_string(kept.width())), std::string::npos) << ini;
    EXPECT_NE(ini.find("QueueX=" + std::to_string(kept.x())), std::string::npos) << ini;
}

// What a hostile hand leaves: a queue at its limit edited row by row (a name taken out
// touches its own row, not the ten thousand others), names that would pretend shown with
// their controls and reordering marks visible, a saved queue-window place and size from
// screens that are gone brought back whole, and doors that would leave the runtime folder or
// not fit made short inside it.
TEST(Doors, HostileQueuesPlacesAndDoors) {
    TempDir dir;
    Program p(dir, "[Tovrin]\nQueueX=-3000\nQueueY=-3000\nQueueWidth=65536\nQueueHeight=65536\n");
    CTovrinDoc& doc = p.Doc();
    p.app->runDialog = [](QDialog& d) { d.reject(); };
    p.app->OpenDocumentFile(Movie(dir, "playing.cpk"));
    p.Idle();  // a movie loaded, not playing: the queue waits
    ASSERT_TRUE(doc.IsOpen());
    for (size_t i = 0; i + 2 < CTovrinDoc::kMaxQueue; ++i)
        ASSERT_TRUE(doc.AppendToQueue(dir.File("n" + std::to_string(i) + ".cpk")));
    ASSERT_TRUE(doc.AppendToQueue(dir.File("a\nb.cpk")));
    ASSERT_TRUE(doc.AppendToQueue(dir.File("\xE2\x80\xAEkpc.exe")));  // U+202E first
    p.Key(Qt::Key_L, Qt::ControlModifier);
    QueueWindow* window = p.app->Queue();
    ASSERT_NE(window, nullptr);
    QListWidget& list = *window->List();
    ASSERT_EQ(list.count(), static_cast<int>(CTovrinDoc::kMaxQueue) + 1) << "the playing row too";
    EXPECT_EQ(list.item(list.count() - 2)->text(), QString::fromUtf8("a\u240Ab.cpk"));
    EXPECT_EQ(list.item(list.count() - 1)->text(), QString::fromUtf8("\\u202Ekpc.exe"));

    QListWidgetItem* far = list.item(5000);
    QListWidgetItem* near = list.item(2);
    list.setCurrentRow(3);
    QTest::keyClick(&list, Qt::Key_Delete);
    QApplication::processEvents();
    EXPECT_EQ(doc.Queue().Size(), CTovrinDoc::kMaxQueue - 1);
    EXPECT_EQ(list.item(4999), far) << "the rows after it are the same rows, moved up";
    EXPECT_EQ(list.item(2), near) << "and those before it stay";
    EXPECT_EQ(list.currentRow(), 3);

    const QRect area = window->screen()->availableGeometry();
    EXPECT_TRUE(area.contains(window->geometry())) << "the saved place and size are brought onto "
                                                      "the screen";
    window->SaveSettings();
    EXPECT_LE(ReadSetting(settings::kQueueWidth), area.width());

    const std::string folder = dir.File("runtime");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const char* const kInstances[] = {"../../../../tmp/x", "a/b", ".."};
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    const std::string display = std::getenv("DISPLAY") != nullptr ? std::getenv("DISPLAY") : "";
    const std::string instance = std::getenv("LUNAVUE_INSTANCE");
    for (const std::string& name : std::vector<std::string>{kInstances[0], kInstances[1],
                                                            kInstances[2], std::string(120, 'i')}) {
        setenv("LUNAVUE_INSTANCE", name.c_str(), 1);
        const std::string door = SingleInstance::DefaultPath();
        EXPECT_EQ(door.rfind(folder + "/lunavue-", 0), 0u) << name << ": " << door;
        EXPECT_EQ(door.find('/', folder.size() + 1), std::string::npos) << door;
        EXPECT_LT(door.size(), sizeof(sockaddr_un::sun_path)) << door;
    }
    setenv("LUNAVUE_INSTANCE", "plain", 1);
    setenv("DISPLAY", (":" + std::string(200, '9')).c_str(), 1);
    EXPECT_LT(SingleInstance::DefaultPath().size(), sizeof(sockaddr_un::sun_path));
    EXPECT_EQ(SingleInstance::DefaultPath(), SingleInstance::DefaultPath()) << "the same name";
    setenv("DISPLAY", ":5", 1);
    EXPECT_EQ(SingleInstance::DefaultPath(), folder + "/plain-:5.socket") << "plain names stay";
    setenv("LUNAVUE_INSTANCE", instance.c_str(), 1);
    if (display.empty())
        unsetenv("DISPLAY");
    else
        setenv("DISPLAY", display.c_str(), 1);
    unsetenv("XDG_RUNTIME_DIR");
}

// Go to Time lands on the frame of the time typed (a text that is no time is said, and
// moves nothing); Save Frame writes the picture shown, at the movie's own size, into the
// Pictures folder under the movie's name and the time, never over another; Copy Frame puts
// the same picture on the clipboard.
TEST(Doors, GoToATimeAndKeepThePicture) {
    TempDir dir;
    Program p(dir);
    const std::string movie = NumberedMovie(dir, "m.cpk", 32, 16, 200);  // 20 s
    p.app->OpenDocumentFile(movie);
    p.Idle();
    ASSERT_TRUE(p.Doc().IsOpen());
    QString typed;
    p.app->runDialog = [&](QDialog& d) {
        if (auto* input = dynamic_cast<QInputDialog*>(&d)) {
            // Wide enough that a window manager need not shorten its title.
            EXPECT_GT(input->sizeHint().width(),
                      input->fontMetrics().horizontalAdvance(input->windowTitle()) + 100);
            input->setTextValue(typed);
            input->accept();
        }
    };
    typed = "0:12";
    p.Run(cmd::kGoToTime);
    EXPECT_EQ(p.Doc().PositionMs(), 12000u);
    typed = "soon";
    p.Run(cmd::kGoToTime);
    EXPECT_EQ(p.Doc().PositionMs(), 12000u);
    EXPECT_EQ(p.Frame().PaneText(0), QString::fromUtf8("時間ではありません: soon"));
    typed = "15.5";
    p.Run(cmd::kGoToTime);
    EXPECT_EQ(p.Doc().PositionMs(), 15500u);

    const QByteArray home = qgetenv("HOME"), config = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QByteArray::fromStdString(dir.Path()));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.File("config")));
    p.Run(cmd::kSaveFrame);
    p.Run(cmd::kSaveFrame);
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", config);
    const QImage saved(QString::fromStdString(dir.File("Pictures/m 0-15.500.png")));
    ASSERT_FALSE(saved.isNull()) << p.Frame().PaneText(0).toStdString();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(dir.File("Pictures/m 0-15.500 (2).png"))))
        << "the second save kept the first";
    ASSERT_EQ(saved.size(), QSize(32, 16));
    const uint8_t* bits = p.Doc().CurrentFrame();
    const size_t stride = PictureStride(32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const uint8_t* bgr = bits + stride * static_cast<size_t>(15 - y) + 3 * x;
            ASSERT_EQ(saved.pixel(x, y), qRgb(bgr[2], bgr[1], bgr[0])) << x << "," << y;
        }
    p.Run(cmd::kCopyFrame);
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
              saved.convertToFormat(QImage::Format_RGB32));
}

// Hovering the position bar shows the time under the pointer above it, and a picture of
// that moment, decoded in the background: at a quarter of a 20 s movie, "0:05" and the
// frame of 5 s; it goes when the pointer leaves, and the playing movie is not moved.
TEST(Doors, TheBarShowsTheMomentUnderThePointer) {
    TempDir dir;
    Program p(dir);
    const std::string movie = NumberedMovie(dir, "m.cpk", 320, 224, 200);  // 20 s, grey i
    p.app->OpenDocumentFile(movie);
    p.Idle();
    ASSERT_TRUE(p.Doc().IsOpen());
    p.Frame().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p.Frame()));
    PositionBar& bar = *p.Frame().Bar();
    QWidget& slider = *bar.Slider();
    int x = 0;
    while (x < slider.width() && bar.MsAt(x) < 5000)
        ++x;
    const uint32_t at = bar.MsAt(x);
    ASSERT_LT(at, 5100u) << "a point of the slider at 0:05";
    QMouseEvent move(QEvent::MouseMove, QPointF(x, slider.height() / 2.0),
                     slider.mapToGlobal(QPointF(x, slider.height() / 2.0)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&slider, &move);
    EXPECT_EQ(bar.PreviewTime(), "0:05");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bar.PreviewPicture().isNull(); }, 10000));
    const QImage preview = bar.PreviewPicture();
    EXPECT_EQ(p.Doc().PositionMs(), 0u) << "hovering moves nothing";
    p.Doc().Seek(at);
    const uint8_t* bits = p.Doc().CurrentFrame();
    EXPECT_EQ(QColor(preview.pixel(preview.width() / 2, preview.height() / 2)),
              QColor(bits[2], bits[1], bits[0]));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&slider, &leave);
    EXPECT_TRUE(bar.PreviewTime().isEmpty());
}

// A movie quit midway opens the next run where it was left, and says so; with Resume=0 in
// the settings it opens at 0:00 and nothing is kept.
TEST(Doors, TheNextRunGoesOnWhereTheMovieWasLeft) {
    TempDir dir;
    const std::string movie = NumberedMovie(dir, "m.cpk", 32, 16, 300);  // 30 s
    {
        Program p(dir);
        p.app->OpenDocumentFile(movie);
        p.Idle();
        p.Doc().Seek(10000);
    }
    {
        Program p(dir);
        p.app->OpenDocumentFile(movie);
        p.Idle();
        EXPECT_EQ(p.Doc().PositionMs(), 10000u);
        EXPECT_EQ(p.Frame().PaneText(0),
                  QString::fromUtf8("0:10 から再開しました \u2014 Home で最初から"));
        p.Run(cmd::kSeekStart);
        EXPECT_EQ(p.Doc().PositionMs(), 0u) << "Home starts over";
    }
    EXPECT_TRUE(std::filesystem::exists(dir.File("lunavue.resume")));
    {
        Program p(dir);
        p.app->OpenDocumentFile(movie);
        p.Idle();
        EXPECT_EQ(p.Doc().PositionMs(), 0u) << "left at its start: forgotten";
        p.Doc().Seek(15000);
    }
    std::string ini = ReadAll(dir.File("lunavue.ini"));
    ini.replace(ini.find("[Tovrin]"), 8, "[Tovrin]\nResume=0");
    WriteAll(dir.File("lunavue.ini"), ini);
    {
        Program p(dir);
        p.app->OpenDocumentFile(movie);
        p.Idle();
        EXPECT_EQ(p.Doc().PositionMs(), 0u) << "turned off";
    }
}
