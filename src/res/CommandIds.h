// Command ids, shared by the menu, the toolbar, the accelerator and the string table.
#pragma once

namespace lunavue::cmd {

inline constexpr int kStop = 32771;
inline constexpr int kPlay = 32772;
inline constexpr int kNormal = 32774;
inline constexpr int kDouble = 32775;
inline constexpr int kInformation = 32778;
inline constexpr int kTriple = 32779;
inline constexpr int kPause = 32781;
inline constexpr int kOpen = 32783;
inline constexpr int kFullScreen = 32784;
inline constexpr int kMaximum = 32785;
inline constexpr int kDirectDraw = 32786;
inline constexpr int kLoop = 32787;
inline constexpr int kAspectCorrect = 32791;

// The player keys: commands with a key and no menu item.
inline constexpr int kPlayPause = 33100;
inline constexpr int kSeekBack = 33101;
inline constexpr int kSeekForward = 33102;
inline constexpr int kSeekBackMore = 33103;
inline constexpr int kSeekForwardMore = 33104;
inline constexpr int kSeekStart = 33105;
inline constexpr int kFrameForward = 33106;
inline constexpr int kFrameBack = 33107;
inline constexpr int kNextMovie = 33108;
inline constexpr int kMute = 33109;
inline constexpr int kVolumeDown = 33110;
inline constexpr int kVolumeUp = 33111;
inline constexpr int kToggleFullScreen = 33112;
inline constexpr int kLeaveFullScreen = 33113;
inline constexpr int kOpenAndPlay = 33114;  // File > Open and Play...
inline constexpr int kQueueWindow = 33115;  // File > Queue...
inline constexpr int kGoToTime = 33116;     // File > Go to Time...
inline constexpr int kSaveFrame = 33117;    // File > Save Frame
inline constexpr int kCopyFrame = 33118;    // File > Copy Frame
inline constexpr int kPreviousMovie = 33119;
inline constexpr int kRepeatAB = 33120;
inline constexpr int kSlower = 33121;
inline constexpr int kFaster = 33122;
inline constexpr int kNormalSpeed = 33123;

inline constexpr int kFileOpen = 57601;  // the standard open command, bound to Ctrl+O
inline constexpr int kRecentFirst = 57616;
inline constexpr int kRecentLast = 57631;
inline constexpr int kAbout = 57664;
inline constexpr int kExit = 57665;

}  // namespace lunavue::cmd
