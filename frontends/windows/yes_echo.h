// The Windows program's echo of --yes: what the main window shows and the
// session's notices, as lines in the words of the terminal program. Nothing
// here answers or works the window: the session takes the steps.
#pragma once

#include <functional>
#include <string>

class WindowWatcher;

// Starts the echo; `echo` receives each line: each notice as "Caption:
// Text", and what YesEcho is told the main window shows: each new status
// line text, each new report value as "Label:" (padded so the values line
// up) and the value, each 10% step of the progress bar as "Progress: N%".
void StartYesEcho(std::function<void(const char* line)> echo);
void StopYesEcho();

// The watcher of the main window that echoes what it shows; null while the
// echo is off.
WindowWatcher* YesEcho();

// A notice of the session, echoed instead of shown in a box.
void EchoNotice(const std::string& caption, const std::string& text);
