// The program's resources: its dialog templates (written in the window
// layer's format, winui/dialog_templates.h), bitmaps and icon, as one table
// for every platform.
#pragma once

#include <span>

#include "winui/dialog_templates.h"

namespace qtr5 {

// Every dialog template of the program, in identifier order.
std::span<const DialogTemplate> AllDialogTemplates();

// The template with resource identifier `id`, or nullptr when there is none.
const DialogTemplate* FindDialogTemplate(int id);

// The resource identifiers of the program's bitmaps (101 logo, 103 "Wait !",
// 104 "OK!", 105 "NG!", 106 "No Device", 107 "Not Confirmed", 109 open folder,
// 110 "Flash Again"), in identifier order.
std::span<const int> AllBitmapIds();

// The resource identifiers of the program's icons (108), in identifier order.
std::span<const int> AllIconIds();

// All of the above, as the window layer reads a module's resources.
const ModuleResources& ProgramResources();

// Makes the program's resources those of its module `instance` for the
// window layer off Windows; on Windows the system reads them from the
// program's resource section, and this does nothing.
void RegisterProgramResources(HINSTANCE instance);

}  // namespace qtr5
