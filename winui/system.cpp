// Message boxes, the open-file dialog, bitmap and icon resources, the common
// controls, and the clock and power functions.
#include <algorithm>
#include <cstring>
#include <map>

#include "system/clock.h"
#include "system/power.h"
#include "winui/window_table.h"

namespace qtr5::detail {
namespace {

struct ResourceHandles {
  std::map<std::uintptr_t, int> ids;  // live handle -> resource id
  std::uintptr_t nextSerial = 1;
};

ResourceHandles& Handles() {
  static ResourceHandles handles;
  return handles;
}

// A new handle carrying `id`; every load makes a distinct object, as
// LoadBitmap does.
void* NewHandle(int id) {
  ResourceHandles& handles = Handles();
  std::uintptr_t value = 0x7000000 + handles.nextSerial++ * 16;
  handles.ids.emplace(value, id);
  return reinterpret_cast<void*>(value);
}

bool Contains(std::span<const int> ids, int id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// The system icons (IDI_APPLICATION .. IDI_INFORMATION).
constexpr int kFirstSystemIcon = 32512;
constexpr int kLastSystemIcon = 32518;

// The resources of each module, as registered.
std::map<HINSTANCE, const ModuleResources*>& Modules() {
  static std::map<HINSTANCE, const ModuleResources*> modules;
  return modules;
}

}  // namespace

const ModuleResources* ResourcesOf(HINSTANCE instance) {
  auto found = Modules().find(instance);
  return found == Modules().end() ? nullptr : found->second;
}

void ClearResourceHandles() {
  Handles() = ResourceHandles{};
}

}  // namespace qtr5::detail

namespace qtr5 {
void RegisterModuleResources(HINSTANCE instance, const ModuleResources* resources) {
  if (resources == nullptr) {
    detail::Modules().erase(instance);
  } else {
    detail::Modules()[instance] = resources;
  }
}

int ResourceIdOfHandle(HGDIOBJ handle) {
  auto& ids = detail::Handles().ids;
  auto found = ids.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == ids.end() ? 0 : found->second;
}
}  // namespace qtr5

HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name) {
  if (name == nullptr || !IS_INTRESOURCE(name)) return nullptr;
  int id = static_cast<int>(reinterpret_cast<UINT_PTR>(name));
  const qtr5::ModuleResources* module = qtr5::detail::ResourcesOf(instance);
  if (module == nullptr || !qtr5::detail::Contains(module->bitmaps, id)) return nullptr;
  return static_cast<HBITMAP>(qtr5::detail::NewHandle(id));
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  if (name == nullptr || !IS_INTRESOURCE(name)) return nullptr;
  int id = static_cast<int>(reinterpret_cast<UINT_PTR>(name));
  bool system = id >= qtr5::detail::kFirstSystemIcon && id <= qtr5::detail::kLastSystemIcon;
  const qtr5::ModuleResources* module = qtr5::detail::ResourcesOf(instance);
  if (!system && (module == nullptr || !qtr5::detail::Contains(module->icons, id))) return nullptr;
  return static_cast<HICON>(qtr5::detail::NewHandle(id));
}

BOOL DeleteObject(HGDIOBJ object) {
  return qtr5::detail::Handles().ids.erase(reinterpret_cast<std::uintptr_t>(object)) ? TRUE : FALSE;
}

void InitCommonControls() {}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  if (owner != nullptr && !IsWindow(owner)) return 0;
  return qtr5::CurrentBackend().ShowMessageBox(owner, text ? text : "", caption ? caption : "Error",
                                               type);
}

BOOL GetOpenFileNameA(OPENFILENAMEA* ofn) {
  if (ofn == nullptr || ofn->lpstrFile == nullptr || ofn->nMaxFile == 0) return FALSE;
  if (ofn->hwndOwner != nullptr && !IsWindow(ofn->hwndOwner)) return FALSE;
  qtr5::OpenFileRequest request;
  request.owner = ofn->hwndOwner;
  if (ofn->lpstrTitle) request.title = ofn->lpstrTitle;
  if (ofn->lpstrInitialDir) request.initialDirectory = ofn->lpstrInitialDir;
  // The filter is pairs of strings (description, patterns), ended by an
  // empty string.
  for (const char* cursor = ofn->lpstrFilter; cursor != nullptr && *cursor != '\0';) {
    qtr5::OpenFileFilter filter;
    filter.description = cursor;
    cursor += filter.description.size() + 1;
    if (*cursor == '\0') break;
    filter.patterns = cursor;
    cursor += filter.patterns.size() + 1;
    request.filters.push_back(std::move(filter));
  }
  request.filterIndex = static_cast<int>(ofn->nFilterIndex);
  request.initialPath.assign(ofn->lpstrFile, strnlen(ofn->lpstrFile, ofn->nMaxFile));
  request.flags = ofn->Flags;
  request.maxPathLength = ofn->nMaxFile - 1;

  std::optional<std::string> chosen = qtr5::CurrentBackend().ShowOpenFileDialog(request);
  if (!chosen || chosen->empty() || chosen->size() > request.maxPathLength) return FALSE;
  std::memcpy(ofn->lpstrFile, chosen->c_str(), chosen->size() + 1);
  std::size_t slash = chosen->find_last_of('/');
  std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = chosen->find_last_of('.');
  ofn->nFileOffset = static_cast<WORD>(nameStart);
  ofn->nFileExtension =
      static_cast<WORD>(dot == std::string::npos || dot < nameStart ? chosen->size() : dot + 1);
  if (ofn->lpstrFileTitle != nullptr && ofn->nMaxFileTitle > 0) {
    qtr5::detail::CopyText(chosen->substr(nameStart), ofn->lpstrFileTitle, ofn->nMaxFileTitle);
  }
  return TRUE;
}

DWORD GetTickCount() {
  return qtr5::CurrentClock().TickCount();
}

void Sleep(DWORD milliseconds) {
  qtr5::CurrentClock().Sleep(milliseconds);
}

DWORD SetThreadExecutionState(DWORD flags) {
  return qtr5::SetExecutionState(flags);
}
