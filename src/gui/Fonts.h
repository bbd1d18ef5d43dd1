#pragma once

#include <QFont>

// The windows' stored fonts are the Windows families "MS Sans Serif" and "宋体", sized in
// pixels at 96 dpi. Neither family exists on a Linux desktop, so start-up maps each to fonts
// that do, with a CJK font in every list so Chinese captions render.
namespace gui {

// "MS Sans Serif", character height 11 px: the windows' default font.
QFont DialogFont();
// "宋体", character height 12 px: the table, the command buttons, the add dialog's label.
QFont SongFont();

// Registers the family substitutions (idempotent). Called before the first window is built.
void InstallFontSubstitutions();

}  // namespace gui
