// The window table, the installed backend, and the window functions that
// read or change a window's general state (enabled, shown, placed, text).
#include <algorithm>
#include <cstring>
#include <map>

#include "platform/window_table.h"

namespace qtr5 {
namespace detail {
namespace {

struct Table {
  std::map<HWND, std::unique_ptr<Window>> windows;
  std::vector<HWND> dialogOrder;
  std::uintptr_t nextSerial = 1;
};

Table& TheTable() {
  static Table table;
  return table;
}

// The backend used when none is installed: shows nothing, answers every
// message box with IDOK, cancels the open-file dialog, never has input.
class SilentBackend : public Backend {
 public:
  bool WaitForInput() override { return false; }
  int ShowMessageBox(HWND, const std::string&, const std::string&, UINT) override { return IDOK; }
  std::optional<std::string> ShowOpenFileDialog(const OpenFileRequest&) override {
    return std::nullopt;
  }
};

SilentBackend g_silent;
Backend* g_backend = &g_silent;

}  // namespace

Window* Find(HWND handle) {
  if (handle == nullptr) return nullptr;
  auto& windows = TheTable().windows;
  auto found = windows.find(handle);
  return found == windows.end() ? nullptr : found->second.get();
}

Window& Add() {
  Table& table = TheTable();
  // Handles are spaced out and start far from zero, so small integers and
  // the special HWND_* values are never valid.
  HWND handle = reinterpret_cast<HWND>(0x10000 + table.nextSerial++ * 16);
  auto window = std::make_unique<Window>();
  window->handle = handle;
  Window& added = *window;
  table.windows.emplace(handle, std::move(window));
  return added;
}

void Remove(HWND handle) {
  Table& table = TheTable();
  std::erase(table.dialogOrder, handle);
  table.windows.erase(handle);
}

std::vector<HWND> Dialogs() {
  Table& table = TheTable();
  std::vector<HWND> live;
  for (HWND handle : table.dialogOrder) {
    if (Find(handle) != nullptr) live.push_back(handle);
  }
  return live;
}

void RegisterDialog(HWND handle) {
  TheTable().dialogOrder.push_back(handle);
}

void ClearTable() {
  Table& table = TheTable();
  table.windows.clear();
  table.dialogOrder.clear();
}

void Notify(HWND window, WindowChange change) {
  g_backend->WindowChanged(window, change);
}

POINT ClientOrigin(const Window& dialog) {
  return POINT{dialog.rect.left + kFrameWidth, dialog.rect.top + kFrameWidth + kCaptionHeight};
}

}  // namespace detail

using detail::Find;
using detail::Window;

void InstallBackend(Backend* backend) {
  detail::g_backend = backend ? backend : &detail::g_silent;
}
Backend& CurrentBackend() {
  return *detail::g_backend;
}

ScopedBackend::ScopedBackend(Backend& backend) : previous_(&CurrentBackend()) {
  InstallBackend(&backend);
}
ScopedBackend::~ScopedBackend() {
  InstallBackend(previous_);
}

void ResetWindowSystem() {
  detail::ClearTable();
  detail::ClearQueue();
  detail::ClearResourceHandles();
}

std::vector<HWND> TopLevelWindows() {
  return detail::Dialogs();
}

HWND ActiveDialog() {
  std::vector<HWND> dialogs = detail::Dialogs();
  for (auto it = dialogs.rbegin(); it != dialogs.rend(); ++it) {
    Window* window = Find(*it);
    if (window->visible && window->enabled && !window->destroying) return *it;
  }
  return nullptr;
}

std::vector<HWND> ChildWindows(HWND dialog) {
  Window* window = Find(dialog);
  if (window == nullptr || !window->isDialog) return {};
  return window->children;
}

const DialogTemplate* DialogTemplateOf(HWND dialog) {
  Window* window = Find(dialog);
  return window ? window->dialogTemplate : nullptr;
}

const ControlTemplate* ControlTemplateOf(HWND control) {
  Window* window = Find(control);
  return window ? window->controlTemplate : nullptr;
}

HWND OwnerOf(HWND dialog) {
  Window* window = Find(dialog);
  return window && window->isDialog ? window->owner : nullptr;
}

bool IsModalDialog(HWND dialog) {
  Window* window = Find(dialog);
  return window && window->modal;
}

bool IsTopmostWindow(HWND window) {
  Window* found = Find(window);
  return found && found->topmost;
}

std::string WindowText(HWND window) {
  Window* found = Find(window);
  return found ? found->text : std::string();
}

bool AcceptsInput(HWND window) {
  Window* found = Find(window);
  if (found == nullptr || found->destroying || !found->enabled || !found->visible) return false;
  if (found->isDialog) return true;
  Window* dialog = Find(found->parent);
  return dialog && !dialog->destroying && dialog->enabled && dialog->visible;
}

int ImageResourceId(HWND button) {
  Window* found = Find(button);
  return found ? found->imageId : 0;
}

int IconResourceId(HWND dialog, int which) {
  Window* found = Find(dialog);
  if (found == nullptr) return 0;
  return ResourceIdOfHandle(which == ICON_BIG ? found->bigIcon : found->smallIcon);
}

ProgressState ProgressOf(HWND progressBar) {
  Window* found = Find(progressBar);
  if (found == nullptr || found->kind != ControlKind::kProgressBar || found->isDialog) return {};
  return ProgressState{found->low, found->high, found->position};
}

std::vector<ListColumnInfo> ListColumns(HWND listView) {
  Window* found = Find(listView);
  std::vector<ListColumnInfo> columns;
  if (found == nullptr || found->isDialog) return columns;
  for (const auto& column : found->columns) columns.push_back({column.title, column.width});
  return columns;
}

std::vector<ListRowInfo> ListRows(HWND listView) {
  Window* found = Find(listView);
  std::vector<ListRowInfo> rows;
  if (found == nullptr || found->isDialog) return rows;
  std::size_t width = std::max<std::size_t>(found->columns.size(), 1);
  for (const auto& row : found->rows) {
    ListRowInfo info{row.cells, row.state};
    if (info.cells.size() < width) info.cells.resize(width);
    rows.push_back(std::move(info));
  }
  return rows;
}

namespace {
int Scale(int value, int numerator, int denominator) {
  // As MulDiv: rounded to the nearest integer.
  long long product = static_cast<long long>(value) * numerator;
  long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : (product - half) / denominator);
}

RECT MapWithUnits(const RECT& units, DialogBaseUnits base) {
  return RECT{Scale(units.left, base.x, 4), Scale(units.top, base.y, 8),
              Scale(units.right, base.x, 4), Scale(units.bottom, base.y, 8)};
}
}  // namespace

