// The headless backend: no output, driven by tests. A test acts as the user
// (types into a box, clicks a button, presses Enter or Esc, closes a window),
// scripts in advance the answers to message boxes, the open-file dialog and
// modal dialogs, and reads back every control's state and history.
//
// Actions go through the message queue as real input does. Called from the
// test body (no message loop running), an action is handled at once: the
// driver pumps the queue before returning. Called from inside the program's
// message loop (a scripted step or a modal-dialog answer), it is only posted
// and the running loop handles it.
//
// The driver never blocks: when the program waits for input and nothing is
// scripted, it records that (UnscriptedWaits()) and closes the active dialog
// as the title bar's close box would; if that does not end the wait, after a
// few attempts it reports that no input will come, which ends the loops with
// a forced WM_QUIT (QuitWasForced()).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "winui/backend.h"

namespace qtr5 {

// A message box as it was shown.
struct ShownMessageBox {
  HWND owner = nullptr;
  std::string text;
  std::string caption;
  UINT type = 0;                                       // MB_* bits as given
  int answer = 0;                                      // what the driver answered
  UINT Icon() const { return type & MB_ICONMASK; }     // MB_ICONERROR, MB_ICONWARNING, ...
  UINT Buttons() const { return type & MB_TYPEMASK; }  // MB_OK, MB_OKCANCEL, ...
};

// A dialog the program created.
struct CreatedDialog {
  int templateId = 0;
  HWND handle = nullptr;
  HWND owner = nullptr;
  bool modal = false;
};

class HeadlessDriver : public Backend {
 public:
  using Step = std::function<void(HeadlessDriver&)>;
  using DialogAnswer = std::function<void(HeadlessDriver&, HWND dialog)>;

  // Starts from a clean window system (ResetWindowSystem) and installs
  // itself; the destructor uninstalls it (restoring the previous backend) and
  // resets the window system again.
  HeadlessDriver();
  ~HeadlessDriver() override;
  HeadlessDriver(const HeadlessDriver&) = delete;
  HeadlessDriver& operator=(const HeadlessDriver&) = delete;

  // Installs / uninstalls explicitly (the constructor already installed it).
  void Install();
  void Uninstall();

  // ---- Acting as the user (false when the control cannot take the input) ----
  // Replaces the text of edit box `id` and raises EN_CHANGE, as typing would;
  // only when the box and its dialog are enabled.
  bool Type(HWND dialog, int id, const std::string& text);
  // Clicks button `id`; only when it and its dialog are enabled.
  bool Click(HWND dialog, int id);
  // Presses Enter / Esc in `dialog` (through the dialog keyboard handling).
  bool PressEnter(HWND dialog);
  bool PressEscape(HWND dialog);
  // The title bar's close box of `dialog` (WM_CLOSE).
  bool Close(HWND dialog);
  // Selects row `row` of list view `id` (-1 clears the selection).
  bool SelectRow(HWND dialog, int id, int row);
  // Handles every queued message now (with the dialog keyboard handling of
  // each message's dialog), without waiting for input; returns how many.
  int Pump();

  // ---- Scripting answers in advance ----
  // The next message boxes answer these, in order; afterwards IDOK.
  void AnswerMessageBox(int answer);
  // The next open-file dialogs answer these paths (nullopt: the user
  // cancels), in order; when none is left the dialog is cancelled and the
  // wait is recorded in UnscriptedWaits().
  void AnswerOpenFile(std::optional<std::string> path);
  // The next modal dialog made from `templateId` runs `answer` once it is up
  // (after WM_INITDIALOG): it may select rows and click, press keys or close;
  // those are handled by the dialog's modal loop. One answer per showing, in order.
  void AnswerDialog(int templateId, DialogAnswer answer);
  // When the program waits for input with an empty queue, the next step runs
  // (one per wait, in order); a step typically clicks, types or closes.
  void Then(Step step);

  // Runs a message loop like the program's until WM_QUIT (returns its wParam):
  // GetMessageA, IsDialogMessageA(dialog), TranslateMessage, DispatchMessageA.
  int RunMessageLoop(HWND dialog);

  // ---- Reading back ----
  // The most recently created live dialog made from `templateId`, or null.
  HWND FindDialog(int templateId) const;
  // Every dialog created since the driver was made, in order.
  const std::vector<CreatedDialog>& Dialogs() const { return dialogs_; }
  // Number of dialogs of `templateId` shown modally so far.
  int ModalCount(int templateId) const;

