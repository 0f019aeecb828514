// The backend of the portable window layer: what renders the windows and
// supplies the user's input. The window layer (winui/win32.h, the library
// qtr5_winui) keeps every window, control and message itself; a backend is
// told about every change so that it can show it, is asked to repaint at
// once, to wait for input when the message queue is empty, to show message
// boxes and the open-file dialog, and for the dialog font's metrics.
//
// Exactly one backend is installed at a time, at start-up, before the first
// window is created. Everything runs on the one user-interface thread; the
// backend's methods are called synchronously from inside the Windows calls of
// the application code (for example WindowChanged from inside SendMessageA),
// so they must not call back into dialog procedures except by posting
// messages (PostClick, PostTypedText, PostKey, PostClose, PostMessageA).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "winui/dialog_templates.h"
#include "winui/win32.h"

namespace qtr5 {

// What changed in a window or control.
enum class WindowChange {
  kShown,             // ShowWindow made it visible
  kHidden,            // ShowWindow(SW_HIDE), or a modal dialog ended
  kMoved,             // SetWindowPos changed its position or size
  kTopmost,           // its topmost state changed (HWND_TOPMOST / HWND_NOTOPMOST)
  kText,              // window text (WM_SETTEXT, SetWindowTextA, typing)
  kEnabled,           // enabled state (EnableWindow, a modal dialog disabling its owner)
  kImage,             // button picture (BM_SETIMAGE)
  kIcon,              // window icon (WM_SETICON)
  kProgressRange,     // progress bar range
  kProgressPosition,  // progress bar position
  kListColumns,       // list view column inserted, retitled or resized
  kListItems,         // list view row inserted, deleted or a cell text set
  kListSelection,     // list view item state (selection, focus)
};

// The dialog font's metrics as dialog base units: horizontal pixels per 4
// dialog units and vertical pixels per 8 dialog units.
struct DialogBaseUnits {
  int x;
  int y;
};

// The mapping used when the backend has no font (the terminal's, the
// tests'): the usual base units of an 8-point MS Sans Serif dialog at 96 dots per inch.
inline constexpr DialogBaseUnits kDefaultBaseUnits{6, 13};

// One filter of the open-file dialog: "Firmware file (*.HEX)" / "*.HEX".
// `patterns` may hold several patterns separated by ';'.
struct OpenFileFilter {
  std::string description;
  std::string patterns;
};

// What GetOpenFileNameA was asked for, decoded from OPENFILENAMEA.
struct OpenFileRequest {
  HWND owner = nullptr;
  std::string title;                    // lpstrTitle, "" for the default title
  std::vector<OpenFileFilter> filters;  // from the double-NUL-terminated lpstrFilter
  int filterIndex = 0;                  // nFilterIndex: 1-based, 0 for the first
  std::string initialPath;              // lpstrFile's initial contents
  std::string initialDirectory;         // lpstrInitialDir, "" for none
  DWORD flags = 0;                      // OFN_* bits; OFN_FILEMUSTEXIST is the backend's to enforce
  std::size_t maxPathLength = 0;        // nMaxFile - 1: longer answers make the call fail
};

class Backend {
 public:
  virtual ~Backend() = default;

  // A dialog and all its controls now exist (made from its template, not yet
  // visible unless the template says so); called before WM_INITDIALOG.
  virtual void WindowCreated(HWND dialog) { (void)dialog; }
  // A dialog or control is about to go: called after its WM_DESTROY was
  // handled, while its state can still be read. A dialog's controls are
  // reported before the dialog.
  virtual void WindowDestroyed(HWND window) { (void)window; }
  // The state of a dialog or control changed; read the new state with the
  // query functions below. Texts, pictures, icons, progress positions and
  // list contents are reported on every set, also to the value they already
  // had (WM_SETTEXT with the same text); the enabled, shown, topmost and
  // placement states only when they really change.
  virtual void WindowChanged(HWND window, WindowChange change) {
    (void)window;
    (void)change;
  }
  // UpdateWindow, and the synchronous repaint of a progress bar whose position
  // changed: paint `window` (dialog or control) now, even though no message
  // loop may be running (the download runs inside one command).
  virtual void Repaint(HWND window) { (void)window; }
  // A modal dialog (DialogBoxParamA) is up: its WM_INITDIALOG has run, it is
  // shown and its owner is disabled; its modal loop starts right after this.
  virtual void ModalLoopStarted(HWND dialog) { (void)dialog; }

  // The message queue is empty and GetMessageA needs a message. Wait for the
  // user's next action and post it (PostClick, PostTypedText, PostKey,
  // PostClose or PostMessageA). Return true when something was posted (or may
  // have been: GetMessageA then looks again and may call this again); return
  // false when no input will ever come, and GetMessageA then ends the loops
  // with a WM_QUIT whose wParam is kQuitNoInput (see QuitWasForced()).
  virtual bool WaitForInput() = 0;

  // MessageBoxA: show `text` with `caption` (never null here: a null caption
  // becomes "Error") and the buttons and icon of `type` (MB_* bits), owned by
  // `owner` (may be null); return the button chosen (IDOK, IDCANCEL, IDYES...).
  virtual int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                             UINT type) = 0;

  // GetOpenFileNameA: return the chosen path, or nothing when the user
  // cancelled. An answer longer than request.maxPathLength makes the call fail.
  virtual std::optional<std::string> ShowOpenFileDialog(const OpenFileRequest& request) = 0;