RECT DialogUnitsToPixels(int x, int y, int cx, int cy) {
  return MapWithUnits(RECT{x, y, x + cx, y + cy}, CurrentBackend().BaseUnits());
}

namespace detail {
RECT MapRect(const RECT& units, DialogBaseUnits base) {
  return MapWithUnits(units, base);
}
}  // namespace detail

}  // namespace qtr5

using qtr5::detail::Find;
using qtr5::detail::Window;

BOOL IsWindow(HWND window) {
  return Find(window) != nullptr;
}

HWND GetDlgItem(HWND dialog, int id) {
  Window* found = Find(dialog);
  if (found == nullptr || !found->isDialog) return nullptr;
  for (HWND child : found->children) {
    Window* control = Find(child);
    if (control && control->id == id) return child;
  }
  return nullptr;
}

int GetDlgCtrlID(HWND control) {
  Window* found = Find(control);
  return found && !found->isDialog ? found->id : 0;
}

HWND GetParent(HWND window) {
  Window* found = Find(window);
  if (found == nullptr) return nullptr;
  return found->isDialog ? found->owner : found->parent;
}

BOOL IsChild(HWND parent, HWND window) {
  Window* found = Find(window);
  return found && !found->isDialog && parent != nullptr && found->parent == parent;
}

BOOL IsWindowVisible(HWND window) {
  Window* found = Find(window);
  if (found == nullptr || !found->visible) return FALSE;
  if (found->isDialog) return TRUE;
  Window* dialog = Find(found->parent);
  return dialog && dialog->visible;
}

