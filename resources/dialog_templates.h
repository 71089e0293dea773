#pragma once
// The four dialog templates of the tool and the resource paths of its images. The texts are the
// tool's own, byte for byte: double spaces and trailing spaces are part of them.

#include "widgets/dialog_template.h"

namespace resources {

extern const widgets::DialogTemplate kMainDialogTemplate;  // 102

// The version text of the main dialog, which --version repeats.
inline constexpr char kVersionLabel[] = "Version 2.3-Pyxa";
extern const widgets::DialogTemplate kWelcomeDialogTemplate;      // 131
extern const widgets::DialogTemplate kVoicePromptDialogTemplate;  // 130

// The voice prompt's question, which the report asks on the terminal.
inline constexpr char kSpeakerQuestion[] =
    "Did you hear a buzzing sound come from your Laptop speakers?";
extern const widgets::DialogTemplate kLineTestDialogTemplate;  // 132

// Qt resource paths; the resource library registers them at start-up.
inline constexpr char kLogoBitmap[] = ":/kalvex/logo129.bmp";   // 134 x 50, 8 bpp, palette
inline constexpr char kAppIcon[] = ":/kalvex/icon128.ico";      // 32 x 32 and 16 x 16, 16 colours
inline constexpr char kLineTestIcon[] = ":/kalvex/icon68.ico";  // 32 x 32, 16 colours

}  // namespace resources