  // The dialog base units used to turn dialog units into pixels.
  virtual DialogBaseUnits BaseUnits() const { return kDefaultBaseUnits; }
};

// Makes `backend` the installed backend; nullptr installs the built-in silent
// one (no output, message boxes answer IDOK, the open-file dialog is
// cancelled, and no input ever comes). The backend must outlive its
// installation. Install it before creating windows: windows created under
// another backend are not re-announced.
void InstallBackend(Backend* backend);
// The installed backend (the silent one when none was installed).
Backend& CurrentBackend();

// Installs a backend for the lifetime of the object and restores the
// previous one afterwards.
class ScopedBackend {
 public:
  explicit ScopedBackend(Backend& backend);
  ~ScopedBackend();
  ScopedBackend(const ScopedBackend&) = delete;
  ScopedBackend& operator=(const ScopedBackend&) = delete;

 private:
  Backend* previous_;
};

// Drops every window, queued message and the pending quit, without calling
// any dialog procedure and without telling the backend; resets the forced-quit
// flag. For tests and test drivers that start each case from scratch. Must not
// be called while a dialog procedure or a modal loop is running.
void ResetWindowSystem();

// The wParam of the WM_QUIT that GetMessageA makes up when the backend says no
// input will ever come.
inline constexpr WPARAM kQuitNoInput = 0xDEAD;
// True once GetMessageA made up such a WM_QUIT (until ResetWindowSystem).
bool QuitWasForced();

// ---- Reading the window state (for rendering and for tests) ----

// The live dialogs, in creation order (owners before the dialogs they own).
std::vector<HWND> TopLevelWindows();
// The dialog that keyboard and mouse input goes to: the most recently created
// visible and enabled dialog (a modal dialog while one is up); null when none.
HWND ActiveDialog();
// The controls of `dialog`, in template order; empty for anything else.
std::vector<HWND> ChildWindows(HWND dialog);
// The template a dialog was made from, or nullptr (controls, invalid handles).
const DialogTemplate* DialogTemplateOf(HWND dialog);
// The template entry a control was made from, or nullptr.
const ControlTemplate* ControlTemplateOf(HWND control);
// The owner of a dialog given to CreateDialogParamA / DialogBoxParamA (null for none).
HWND OwnerOf(HWND dialog);
// True for a dialog made by DialogBoxParamA (from its creation on, so also
// inside WindowCreated and WM_INITDIALOG).
bool IsModalDialog(HWND dialog);
// True when the window is topmost (a system-modal template until SetWindowPos
// with HWND_NOTOPMOST).
bool IsTopmostWindow(HWND window);
// The window text ("" for invalid handles).
std::string WindowText(HWND window);
// True when the control and its dialog are enabled: a click or keystroke can reach it.
bool AcceptsInput(HWND window);
// Resource id of the bitmap a button shows (BM_SETIMAGE), 0 for none.
int ImageResourceId(HWND button);
// Resource id of a dialog's icon (WM_SETICON with ICON_SMALL or ICON_BIG), 0 for none.
int IconResourceId(HWND dialog, int which);
// Resource id carried by a bitmap or icon handle, 0 for null or unknown handles.
int ResourceIdOfHandle(HGDIOBJ handle);

struct ProgressState {
  int low = 0;
  int high = 100;
  int position = 0;
};
// A progress bar's range and position (defaults for anything else).
ProgressState ProgressOf(HWND progressBar);

struct ListColumnInfo {
  std::string title;
  int width = 0;  // pixels
};
struct ListRowInfo {
  std::vector<std::string> cells;  // one per column; "" where nothing was set
  UINT state = 0;                  // LVIS_* bits
};
// A list view's columns and rows (empty for anything else).
std::vector<ListColumnInfo> ListColumns(HWND listView);
std::vector<ListRowInfo> ListRows(HWND listView);

// Pixel rectangle of a dialog unit rectangle with the installed backend's base units.
RECT DialogUnitsToPixels(int x, int y, int cx, int cy);

// ---- The user's input, as a backend delivers it ----
// Each posts a message that the message loop then handles as Windows would;
// each returns false (and posts nothing) when the window is not valid or
// cannot take input (it or its dialog is disabled, or hidden).

// A click on a push button: posts BM_CLICK; when it is handled and the button
// still accepts input, the dialog receives WM_COMMAND(id, BN_CLICKED).
bool PostClick(HWND button);
// The user replaces the text of an edit box (typing, pasting): when handled
// and the box still accepts input, its text becomes `text` and the dialog
// receives WM_COMMAND(id, EN_CHANGE).
bool PostTypedText(HWND edit, std::string text);
// A key press (VK_RETURN, VK_ESCAPE, ...) in `window` (a dialog or one of its
// controls): posts WM_KEYDOWN; IsDialogMessageA turns Enter and Esc into commands.
bool PostKey(HWND window, UINT virtualKey);
// The title bar's close box: posts WM_CLOSE to the dialog.
bool PostClose(HWND dialog);
// The user selects row `row` of a list view (-1: clears the selection). Done
// at once (selection is the control's own state; no message is needed). A
// single-selection list loses its other selection. False for invalid rows.
bool SelectListRow(HWND listView, int row);

}  // namespace qtr5
