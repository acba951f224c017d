#include "res/Resources.h"

#include <map>

#include "res/CommandIds.h"

namespace lunavue::res {

const std::vector<Popup>& MainMenu() {
    static const std::vector<Popup> menu = {
        {"&File",
         {{"&Open...\tCtrl+O", cmd::kOpen},
          {nullptr, 0},
          {kRecentPlaceholder, cmd::kRecentFirst, true},
          {nullptr, 0},
          {"E&xit", cmd::kExit}}},
        {"&Setup",
         {{"&Normal", cmd::kNormal},
          {"&Double", cmd::kDouble},
          {"&Triple", cmd::kTriple},
          {"&Maximum", cmd::kMaximum},
          {nullptr, 0},
          {"&Loop", cmd::kLoop},
          {"&Full Screen", cmd::kFullScreen},
          {"Direct Draw", cmd::kDirectDraw}}},
        {"&Help", {{"&Information...", cmd::kInformation}, {"&About...", cmd::kAbout}}},
    };
    return menu;
}

const std::vector<Accelerator>& Accelerators() {
    static const std::vector<Accelerator> keys = {
        {"Ctrl+O", cmd::kFileOpen, "open a movie (queued)"},
        {"Space", cmd::kPlayPause, "play, pause, resume"},
        {"Left", cmd::kSeekBack, "back 5 seconds"},
        {"Right", cmd::kSeekForward, "forward 5 seconds"},
        {"Down", cmd::kSeekBackMore, "back 60 seconds"},
        {"Up", cmd::kSeekForwardMore, "forward 60 seconds"},
        {"Home", cmd::kSeekStart, "to the start"},
        {".", cmd::kFrameForward, "one frame forward (paused)"},
        {",", cmd::kFrameBack, "one frame back (paused)"},
        {"PgDown", cmd::kNextMovie, "next movie in the queue"},
        {"M", cmd::kMute, "mute or unmute"},
        {"9", cmd::kVolumeDown, "volume down 10%"},
        {"0", cmd::kVolumeUp, "volume up 10%"},
        {"F", cmd::kToggleFullScreen, "full screen on or off"},
        {"Esc", cmd::kLeaveFullScreen, "leave full screen"},
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
// The string table: prompt, a line break, then the tip.
const std::map<int, std::string>& Strings() {
    static const std::map<int, std::string> strings = {
        {cmd::kOpen, "ファイルを選択する\nファイル選択"},
        {cmd::kExit, "アプリケーションを終了する\n終了"},
        {cmd::kNormal, "元のｻｲｽﾞで表示\n等倍"},
        {cmd::kDouble, "２倍表示\n２倍"},
        {cmd::kTriple, "３倍表示\n３倍"},
        {cmd::kMaximum, "最大化表示\n最大化"},
        {cmd::kFullScreen, "フルスクリーン表示\nフルスクリーン"},
        {cmd::kDirectDraw, "Direct Drawを使用する\nDirect Draw"},
        {cmd::kInformation, "ファイル情報の表示\nファイル情報"},
        {cmd::kAbout, "プログラムの情報を表示\nバージョン情報"},
        {cmd::kStop, "Stop\nStop"},
        {cmd::kPlay, "Play\nPlay"},
        {cmd::kPause, "Pause\nPause"},
        {cmd::kFileOpen, "ﾌｧｲﾙを開く\n開く"},
    };
    return strings;
}
}  // namespace

std::string Prompt(int command) {
    if (command >= cmd::kRecentFirst && command <= cmd::kRecentLast) {
        return "指定のﾌｧｲﾙを開く";
    }
    auto it = Strings().find(command);
    if (it == Strings().end()) {
        return {};
    }
    return it->second.substr(0, it->second.find('\n'));
}

std::string Tip(int command) {
    auto it = Strings().find(command);
    if (it == Strings().end()) {
        return {};
    }
    size_t nl = it->second.find('\n');
    return nl == std::string::npos ? std::string() : it->second.substr(nl + 1);
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
