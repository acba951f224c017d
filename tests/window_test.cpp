#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include "EngineFakes.h"
#include "FilmBuilder.h"
#include "Fixtures.h"
#include "ProgramFixture.h"
#include "TestUtil.h"
#include "app/CMainFrame.h"
#include "app/CTovrinApp.h"
#include "app/ErrorTexts.h"
#include "display/CTovrinView.h"
#include "framework/Translation.h"
#include "platform/profile/Settings.h"
#include "res/CommandIds.h"

using namespace lunavue;
using namespace lunavue::test;

namespace {

// The program started in this process, with a settings file of its own.

std::string Movie(TempDir& dir, const std::string& name, int w, int h, int frames = 30) {
    return NumberedMovie(dir, name, w, h, frames);
}

}  // namespace

TEST(Window, CommandStatesInEachEngineState) {
    TempDir dir;
    Program p(dir);
    auto enabled = [&](int id) { return p.State(id).enabled; };
    // Empty: Play, Stop, Pause and Information are off; the rest always on.
    EXPECT_FALSE(enabled(cmd::kPlay));
    EXPECT_FALSE(enabled(cmd::kStop));
    EXPECT_FALSE(enabled(cmd::kPause));
    EXPECT_FALSE(enabled(cmd::kInformation));
    for (int id : {cmd::kOpen, cmd::kExit, cmd::kAbout, cmd::kFileOpen, cmd::kNormal, cmd::kDouble,
                   cmd::kTriple, cmd::kMaximum, cmd::kLoop, cmd::kFullScreen, cmd::kDirectDraw,
                   cmd::kAspectCorrect}) {
        EXPECT_TRUE(enabled(id)) << id;
    }
    EXPECT_EQ(p.Frame().windowTitle(), QString::fromUtf8("無題 - Lunavue"));
    EXPECT_EQ(p.Frame().size(), QSize(332, 319));

    p.app->OpenDocumentFile(Movie(dir, "intro.cpk", 320, 224));
    p.Idle();
    ASSERT_TRUE(p.Doc().IsOpen());
    EXPECT_EQ(p.Frame().windowTitle(), "intro.cpk - Lunavue");
    EXPECT_TRUE(enabled(cmd::kPlay));
    EXPECT_FALSE(enabled(cmd::kStop));
    EXPECT_TRUE(enabled(cmd::kInformation));
    p.app->Router().Execute(cmd::kPlay);
    EXPECT_FALSE(enabled(cmd::kPlay));
    EXPECT_TRUE(enabled(cmd::kStop));
    EXPECT_TRUE(enabled(cmd::kPause));
    EXPECT_TRUE(enabled(cmd::kInformation));
    p.app->Router().Execute(cmd::kPause);
    EXPECT_FALSE(enabled(cmd::kPlay));
    EXPECT_TRUE(enabled(cmd::kStop));
    EXPECT_FALSE(p.State(cmd::kPause).checked) << "Pause is never checked";
    p.app->Router().Execute(cmd::kStop);
    EXPECT_TRUE(enabled(cmd::kPlay));
    EXPECT_FALSE(enabled(cmd::kPause));

    // Toolbar buttons follow in idle time.
    p.app->OnIdle(0);
    EXPECT_TRUE(p.Frame().ToolAction(cmd::kPlay)->isEnabled());
    EXPECT_FALSE(p.Frame().ToolAction(cmd::kStop)->isEnabled());
    EXPECT_TRUE(p.Frame().ToolAction(cmd::kNormal)->isChecked());
    EXPECT_FALSE(p.Frame().ToolAction(cmd::kDouble)->isChecked());
    p.Exit();
}

