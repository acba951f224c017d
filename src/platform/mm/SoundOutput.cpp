#include "platform/mm/SoundOutput.h"

#include <cstdlib>
#include <cstring>

#include "platform/mm/PulseWaveOut.h"
#include "platform/mm/SdlWaveOut.h"

namespace lunavue::mm {

SoundOutput ChooseSoundOutput() {
    SoundOutput out;
    const char* asked = std::getenv("LUNAVUE_SOUND");
    const char* sdlDriver = std::getenv("SDL_AUDIODRIVER");
    const bool wantsSdl = asked != nullptr ? std::strcmp(asked, "sdl") == 0
                                           : sdlDriver != nullptr && *sdlDriver != '\0';
    if (wantsSdl) {
        out.reason = asked != nullptr ? "LUNAVUE_SOUND=sdl" : "SDL_AUDIODRIVER is set";
    } else if (auto pulse = PulseWaveOut::Connect(out.reason)) {
        out.name = pulse->ServerName();
        out.device = std::move(pulse);
        out.reason.clear();
        return out;
    } else {
        out.reason = "no sound server answers (" + out.reason + ")";
    }
    out.device = std::make_unique<SdlWaveOut>();
    out.name = "SDL";
    return out;
}

}  // namespace lunavue::mm
