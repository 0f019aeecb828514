// The end of the Windows session (log off, shut down, restart) while a drive
// rewrites its firmware: from the download command until the time the drive
// has to reprogram itself has ended (while the flow keeps the machine awake,
// system/system_time.h) the main window refuses WM_QUERYENDSESSION and,
// where Windows has the call (Vista on; not XP), gives the reason its
// shutdown screen shows. Before and after, the session ends as usual.
#pragma once

// What the shutdown screen says the program is doing.
inline constexpr const wchar_t* kSessionEndReason =
    L"A CD-ROM drive is rewriting its firmware. Switching off now can leave it unusable.";

// Watches the flow's request to keep the machine awake from now on; undone
// by StopSessionEndGuard.
void StartSessionEndGuard();
void StopSessionEndGuard();
