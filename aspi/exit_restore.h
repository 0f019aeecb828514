// Writes that put back a setting of the system the run changed for a while
// (on Linux the kernel's media polling of the drive), made whatever ends the
// program: the owner of the change undoes it and removes its entry when it
// is done; a signal handler that ends the program with _exit, and the exit
// of the program, make the writes still registered. Everything the writes
// need is copied when they are added, so that running them takes nothing
// but open, write and close.
#pragma once

#include <string>

// Registers writing `text` to the file at `path` (opened for writing, not
// created). The index of the entry, or -1 when the registry is full or the
// path or text is too long for it.
int AddExitRestore(const std::string& path, const std::string& text);
// Removes an entry (the owner has put the setting back itself); -1: nothing.
void RemoveExitRestore(int entry);
// Makes every registered write once and removes it. Safe in a signal
// handler; nothing on Windows, where nothing is registered.
void RunExitRestores();