TEST(Window, SizeModesAndAspectCorrection) {
    TempDir dir;
    Program p(dir);
    p.app->Router().Execute(cmd::kNormal);
    EXPECT_EQ(p.Client(), QSize(320, 224)) << "before any movie";
    // The test's screen is 800 x 600: Triple does not fit it, Double does.
    p.app->Router().Execute(cmd::kTriple);
    EXPECT_EQ(p.Client(), QSize(640, 448));
    EXPECT_TRUE(p.State(cmd::kTriple).checked) << "the setting stays as chosen";

    p.app->OpenDocumentFile(Movie(dir, "m.cpk", 320, 224));
    p.Idle();
    EXPECT_EQ(p.Client(), QSize(640, 448)) << "opening applies the size mode";
    p.app->Router().Execute(cmd::kAspectCorrect);
    EXPECT_EQ(p.Client(), QSize(640, 480));
    p.app->Router().Execute(cmd::kNormal);
    EXPECT_EQ(p.Client(), QSize(320, 240));
    p.app->Router().Execute(cmd::kDouble);
    EXPECT_EQ(p.Client(), QSize(640, 480));
    EXPECT_TRUE(p.State(cmd::kDouble).checked);
    EXPECT_FALSE(p.State(cmd::kNormal).checked);
    EXPECT_TRUE(p.State(cmd::kAspectCorrect).checked);

    // A hand-resized window snaps back to the exact multiple.
    p.Frame().resize(500, 500);
    p.app->Router().Execute(cmd::kDouble);
    EXPECT_EQ(p.Client(), QSize(640, 480));

    // Maximum fits the work area at the picture's shape; toggling aspect re-fits it.
    p.app->Router().Execute(cmd::kMaximum);
    EXPECT_TRUE(p.State(cmd::kMaximum).checked);
    const QRect wa = p.Frame().screen()->availableGeometry();
    const QRect g = p.Frame().frameGeometry();  // the decorations too
    EXPECT_TRUE(wa.contains(g));
    EXPECT_TRUE(g.width() == wa.width() || g.height() == wa.height());
    EXPECT_NEAR(static_cast<double>(p.Client().width()) / p.Client().height(), 320.0 / 240, 0.01);
    p.app->Router().Execute(cmd::kAspectCorrect);
    EXPECT_NEAR(static_cast<double>(p.Client().width()) / p.Client().height(), 320.0 / 224, 0.01);
    p.Exit();
}

TEST(Window, StatusBarMenuPromptsAndRecentFiles) {
    EXPECT_EQ(CMainFrame::WidthUnit(12), 30);
    EXPECT_EQ(CMainFrame::WidthUnit(11), 30);
    EXPECT_EQ(CMainFrame::WidthUnit(-13), 35);
    EXPECT_EQ(CMainFrame::WidthUnit(0), 0);

    TempDir dir;
    Program p(dir);
    EXPECT_EQ(p.Frame().PaneText(1), " 0: 0");
    EXPECT_EQ(p.Frame().PaneText(2), " 0: 0");
    // The time panes' text areas are at least u wide and hold every time text whole.
    const int u = CMainFrame::WidthUnit(QFontInfo(p.Frame().statusBar()->font()).pixelSize());
    for (QLabel* pane : p.Frame().statusBar()->findChildren<QLabel*>()) {
        if (pane->frameStyle() == QFrame::NoFrame)
            continue;
        EXPECT_GE(pane->contentsRect().width(), u);
        EXPECT_EQ(pane->indent(), 0);
        for (const char* text : {" 0:20", "99:59", "88:88", "10:00"}) {
            EXPECT_LE(pane->fontMetrics().horizontalAdvance(text), pane->contentsRect().width())
                << text;
        }
    }
    // In a font much wider than the one u was made for, the panes widen with it.
    QFont wide = p.Frame().font();
    wide.setPixelSize(40);
    EXPECT_GE(CMainFrame::TimePaneWidth(u, QFontMetrics(wide)),
              QFontMetrics(wide).horizontalAdvance("99:59"));

    // The File menu: the grayed placeholder while the list is empty.
    QMenu* file = p.Frame().Popup(0);
    emit file->aboutToShow();
    QStringList texts;
    for (QAction* a : file->actions())
        texts << a->text();
    EXPECT_EQ(texts, (QStringList{"&Open...\tCtrl+O", "Open and &Play...\tCtrl+Shift+O",
                                  "&Queue...\tCtrl+L", "&Stop\tS", "&Go to Time...\tCtrl+G",
                                  "Save &Frame\tCtrl+S", "&Copy Frame\tCtrl+C", "",
                                  QString::fromUtf8("最新のﾌｧｲﾙ"), "", "E&xit"}));
    const int firstRecent = 8;
    EXPECT_FALSE(file->actions()[firstRecent]->isEnabled());
    // Highlighting a command shows its prompt; one without a string empties the pane.
    file->actions()[0]->hover();
    EXPECT_EQ(p.Frame().PaneText(0), QString::fromUtf8("ファイルを選択する"));
    // The grayed placeholder shows its own prompt when the pointer is over it.
    file->popup(QPoint(0, 0));
    QTest::mouseMove(file, file->actionGeometry(file->actions()[firstRecent]).center());
    EXPECT_EQ(p.Frame().PaneText(0), QString::fromUtf8("指定のﾌｧｲﾙを開く"));
    file->hide();
    QMenu* setup = p.Frame().Popup(1);
    emit setup->aboutToShow();
    p.Frame().Action(cmd::kLoop)->hover();
    EXPECT_EQ(p.Frame().PaneText(0), "");
    p.Frame().Action(cmd::kFullScreen)->hover();
    EXPECT_EQ(p.Frame().PaneText(0), QString::fromUtf8("フルスクリーン表示"));
    emit setup->aboutToHide();
    EXPECT_EQ(p.Frame().PaneText(0), "");

    // An opened movie enters the list; choosing the entry takes it out until it opens again.
    const std::string movie = Movie(dir, "a.cpk", 64, 48, 3);
    p.app->OpenDocumentFile(movie);
    p.Idle();
    emit file->aboutToShow();
    EXPECT_EQ(file->actions()[firstRecent]->text().toStdString(),
              "&1 " + movie.substr(0, 0) + RecentFileList::ShortName(movie));
    p.app->Router().Execute(cmd::kRecentFirst);
    EXPECT_TRUE(p.app->Recent().Entries().empty());
    p.Doc().OnStop();  // done with the first: the idle step takes the queued name
    p.Idle();
    EXPECT_EQ(p.app->Recent().Entries(), std::vector<std::string>{movie});
    EXPECT_EQ(p.Frame().PaneText(2), " 0: 0");
    p.Exit();
}

