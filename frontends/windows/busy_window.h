// The main window of the Windows program while it works with the drive (the
// start-up's scan and tray, the download): the waits answer the window's
// messages (it repaints, moves, and hears a close request at once), and a
// close request, which the window refuses then, is answered with a note that
// says why. The note is withdrawn when that work has ended.
#pragma once

// Installs the note; undone by StopBusyWindow.
void StartBusyWindow();
void StopBusyWindow();
// The message pump of the waits (the front end hands it to the run). The
// main thread's thread timers (the automation of --yes) do not run inside
// the waits: they act when the window waits for its user.
void PumpBusyWindow();
