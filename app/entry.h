// The body of the program entry, shared by every front end's main function.
#pragma once

#include "session/outcome.h"
#include "winui/winapi.h"

// Exit status when the program could not start: the main window or its
// report list could not be made. The message has been shown (status line or
// message box) before it returns.
inline constexpr int kStartUpFailedStatus = static_cast<int>(Outcome::kInternalFailure);

struct RunContext;

// Builds the application for `run` from dialog template 102 and
// MainDialogProc, sets g_app, runs the message loop, destroys the
// application and returns the loop's value (0 after the main window was
// closed), or kStartUpFailedStatus. What the run did is in run.record, its
// outcome decided as it went.
int AppMain(HINSTANCE instance, int showCommand, RunContext& run);

// The same with another main dialog template (AppMain passes 102).
int RunApplication(HINSTANCE instance, LPCSTR templateName, int showCommand, RunContext& run);
