// The Windows program's message boxes where the described text is not
// enough. The box that says the default image is missing is titled as the
// program's other boxes are (its described caption is an internal name),
// and names the folder the image was looked for in: started from a shortcut
// or the desktop, that folder is rarely the one the user thinks of. The
// program's MessageBoxA import is this file's (message_boxes.cpp, linked
// into the program as tick_count_64.cpp is): every other box goes on to
// user32's as it was asked for.
#pragma once

#include <string>

// The caption and text the box shows for the caption and text asked for.
void LayOutMessageBox(std::string& caption, std::string& text);
