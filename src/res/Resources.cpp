#include "res/Resources.h"

#include "framework/Translation.h"

#include <map>

#include "res/CommandIds.h"

namespace lunavue::res {

// The menus are English in every language: their texts go through the translation system
// in a context of their own ("Menu") that the Japanese translation leaves as it is.
const std::vector<Popup>& MainMenu() {
    static const std::vector<Popup> menu = {
        {QT_TRANSLATE_NOOP("Menu", "&File"),
         {{QT_TRANSLATE_NOOP("Menu", "&Open...\tCtrl+O"), cmd::kOpen},
          {QT_TRANSLATE_NOOP("Menu", "Open and &Play...\tCtrl+Shift+O"), cmd::kOpenAndPlay},
          {QT_TRANSLATE_NOOP("Menu", "&Queue...\tCtrl+L"), cmd::kQueueWindow},
          {QT_TRANSLATE_NOOP("Menu", "&Stop\tS"), cmd::kStop},
          {QT_TRANSLATE_NOOP("Menu", "&Go to Time...\tCtrl+G"), cmd::kGoToTime},
          {QT_TRANSLATE_NOOP("Menu", "Save &Frame\tCtrl+S"), cmd::kSaveFrame},
          {QT_TRANSLATE_NOOP("Menu", "&Copy Frame\tCtrl+C"), cmd::kCopyFrame},
          {nullptr, 0},
          {kRecentPlaceholder, cmd::kRecentFirst, true},
          {nullptr, 0},
          {QT_TRANSLATE_NOOP("Menu", "E&xit"), cmd::kExit}}},
        {QT_TRANSLATE_NOOP("Menu", "&Setup"),
         {{QT_TRANSLATE_NOOP("Menu", "&Normal"), cmd::kNormal},
          {QT_TRANSLATE_NOOP("Menu", "&Double"), cmd::kDouble},
          {QT_TRANSLATE_NOOP("Menu", "&Triple"), cmd::kTriple},
          {QT_TRANSLATE_NOOP("Menu", "&Maximum"), cmd::kMaximum},
          {nullptr, 0},
          {QT_TRANSLATE_NOOP("Menu", "&Loop"), cmd::kLoop},
          {QT_TRANSLATE_NOOP("Menu", "&Full Screen"), cmd::kFullScreen},
          {QT_TRANSLATE_NOOP("Menu", "Direct Draw"), cmd::kDirectDraw}}},
        {QT_TRANSLATE_NOOP("Menu", "&Help"),
         {{QT_TRANSLATE_NOOP("Menu", "&Information..."), cmd::kInformation},
          {QT_TRANSLATE_NOOP("Menu", "&About..."), cmd::kAbout}}},
    };
    return menu;
}

const std::vector<Accelerator>& Accelerators() {
    static const std::vector<Accelerator> keys = {
        {"Ctrl+O", cmd::kFileOpen, "open a movie (queued)"},
        {"Ctrl+Shift+O", cmd::kOpenAndPlay, "open movies and play them now"},
        {"Ctrl+L", cmd::kQueueWindow, "show the queue"},
        {"Space", cmd::kPlayPause, "play, pause, resume"},
        {"S", cmd::kStop, "stop (back to the first picture)"},
        {"Ctrl+G", cmd::kGoToTime, "go to a time (m:ss or seconds)"},
        {"Ctrl+S", cmd::kSaveFrame, "save the picture shown as PNG in the Pictures folder"},
        {"Ctrl+C", cmd::kCopyFrame, "copy the picture shown"},
        {"Left", cmd::kSeekBack, "back 5 seconds"},
        {"Right", cmd::kSeekForward, "forward 5 seconds"},
        {"Down", cmd::kSeekBackMore, "back 60 seconds"},
        {"Up", cmd::kSeekForwardMore, "forward 60 seconds"},
        {"Home", cmd::kSeekStart, "to the start"},
        {".", cmd::kFrameForward, "one frame forward (paused)"},
        {",", cmd::kFrameBack, "one frame back (paused)"},
        {"PgDown", cmd::kNextMovie, "next movie in the queue"},
        {"PgUp", cmd::kPreviousMovie, "the movie played before, from where it was left"},
        {"[", cmd::kSlower, "slower (down to half speed), at the same pitch"},
        {"]", cmd::kFaster, "faster (up to twice the speed), at the same pitch"},
        {"Backspace", cmd::kNormalSpeed, "back to normal speed"},
        {"L", cmd::kRepeatAB, "repeat a section: A here, then B here, then off"},
        {"M", cmd::kMute, "mute or unmute"},
        {"9", cmd::kVolumeDown, "volume down 10%"},
        {"0", cmd::kVolumeUp, "volume up 10%"},
        {"F", cmd::kToggleFullScreen, "full screen on or off"},
        {"Esc", cmd::kLeaveFullScreen, "leave full screen"},
        // The keyboard's media keys, while the window has the focus.
        {"Media Play", cmd::kPlayPause, "play, pause, resume (media key)"},
        {"Toggle Media Play/Pause", cmd::kPlayPause, "play, pause, resume (media key)"},
        {"Media Pause", cmd::kPause, "pause (media key)"},
        {"Media Stop", cmd::kStop, "stop (media key)"},
        {"Media Next", cmd::kNextMovie, "next movie (media key)"},
        {"Media Previous", cmd::kPreviousMovie, "previous movie (media key)"},
        {"Volume Mute", cmd::kMute, "mute or unmute (media key)"},
        {"Volume Up", cmd::kVolumeUp, "volume up 10% (media key)"},
        {"Volume Down", cmd::kVolumeDown, "volume down 10% (media key)"},
    };
    return keys;
}

const std::array<int, 10>& ToolbarItems() {
    static const std::array<int, 10> items = {cmd::kStop,          cmd::kPlay,      cmd::kPause,  0,
                                              cmd::kNormal,        cmd::kDouble,    cmd::kTriple, 0,
                                              cmd::kAspectCorrect, cmd::kFullScreen};
    return items;
}

// '.' button face, 'B' blue, 'D' dark blue, 'K' black, 'G' dark grey.
uint32_t ImagePixel(char c) {
    switch (c) {
        case 'B':
            return 0x0000FF;
        case 'D':
            return 0x000080;
        case 'K':
            return 0x000000;
        case 'G':
            return 0x808080;
        default:
            return 0xC0C0C0;
    }
}

const ButtonImage& ToolbarImage(int command) {
    static const std::map<int, ButtonImage> images = {
        {cmd::kStop,
         {"...........", "...........", "..BBBBBBB..", "..BBBBBBB..", "..BBBBBBB..", "..BBBBBBB..",
          "..BBBBBBB..", "..BBBBBBB..", "..BBBBBBB..", "...........", "..........."}},
        {cmd::kPlay,
         {"...D.......", "...DD......", "...DBD.....", "...DBBD....", "...DBBBD...", "...DBBBBB..",
          "...DBBBB...", "...DBBB....", "...DBB.....", "...DB......", "...B......."}},
        {cmd::kPause,
         {"...........", "..BBB.BBB..", "..BBB.BBB..", "..BBB.BBB..", "..BBB.BBB..", "..BBB.BBB..",
          "..BBB.BBB..", "..BBB.BBB..", "..BBB.BBB..", "..BBB.BBB..", "..........."}},
        {cmd::kNormal,
         {"...........", "...........", ".......B...", "......BB...", "B...B..B...", ".B.B...B...",
          "..B....B...", ".B.B...B...", "B...B.BBB..", "...........", "..........."}},
        {cmd::kDouble,
         {"...........", "...........", "......BBB..", ".....B...B.", "B...B....B.", ".B.B....B..",
          "..B....B...", ".B.B..B....", "B...B.BBBB.", "...........", "..........."}},
        {cmd::kTriple,
         {"...........", "...........", "......BBB..", ".....B...B.", "B...B....B.", ".B.B...BB..",
          "..B......B.", ".B.B.B...B.", "B...B.BBB..", "...........", "..........."}},
        {cmd::kAspectCorrect,
         {".....B.....", "....BBB....", "...........", ".KKKKKKKKK.", ".KGGGGGGGK.", ".KGGGGGGGK.",
          ".KKKKKKKKK.", "...........", "....BBB....", ".....B.....", "..........."}},
        {cmd::kFullScreen,
         {"...........", ".BBBBBBBB..", ".BBBBBBBB..", ".B......BD.", ".B......BD.", ".B......BD.",
          ".B......BD.", ".BBBBBBBBD.", "..DDDDDDDD.", "...........", "..........."}},
    };
    static const ButtonImage blank = {"...........", "...........", "...........", "...........",
                                      "...........", "...........", "...........", "...........",
                                      "...........", "...........", "..........."};
    auto it = images.find(command);
    return it == images.end() ? blank : it->second;
}

namespace {
// The prompts the message pane shows for the commands, for translation (context "Prompt").
const std::map<int, const char*>& Prompts() {
    static const std::map<int, const char*> prompts = {
        {cmd::kOpen, QT_TRANSLATE_NOOP("Prompt", "Choose movies to play")},
        {cmd::kExit, QT_TRANSLATE_NOOP("Prompt", "Quit the application")},
        {cmd::kNormal, QT_TRANSLATE_NOOP("Prompt", "Show at the original size")},
        {cmd::kDouble, QT_TRANSLATE_NOOP("Prompt", "Show at twice the size")},
        {cmd::kTriple, QT_TRANSLATE_NOOP("Prompt", "Show at three times the size")},
        {cmd::kMaximum, QT_TRANSLATE_NOOP("Prompt", "Show as large as the screen allows")},
        {cmd::kFullScreen, QT_TRANSLATE_NOOP("Prompt", "Show full screen")},
        {cmd::kDirectDraw, QT_TRANSLATE_NOOP("Prompt", "Use Direct Draw")},
        {cmd::kInformation, QT_TRANSLATE_NOOP("Prompt", "Show information on the movie")},
        {cmd::kAbout, QT_TRANSLATE_NOOP("Prompt", "Show information on the program")},
        {cmd::kStop, QT_TRANSLATE_NOOP("Prompt", "Stop")},
        {cmd::kPlay, QT_TRANSLATE_NOOP("Prompt", "Play")},
        {cmd::kPause, QT_TRANSLATE_NOOP("Prompt", "Pause")},
        {cmd::kFileOpen, QT_TRANSLATE_NOOP("Prompt", "Open a movie")},
        {cmd::kOpenAndPlay, QT_TRANSLATE_NOOP("Prompt", "Choose movies and play them now")},
        {cmd::kQueueWindow, QT_TRANSLATE_NOOP("Prompt", "Show the movies waiting to play")},
    };
    return prompts;
}
const char* const kRecentPrompt = QT_TRANSLATE_NOOP("Prompt", "Open this movie");
}  // namespace

const char* ToolName(int command) {
    static const std::map<int, const char*> names = {
        {cmd::kStop, QT_TRANSLATE_NOOP("Menu", "Stop")},
        {cmd::kPlay, QT_TRANSLATE_NOOP("Menu", "Play")},
        {cmd::kPause, QT_TRANSLATE_NOOP("Menu", "Pause")},
        {cmd::kNormal, QT_TRANSLATE_NOOP("Menu", "Normal size")},
        {cmd::kDouble, QT_TRANSLATE_NOOP("Menu", "Double size")},
        {cmd::kTriple, QT_TRANSLATE_NOOP("Menu", "Triple size")},
        {cmd::kAspectCorrect, QT_TRANSLATE_NOOP("Menu", "Aspect correction")},
        {cmd::kFullScreen, QT_TRANSLATE_NOOP("Menu", "Full screen")},
    };
    const auto it = names.find(command);
    return it == names.end() ? "" : it->second;
}

std::string Prompt(int command) {
    const char* text = nullptr;
    if (command >= cmd::kRecentFirst && command <= cmd::kRecentLast) {
        text = kRecentPrompt;
    } else if (auto it = Prompts().find(command); it != Prompts().end()) {
        text = it->second;
    }
    return text == nullptr ? std::string() : Text(text, "Prompt").toStdString();
}

// A crescent moon over a strip of film: 'D' dark blue, 'B' blue, 'Y' pale yellow, 'K' black,
// 'W' white, '.' transparent.
const std::array<const char*, 32>& ProgramIcon() {
    static const std::array<const char*, 32> icon = {
        "................................", "...........DDDDDDDDDD...........",
        ".........DDDDDDDDDDDDDD.........", ".......DDDDDDYYYYDDDDDDDD.......",
        "......DDDDDYYYYYY..DDDDDDD......", ".....DDDDYYYYYYY.....DDDDDD.....",
        "....DDDDYYYYYYY.......DDDDDD....", "....DDDYYYYYYY.........DDDDD....",
        "...DDDYYYYYYY...........DDDDD...", "...DDDYYYYYYY...........DDDDD...",
        "..DDDYYYYYYY.............DDDDD..", "..DDDYYYYYYY.............DDDDD..",
        "..DDDYYYYYYY.............DDDDD..", "..DDDYYYYYYY.............DDDDD..",
        "..DDDYYYYYYYY............DDDDD..", "..DDDDYYYYYYY...........DDDDDD..",
        "KKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKK", "KWKKWKKWKKWKKWKKWKKWKKWKKWKKWKKK",
        "KKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKK", "KBBBBBBBKBBBBBBBKBBBBBBBKBBBBBBK",
        "KBBBBBBBKBBBBBBBKBBBBBBBKBBBBBBK", "KBBBBBBBKBBBBBBBKBBBBBBBKBBBBBBK",
        "KBBBBBBBKBBBBBBBKBBBBBBBKBBBBBBK", "KBBBBBBBKBBBBBBBKBBBBBBBKBBBBBBK",
        "KKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKK", "KWKKWKKWKKWKKWKKWKKWKKWKKWKKWKKK",
        "KKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKK", "...DDDDDDDDDDDDDDDDDDDDDDDDDD...",
        ".....DDDDDDDDDDDDDDDDDDDDDDDD...", ".......DDDDDDDDDDDDDDDDDDDD.....",
        "..........DDDDDDDDDDDDDD........", "................................",
    };
    return icon;
}

}  // namespace lunavue::res
