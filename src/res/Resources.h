// The program's resources as data: menu, toolbar, strings and images.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Translation.h"

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

// The command's prompt, in the language installed; empty when the command has none.
std::string Prompt(int command);
// A toolbar button's name, as a screen reader says it (English, as the menus are).
const char* ToolName(int command);

// The 32 x 32 program icon, one character a pixel.
const std::array<const char*, 32>& ProgramIcon();

// Texts for translation (context "Lunavue"): the English source, translated where shown.
inline constexpr const char* kAppTitle = "Lunavue";
inline constexpr const char* kUntitled = QT_TRANSLATE_NOOP("Lunavue", "Untitled");
inline constexpr const char* kRecentPlaceholder = QT_TRANSLATE_NOOP("Lunavue", "Recent File");
inline constexpr const char* kOpenDialogTitle = QT_TRANSLATE_NOOP("Lunavue", "Open");
inline constexpr const char* kFilterCpk =
    QT_TRANSLATE_NOOP("Lunavue", "VESPER Vizororu Files (*.cpk)");
inline constexpr const char* kFilterAll = QT_TRANSLATE_NOOP("Lunavue", "All Files (*.*)");

}  // namespace lunavue::res
