// The program's resources as data: menu, toolbar, strings and images.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lunavue::res {

// One item of a pop-up menu; id 0 is a separator.
struct MenuItem {
    const char* text;
    int id;
    bool grayed = false;
};
struct Popup {
    const char* title;
    std::vector<MenuItem> items;
};
const std::vector<Popup>& MainMenu();

// A key and the command it sends, the key written as Qt's key sequences are ("Ctrl+O").
struct Accelerator {
    const char* key;
    int command;
    const char* help;  // what the key does, for --help and the README
};
// The one accelerator of the menus (Ctrl+O), then the player keys.
const std::vector<Accelerator>& Accelerators();

// The toolbar's ten items in order; 0 is a separator.
const std::array<int, 10>& ToolbarItems();

// An 11 x 11 button image, one character a pixel (see ImagePixel for the colours).
using ButtonImage = std::array<const char*, 11>;
// The image of a toolbar command, in the order of the toolbar's buttons.
const ButtonImage& ToolbarImage(int command);
// The colour of an image character as 0xRRGGBB.
uint32_t ImagePixel(char c);

// The command's prompt (before the line break of its string) and tip; empty when the
// command has no string.
std::string Prompt(int command);
std::string Tip(int command);

// The 32 x 32 program icon, one character a pixel.
const std::array<const char*, 32>& ProgramIcon();

inline constexpr const char* kAppTitle = "Lunavue";
inline constexpr const char* kUntitled = "無題";
inline constexpr const char* kRecentPlaceholder = "最新のﾌｧｲﾙ";
inline constexpr const char* kOpenDialogTitle = "開く";
inline constexpr const char* kFilterCpk = "VESPER Vizororu ﾌｧｲﾙ (*.cpk)";
inline constexpr const char* kFilterAll = "すべてのﾌｧｲﾙ (*.*)";
inline constexpr const char* kFrameFailed = "空のﾄﾞｷｭﾒﾝﾄの作成に失敗しました。";

}  // namespace lunavue::res
