// The player started in the test's own process, with a settings file of its own.
#pragma once

#include <QApplication>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "FilmBuilder.h"
#include "TestUtil.h"
#include "app/CMainFrame.h"
#include "app/CTovrinApp.h"
#include "display/CTovrinView.h"

namespace lunavue::test {

struct Program {
    std::unique_ptr<CTovrinApp> app;

    explicit Program(TempDir& dir, const std::string& ini = "") {
        if (!ini.empty())
            WriteAll(dir.File("lunavue.ini"), ini);
        setenv("LUNAVUE_INI", dir.File("lunavue.ini").c_str(), 1);
        app = std::make_unique<CTovrinApp>();
        EXPECT_TRUE(app->InitInstance({}));
    }
    ~Program() { app->ExitInstance(); }
    CTovrinDoc& Doc() { return *app->CurrentDocument(); }
    CMainFrame& Frame() { return *app->MainFrame(); }
    CTovrinView& View() { return *app->View(); }
    CommandState State(int id) { return app->Router().State(id); }
    void Run(int id) { app->Router().Execute(id); }
    // A key pressed in the main window, and what it sets off handled.
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(&Frame(), key, modifiers);
        QApplication::processEvents();
    }
    // Idle steps, enough to take a queued name in.
    void Idle(int steps = 3) {
        for (int i = 0; i < steps; ++i)
            app->OnIdle(i);
        QApplication::processEvents();
    }
    std::vector<std::string> Queue() {
        return {Doc().Queue().Names().begin(), Doc().Queue().Names().end()};
    }
    QSize Client() { return View().contentsRect().size(); }
    void Exit() { app->ExitInstance(); }
};

// Saves a movie of numbered grey frames (frame i has grey level i) and returns its path.
inline std::string NumberedMovie(TempDir& dir, const std::string& name, int w, int h, int frames) {
    FilmMovie m;
    m.width = static_cast<uint32_t>(w);
    m.height = static_cast<uint32_t>(h);
    for (int i = 1; i <= frames; ++i)
        m.Video(GreyFrame(i, w, h));
    m.Save(dir.File(name));
    return dir.File(name);
}

}  // namespace lunavue::test