  HWND Control(HWND dialog, int id) const { return GetDlgItem(dialog, id); }
  // The current state of a control; once it was destroyed, the last state it had.
  std::string Text(HWND dialog, int id) const;
  bool Enabled(HWND dialog, int id) const;
  bool Visible(HWND window) const;
  int Picture(HWND dialog, int id) const;   // bitmap resource id on a button, 0 for none
  int Progress(HWND dialog, int id) const;  // progress bar position
  ProgressState ProgressRange(HWND dialog, int id) const;
  std::vector<ListColumnInfo> Columns(HWND dialog, int id) const;
  // Cells of every row of list view `id`: rows[r][c].
  std::vector<std::vector<std::string>> Rows(HWND dialog, int id) const;
  // Cell text of row `row`, column `column` ("" when it does not exist).
  std::string Cell(HWND dialog, int id, int row, int column) const;
  // Rows whose LVIS_SELECTED bit is set, in row order.
  std::vector<int> SelectedRows(HWND dialog, int id) const;

  // Every value a control was given, in order, from its creation on (the
  // template's text and enabled state first), also after it was destroyed.
  // Texts, pictures and positions include repeats of the same value; the
  // enabled history holds only real changes.
  std::vector<std::string> TextHistory(HWND dialog, int id) const;
  std::vector<int> PictureHistory(HWND dialog, int id) const;
  std::vector<int> ProgressHistory(HWND dialog, int id) const;
  std::vector<bool> EnabledHistory(HWND dialog, int id) const;

  // Every message box shown, in order.
  const std::vector<ShownMessageBox>& MessageBoxes() const { return messageBoxes_; }
  // Every open-file dialog asked for, in order.
  const std::vector<OpenFileRequest>& OpenFileRequests() const { return openFileRequests_; }
  // Repaints (UpdateWindow, synchronous progress repaints) of a window or
  // control, and of everything.
  int RepaintCount(HWND window) const;
  int RepaintCount() const { return totalRepaints_; }
  // One line for every time the program waited for input that was not
  // scripted (and what the driver did about it); empty when the script
  // covered everything.
  const std::vector<std::string>& UnscriptedWaits() const { return unscripted_; }
  // Scripted answers and steps not used yet.
  bool ScriptExhausted() const;

  // ---- Backend ----
  void WindowCreated(HWND dialog) override;
  void WindowDestroyed(HWND window) override;
  void WindowChanged(HWND window, WindowChange change) override;
  void Repaint(HWND window) override;
  void ModalLoopStarted(HWND dialog) override;
  bool WaitForInput() override;
  int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                     UINT type) override;
  std::optional<std::string> ShowOpenFileDialog(const OpenFileRequest& request) override;

 private:
  struct ControlRecord {
    std::vector<std::string> texts;
    std::vector<int> pictures;
    std::vector<int> positions;
    std::vector<bool> enabled;
  };
  void Record(HWND control);
  const ControlRecord* RecordOf(HWND dialog, int id) const;
  HWND ControlOf(HWND dialog, int id) const;
  bool AfterPost(bool posted);

  bool installed_ = false;
  Backend* previous_ = nullptr;
  int loopDepth_ = 0;  // > 0 while the program's message loop asks for input
  std::deque<int> messageBoxAnswers_;
  std::deque<std::optional<std::string>> openFileAnswers_;
  std::map<int, std::deque<DialogAnswer>> dialogAnswers_;
  std::deque<Step> steps_;
  std::vector<CreatedDialog> dialogs_;
  std::map<int, int> modalCounts_;
  std::map<HWND, ControlRecord> records_;
  std::map<std::pair<HWND, int>, HWND>
      controlsById_;  // (dialog, id) -> control, kept after destruction
  std::vector<ShownMessageBox> messageBoxes_;
  std::vector<OpenFileRequest> openFileRequests_;
  std::map<HWND, int> repaints_;
  std::map<HWND, int> forcedClosesOf_;  // dialogs the driver closed for lack of input
  std::map<HWND, std::vector<ListColumnInfo>> lastColumns_;  // list views, when destroyed
  std::map<HWND, std::vector<ListRowInfo>> lastRows_;
  int totalRepaints_ = 0;
  std::vector<std::string> unscripted_;
};

}  // namespace qtr5
