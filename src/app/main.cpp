#include <cstdio>
#include <cstdlib>

#include "platform/profile/Settings.h"

int main() {
    using namespace lunavue;
    SetSettingsFile(ChooseSettingsPath(ExecutablePath(), std::getenv("LUNAVUE_INI")));
    std::printf("Lunavue %s\nsettings: %s\n", LUNAVUE_VERSION, SettingsFile().Path().c_str());
    return 0;
}