BOOL EnableWindow(HWND window, BOOL enable) {
  Window* found = Find(window);
  if (found == nullptr) return FALSE;
  bool wasDisabled = !found->enabled;
  bool want = enable != FALSE;
  if (found->enabled != want) {
    found->enabled = want;
    qtr5::detail::Notify(window, qtr5::WindowChange::kEnabled);
    SendMessageA(window, WM_ENABLE, want ? TRUE : FALSE, 0);
  }
  return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND window) {
  Window* found = Find(window);
  return found && found->enabled;
}

BOOL ShowWindow(HWND window, int showCommand) {
  Window* found = Find(window);
  if (found == nullptr) return FALSE;
  bool wasVisible = found->visible;
  bool want = showCommand != SW_HIDE;
  if (wasVisible != want) {
    found->visible = want;
    qtr5::detail::Notify(window, want ? qtr5::WindowChange::kShown : qtr5::WindowChange::kHidden);
  }
  return wasVisible ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND window) {
  if (Find(window) == nullptr) return FALSE;
  qtr5::CurrentBackend().Repaint(window);
  return TRUE;
}

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
  (void)rect;
  (void)erase;
  // Every change is rendered as it happens; UpdateWindow asks for the
  // synchronous repaint. A null window means the whole screen.
  return window == nullptr || Find(window) != nullptr ? TRUE : FALSE;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
  Window* found = Find(window);
  if (found == nullptr || rect == nullptr) return FALSE;
  if (found->isDialog) {
    *rect = found->rect;
    return TRUE;
  }
  Window* dialog = Find(found->parent);
  POINT origin = dialog ? qtr5::detail::ClientOrigin(*dialog) : POINT{0, 0};
  *rect = RECT{found->rect.left + origin.x, found->rect.top + origin.y,
               found->rect.right + origin.x, found->rect.bottom + origin.y};
  return TRUE;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
  Window* found = Find(window);
  if (found == nullptr || rect == nullptr) return FALSE;
  LONG width = found->rect.right - found->rect.left;
  LONG height = found->rect.bottom - found->rect.top;
  if (found->isDialog) {
    width -= 2 * qtr5::detail::kFrameWidth;
    height -= 2 * qtr5::detail::kFrameWidth + qtr5::detail::kCaptionHeight;
  }
  *rect = RECT{0, 0, std::max<LONG>(width, 0), std::max<LONG>(height, 0)};
  return TRUE;
}

BOOL MapDialogRect(HWND dialog, LPRECT rect) {
  Window* found = Find(dialog);
  if (found == nullptr || !found->isDialog || rect == nullptr) return FALSE;
  *rect = qtr5::detail::MapRect(*rect, found->baseUnits);
  return TRUE;
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  Window* found = Find(window);
  if (found == nullptr) return FALSE;
  RECT old = found->rect;
  RECT& rect = found->rect;
  if (!(flags & SWP_NOMOVE)) {
    LONG width = rect.right - rect.left;
    LONG height = rect.bottom - rect.top;
    rect = RECT{x, y, x + width, y + height};
  }
  if (!(flags & SWP_NOSIZE)) {
    rect.right = rect.left + std::max(cx, 0);
    rect.bottom = rect.top + std::max(cy, 0);
  }
  if (std::memcmp(&old, &rect, sizeof rect) != 0) {
    qtr5::detail::Notify(window, qtr5::WindowChange::kMoved);
  }
  if (!(flags & SWP_NOZORDER) && found->isDialog &&
      (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST)) {
    bool topmost = insertAfter == HWND_TOPMOST;
    if (found->topmost != topmost) {
      found->topmost = topmost;
      qtr5::detail::Notify(window, qtr5::WindowChange::kTopmost);
    }
  }
  if (flags & SWP_SHOWWINDOW) ShowWindow(window, SW_SHOW);
  return TRUE;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  if (Find(window) == nullptr) return FALSE;
  return static_cast<BOOL>(
      SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")));
}

int GetWindowTextA(HWND window, LPSTR buffer, int size) {
  if (Find(window) == nullptr) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return 0;
  }
  return static_cast<int>(SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(std::max(size, 0)),
                                       reinterpret_cast<LPARAM>(buffer)));
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  HWND control = GetDlgItem(dialog, id);
  return control ? SetWindowTextA(control, text) : FALSE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size) {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return 0;
  }
  return static_cast<UINT>(GetWindowTextA(control, buffer, size));
}
