// The main window of the Windows program while the download runs: the waits
// of the progress display and the settle delay answer the window's messages
// (it repaints, moves, and hears a close request at once), and a close
// request, which the window refuses then, is answered with a note that says
// why. The note is withdrawn when the download has ended.
#pragma once

// Installs the message pump of the waits and the note; undone by
// StopBusyWindow. The main thread's thread timers (the automation of --yes)
// do not run inside the waits: they act when the window waits for its user.
void StartBusyWindow();
void StopBusyWindow();