TEST(Window, SettingsAreWrittenAtExitAndReadAtTheNextStart) {
    TempDir dir;
    WriteAll(dir.File("lunavue.ini"), "[Tovrin]\nloop=5\n[Settings]\nPreviewPages=3\n");
    QPoint client;  // where the window's own area was: what is kept
    {
        Program p(dir);
        EXPECT_TRUE(p.State(cmd::kLoop).checked);
        p.app->Router().Execute(cmd::kMaximum);
        p.app->Router().Execute(cmd::kAspectCorrect);
        p.app->Router().Execute(cmd::kFullScreen);
        p.app->Router().Execute(cmd::kDirectDraw);
        p.Frame().move(40, 30);
        client = p.Frame().geometry().topLeft();
        p.Frame().close();
        p.Exit();
    }
    const std::string ini = ReadAll(dir.File("lunavue.ini"));
    EXPECT_NE(ini.find("loop=5"), std::string::npos) << ini;
    EXPECT_NE(ini.find("WindowSize=-1"), std::string::npos);
    EXPECT_NE(ini.find("FullScreen=1"), std::string::npos);
    EXPECT_NE(ini.find("DirectDraw=1"), std::string::npos);
    EXPECT_NE(ini.find("[Marlux]\nAspectCorrect=1"), std::string::npos);
    EXPECT_NE(ini.find("type=1558"), std::string::npos);
    EXPECT_NE(ini.find("PreviewPages=3"), std::string::npos);
    EXPECT_NE(ini.find("x_position=" + std::to_string(client.x()) +
                       "\ny_position=" + std::to_string(client.y())),
              std::string::npos)
        << ini;

    Program again(dir);
    EXPECT_TRUE(again.State(cmd::kMaximum).checked);
    EXPECT_TRUE(again.State(cmd::kAspectCorrect).checked);
    EXPECT_TRUE(again.State(cmd::kFullScreen).checked);
    EXPECT_TRUE(again.State(cmd::kDirectDraw).checked);
    EXPECT_EQ(again.Frame().geometry().topLeft(), client) << "what is kept is what is restored";
    EXPECT_EQ(again.Frame().pos(), QPoint(40, 30));
    // A stored size factor beyond the menu's sizes is the largest the menu has.
    again.Exit();
    WriteAll(dir.File("lunavue.ini"), "[Tovrin]\nWindowSize=16\n");
    Program odd(dir);
    EXPECT_TRUE(odd.State(cmd::kTriple).checked);
    odd.Exit();
}

TEST(Window, ViewPaintsThePictureScaledOrNothing) {
    TempDir dir;
    Program p(dir);
    p.Frame().show();
    QImage before = p.View().grab().toImage();
    EXPECT_EQ(before.pixelColor(before.width() / 2, before.height() / 2), QColor(Qt::black));
    FilmMovie m;
    m.width = 16;
    m.height = 8;
    m.Video(GreyFrame(200, 16, 8));
    m.Save(dir.File("g.cpk"));
    p.app->OpenDocumentFile(dir.File("g.cpk"));
    p.Idle();
    p.app->Router().Execute(cmd::kTriple);
    QApplication::processEvents();
    QImage shot = p.View().grab().toImage();
    const QRect client = p.View().contentsRect();
    EXPECT_EQ(shot.pixelColor(client.center()), QColor(200, 200, 200));
    EXPECT_EQ(shot.pixelColor(client.topLeft()), QColor(200, 200, 200));
    EXPECT_EQ(shot.pixelColor(client.bottomRight()), QColor(200, 200, 200));
    p.Exit();
}

