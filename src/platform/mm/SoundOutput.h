// The sound output a program plays through, chosen once at start: the desktop's sound
// server where one answers (PulseAudio, or PipeWire's pulse server), else SDL (ALSA and
// SDL's other drivers). LUNAVUE_SOUND=pulse or =sdl asks for one of them; SDL_AUDIODRIVER
// set asks for SDL, whose dummy and disk drivers are how tests listen.
#pragma once

#include <memory>
#include <string>

#include "platform/mm/WaveOut.h"

namespace lunavue::mm {

struct SoundOutput {
    std::unique_ptr<WaveOut> device;
    std::string name;    // "PulseAudio 16.1", "SDL"
    std::string reason;  // why SDL was chosen; empty for the sound server
};

SoundOutput ChooseSoundOutput();

}  // namespace lunavue::mm
