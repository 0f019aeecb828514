// The window table, the installed backend, the queries backends and tests use
// to read a window's state, and the dialog-unit conversion.
#include <algorithm>
#include <map>

#include "winui/window_table.h"

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
  const std::vector<HWND> dialogs = detail::Dialogs();
  const auto active = std::find_if(dialogs.rbegin(), dialogs.rend(), [](HWND dialog) {
    const Window* window = Find(dialog);
    return window->visible && window->enabled && !window->destroying;
  });
  return active != dialogs.rend() ? *active : nullptr;
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
