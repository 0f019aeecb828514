// The headless backend: the test driver of the portable window layer.
#include "tests/support/headless/headless.h"

#include <algorithm>

namespace qtr5 {
namespace {

// How often the driver closes the same dialog for lack of input before it
// reports that no input will come.
constexpr int kForcedCloseLimit = 2;

class DepthGuard {
 public:
  explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
  ~DepthGuard() { --depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

 private:
  int& depth_;
};

std::string Describe(HWND dialog) {
  const DialogTemplate* dialogTemplate = DialogTemplateOf(dialog);
  std::string text = "dialog ";
  text += dialogTemplate ? std::to_string(dialogTemplate->id) : std::string("?");
  text += " \"" + WindowText(dialog) + "\"";
  return text;
}

}  // namespace

HeadlessDriver::HeadlessDriver() {
  ResetWindowSystem();
  Install();
}

HeadlessDriver::~HeadlessDriver() {
  Uninstall();
  ResetWindowSystem();
}

void HeadlessDriver::Install() {
  if (installed_) return;
  previous_ = &CurrentBackend();
  InstallBackend(this);
  installed_ = true;
}

void HeadlessDriver::Uninstall() {
  if (!installed_) return;
  if (&CurrentBackend() == this) InstallBackend(previous_ == this ? nullptr : previous_);
  installed_ = false;
}

// ---- acting as the user ----

bool HeadlessDriver::AfterPost(bool posted) {
  // From the test body the action is handled at once; from inside the
  // program's loop, the loop handles it.
  if (posted && loopDepth_ == 0) Pump();
  return posted;
}

bool HeadlessDriver::Type(HWND dialog, int id, const std::string& text) {
  return AfterPost(PostTypedText(GetDlgItem(dialog, id), text));
}

bool HeadlessDriver::Click(HWND dialog, int id) {
  return AfterPost(PostClick(GetDlgItem(dialog, id)));
}

bool HeadlessDriver::PressEnter(HWND dialog) {
  return AfterPost(PostKey(dialog, VK_RETURN));
}

bool HeadlessDriver::PressEscape(HWND dialog) {
  return AfterPost(PostKey(dialog, VK_ESCAPE));
}

bool HeadlessDriver::Close(HWND dialog) {
  return AfterPost(PostClose(dialog));
}

bool HeadlessDriver::SelectRow(HWND dialog, int id, int row) {
  HWND list = GetDlgItem(dialog, id);
  return AcceptsInput(list) && SelectListRow(list, row);
}

int HeadlessDriver::Pump() {
  int count = 0;
  MSG msg{};
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) && msg.message != WM_QUIT) {
    PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    ++count;
    HWND dialog = msg.hwnd;
    if (dialog != nullptr && DialogTemplateOf(dialog) == nullptr) dialog = GetParent(dialog);
    if (dialog == nullptr || !IsDialogMessageA(dialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return count;
}

// ---- scripting ----

void HeadlessDriver::AnswerMessageBox(int answer) {
  messageBoxAnswers_.push_back(answer);
}

void HeadlessDriver::AnswerOpenFile(std::optional<std::string> path) {
  openFileAnswers_.push_back(std::move(path));
}

void HeadlessDriver::AnswerDialog(int templateId, DialogAnswer answer) {
  dialogAnswers_[templateId].push_back(std::move(answer));
}

void HeadlessDriver::Then(Step step) {
  steps_.push_back(std::move(step));
}

int HeadlessDriver::RunMessageLoop(HWND dialog) {
  MSG msg{};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageA(dialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}

bool HeadlessDriver::ScriptExhausted() const {
  bool dialogsLeft = std::any_of(dialogAnswers_.begin(), dialogAnswers_.end(),
                                 [](const auto& entry) { return !entry.second.empty(); });
  return steps_.empty() && messageBoxAnswers_.empty() && openFileAnswers_.empty() && !dialogsLeft;
}

// ---- reading back ----

HWND HeadlessDriver::FindDialog(int templateId) const {
  for (auto it = dialogs_.rbegin(); it != dialogs_.rend(); ++it) {
    if (it->templateId == templateId && IsWindow(it->handle)) return it->handle;
  }
  return nullptr;
}

int HeadlessDriver::ModalCount(int templateId) const {
  auto found = modalCounts_.find(templateId);
  return found == modalCounts_.end() ? 0 : found->second;
}

HWND HeadlessDriver::ControlOf(HWND dialog, int id) const {
  if (HWND live = GetDlgItem(dialog, id)) return live;
  auto found = controlsById_.find({dialog, id});
  return found == controlsById_.end() ? nullptr : found->second;
}

const HeadlessDriver::ControlRecord* HeadlessDriver::RecordOf(HWND dialog, int id) const {
  auto found = records_.find(ControlOf(dialog, id));
  return found == records_.end() ? nullptr : &found->second;
}

std::string HeadlessDriver::Text(HWND dialog, int id) const {
  HWND control = ControlOf(dialog, id);
  if (IsWindow(control)) return WindowText(control);
  const ControlRecord* record = RecordOf(dialog, id);
  return record && !record->texts.empty() ? record->texts.back() : std::string();
}

bool HeadlessDriver::Enabled(HWND dialog, int id) const {
  HWND control = ControlOf(dialog, id);
  if (IsWindow(control)) return IsWindowEnabled(control) != FALSE;
  const ControlRecord* record = RecordOf(dialog, id);
  return record && !record->enabled.empty() && record->enabled.back();
}

bool HeadlessDriver::Visible(HWND window) const {
  return IsWindowVisible(window) != FALSE;
}

int HeadlessDriver::Picture(HWND dialog, int id) const {
  HWND control = ControlOf(dialog, id);
  if (IsWindow(control)) return ImageResourceId(control);
  const ControlRecord* record = RecordOf(dialog, id);
  return record && !record->pictures.empty() ? record->pictures.back() : 0;
}

int HeadlessDriver::Progress(HWND dialog, int id) const {
  HWND control = ControlOf(dialog, id);
  if (IsWindow(control)) return ProgressOf(control).position;
  const ControlRecord* record = RecordOf(dialog, id);
  return record && !record->positions.empty() ? record->positions.back() : 0;
}

ProgressState HeadlessDriver::ProgressRange(HWND dialog, int id) const {
  return ProgressOf(ControlOf(dialog, id));
}

std::vector<ListColumnInfo> HeadlessDriver::Columns(HWND dialog, int id) const {
  HWND control = ControlOf(dialog, id);
  if (IsWindow(control)) return ListColumns(control);
  auto found = lastColumns_.find(control);
  return found == lastColumns_.end() ? std::vector<ListColumnInfo>{} : found->second;
}

std::vector<std::vector<std::string>> HeadlessDriver::Rows(HWND dialog, int id) const {
  HWND control = ControlOf(dialog, id);
  std::vector<ListRowInfo> rows;
  if (IsWindow(control)) {
    rows = ListRows(control);
  } else if (auto found = lastRows_.find(control); found != lastRows_.end()) {
    rows = found->second;
  }
  std::vector<std::vector<std::string>> cells;
  for (auto& row : rows) cells.push_back(std::move(row.cells));
  return cells;
}

std::string HeadlessDriver::Cell(HWND dialog, int id, int row, int column) const {
  auto rows = Rows(dialog, id);
  if (row < 0 || row >= static_cast<int>(rows.size())) return {};
  if (column < 0 || column >= static_cast<int>(rows[row].size())) return {};
  return rows[row][column];
}

std::vector<int> HeadlessDriver::SelectedRows(HWND dialog, int id) const {
  HWND control = ControlOf(dialog, id);
  std::vector<ListRowInfo> rows;
  if (IsWindow(control)) {
    rows = ListRows(control);
  } else if (auto found = lastRows_.find(control); found != lastRows_.end()) {
    rows = found->second;
  }
  std::vector<int> selected;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].state & LVIS_SELECTED) selected.push_back(static_cast<int>(i));
  }
  return selected;
}

std::vector<std::string> HeadlessDriver::TextHistory(HWND dialog, int id) const {
  const ControlRecord* record = RecordOf(dialog, id);
  return record ? record->texts : std::vector<std::string>{};
}

std::vector<int> HeadlessDriver::PictureHistory(HWND dialog, int id) const {
  const ControlRecord* record = RecordOf(dialog, id);
  return record ? record->pictures : std::vector<int>{};
}

std::vector<int> HeadlessDriver::ProgressHistory(HWND dialog, int id) const {
  const ControlRecord* record = RecordOf(dialog, id);
  return record ? record->positions : std::vector<int>{};
}

std::vector<bool> HeadlessDriver::EnabledHistory(HWND dialog, int id) const {
  const ControlRecord* record = RecordOf(dialog, id);
  return record ? record->enabled : std::vector<bool>{};
}

int HeadlessDriver::RepaintCount(HWND window) const {
  auto found = repaints_.find(window);
  return found == repaints_.end() ? 0 : found->second;
}

// ---- backend ----

void HeadlessDriver::Record(HWND control) {
  ControlRecord& record = records_[control];
  record.texts.push_back(WindowText(control));
  record.enabled.push_back(IsWindowEnabled(control) != FALSE);
}

void HeadlessDriver::WindowCreated(HWND dialog) {
  const DialogTemplate* dialogTemplate = DialogTemplateOf(dialog);
  dialogs_.push_back(CreatedDialog{dialogTemplate ? dialogTemplate->id : 0, dialog, OwnerOf(dialog),
                                   IsModalDialog(dialog)});
  Record(dialog);
  for (HWND child : ChildWindows(dialog)) {
    int id = GetDlgCtrlID(child);
    if (id != -1) controlsById_[{dialog, id}] = child;
    Record(child);
  }
}

void HeadlessDriver::WindowDestroyed(HWND window) {
  if (const ControlTemplate* control = ControlTemplateOf(window);
      control && control->kind == ControlKind::kListView) {
    lastColumns_[window] = ListColumns(window);
    lastRows_[window] = ListRows(window);
  }
}

void HeadlessDriver::WindowChanged(HWND window, WindowChange change) {
  ControlRecord& record = records_[window];
  switch (change) {
    case WindowChange::kText:
      record.texts.push_back(WindowText(window));
      break;
    case WindowChange::kEnabled:
      record.enabled.push_back(IsWindowEnabled(window) != FALSE);
      break;
    case WindowChange::kImage:
      record.pictures.push_back(ImageResourceId(window));
      break;
    case WindowChange::kProgressPosition:
      record.positions.push_back(ProgressOf(window).position);
      break;
    default:
      break;
  }
}

void HeadlessDriver::Repaint(HWND window) {
  ++repaints_[window];
  ++totalRepaints_;
}

void HeadlessDriver::ModalLoopStarted(HWND dialog) {
  const DialogTemplate* dialogTemplate = DialogTemplateOf(dialog);
  int templateId = dialogTemplate ? dialogTemplate->id : 0;
  ++modalCounts_[templateId];
  auto& answers = dialogAnswers_[templateId];
  if (answers.empty()) return;
  DialogAnswer answer = std::move(answers.front());
  answers.pop_front();
  DepthGuard guard(loopDepth_);
  answer(*this, dialog);
}

bool HeadlessDriver::WaitForInput() {
  DepthGuard guard(loopDepth_);
  if (!steps_.empty()) {
    Step step = std::move(steps_.front());
    steps_.pop_front();
    step(*this);
    return true;
  }
  HWND active = ActiveDialog();
  if (active == nullptr) {
    unscripted_.push_back("input asked for with no dialog open: no input will come");
    return false;
  }
  int& closes = forcedClosesOf_[active];
  if (closes >= kForcedCloseLimit) {
    unscripted_.push_back("closing " + Describe(active) +
                          " did not end the wait: no input will come");
    return false;
  }
  ++closes;
  unscripted_.push_back("input asked for with nothing scripted: closed " + Describe(active));
  return PostClose(active);
}

int HeadlessDriver::ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                                   UINT type) {
  int answer = IDOK;
  if (!messageBoxAnswers_.empty()) {
    answer = messageBoxAnswers_.front();
    messageBoxAnswers_.pop_front();
  }
  messageBoxes_.push_back(ShownMessageBox{owner, text, caption, type, answer});
  return answer;
}

std::optional<std::string> HeadlessDriver::ShowOpenFileDialog(const OpenFileRequest& request) {
  openFileRequests_.push_back(request);
  if (openFileAnswers_.empty()) {
    unscripted_.push_back("open-file dialog with no scripted answer: cancelled");
    return std::nullopt;
  }
  std::optional<std::string> answer = std::move(openFileAnswers_.front());
  openFileAnswers_.pop_front();
  return answer;
}

}  // namespace qtr5
