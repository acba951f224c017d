// Runs the window tests inside one QApplication on the offscreen platform.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>

#include <cstdlib>
#include <string>

#include "framework/Translation.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    // A channel of our own, so that no player running on this machine takes our files.
    const std::string channel = "lunavue-test-" + std::to_string(getpid());
    setenv("LUNAVUE_INSTANCE", channel.c_str(), 1);
    QApplication app(argc, argv);
    lunavue::InstallTranslation(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