// The real program, started with -play -close, plays a movie to its end and exits by itself.
TEST(Window, PlaysToTheEndAndClosesByItself) {
    TempDir dir;
    const std::string cmd =
        std::string("QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy LUNAVUE_INI=") +
        dir.File("run.ini") + " " + LUNAVUE_BINARY + " " + FixturePath("silent-256x224.cpk") +
        " -play -close >/dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    const std::string ini = ReadAll(dir.File("run.ini"));
    EXPECT_NE(ini.find("type=1558"), std::string::npos) << ini;
    EXPECT_NE(ini.find("File1="), std::string::npos);
}

// Ending the session (SIGTERM) keeps the settings as a log-off does, without the position.
TEST(Window, TerminationKeepsTheSettingsButNotThePosition) {
    TempDir dir;
    WriteAll(dir.File("t.ini"), "[Tovrin]\nloop=1\n");
    QProcess player;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("SDL_AUDIODRIVER", "dummy");
    env.insert("LUNAVUE_INI", QString::fromStdString(dir.File("t.ini")));
    player.setProcessEnvironment(env);
    player.start(LUNAVUE_BINARY,
                 {QString::fromStdString(FixturePath("silent-256x224.cpk")), "-play"});
    ASSERT_TRUE(player.waitForStarted());
    QTest::qWait(1500);
    player.terminate();
    ASSERT_TRUE(player.waitForFinished(10000));
    EXPECT_EQ(player.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player.exitCode(), 0);
    const std::string ini = ReadAll(dir.File("t.ini"));
    EXPECT_NE(ini.find("type=1558"), std::string::npos) << ini;
    EXPECT_NE(ini.find("loop=1"), std::string::npos);
    EXPECT_NE(ini.find("WindowSize=1"), std::string::npos);
    EXPECT_EQ(ini.find("x_position"), std::string::npos);
}

// The toolbar: every button reachable beside the narrowest picture, its images on the
// toolbar's own colour, sharp at a pixel ratio of 2.
TEST(Window, ToolbarButtonsImagesAndBoxes) {
    TempDir dir;
    Program p(dir);
    p.Frame().show();
    p.app->OpenDocumentFile(Movie(dir, "narrow.cpk", 160, 120));
    p.Idle();
    ASSERT_EQ(p.Client(), QSize(160, 120));
    QApplication::processEvents();
    QToolBar* bar = p.Frame().ToolBar();
    for (QAction* a : bar->actions()) {
        if (a->isSeparator())
            continue;
        QWidget* button = bar->widgetForAction(a);
        ASSERT_NE(button, nullptr);
        EXPECT_TRUE(button->isVisible()) << "button " << a->data().toInt();
        EXPECT_TRUE(bar->rect().contains(button->geometry())) << "button " << a->data().toInt();
    }
    const QColor face = bar->palette().color(QPalette::Button);
    const QImage one = CMainFrame::ButtonPixmap(cmd::kStop, face, 1).toImage();
    EXPECT_EQ(one.size(), QSize(11, 11));
    EXPECT_EQ(one.pixelColor(0, 0), face) << "the grey of the image is the toolbar's";
    EXPECT_EQ(one.pixelColor(5, 5), QColor(0, 0, 255));
    const QImage two = CMainFrame::ButtonPixmap(cmd::kStop, face, 2).toImage();
    EXPECT_EQ(two.size(), QSize(22, 22));
    for (int y = 0; y < 22; ++y)
        for (int x = 0; x < 22; ++x)
            ASSERT_EQ(two.pixel(x, y), one.pixel(x / 2, y / 2)) << "whole pixels, not blurred";

    // The Open dialogs show each filter once, as the texts say; error boxes have no caption.
    QStringList filters;
    QString caption = "unset";
    p.app->runDialog = [&](QDialog& d) {
        if (auto* combo = d.findChild<QComboBox*>("fileTypeCombo")) {
            for (int i = 0; i < combo->count(); ++i)
                filters << combo->itemText(i);
        } else {
            caption = d.windowTitle().trimmed();
        }
    };
    p.app->chooseFile = nullptr;
    p.app->chooseFiles = nullptr;
    p.Run(cmd::kFileOpen);
    EXPECT_EQ(filters, (QStringList{QString::fromUtf8("VESPER Vizororu ﾌｧｲﾙ (*.cpk)"),
                                    QString::fromUtf8("すべてのﾌｧｲﾙ (*.*)")}));
    filters.clear();
    p.Run(cmd::kOpen);
    EXPECT_EQ(filters, (QStringList{"Files (*.cpk)", "All Files (*.*)"}));
    p.app->ShowError(Text(messages::kDamaged, "Message"));
    EXPECT_EQ(caption, "Lunavue") << "the program's name, so that the window list says whose";
}
