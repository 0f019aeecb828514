// Dialogs: creation from the templates, modal dialogs with their own message
// loop, ending and destroying, and synchronous message sending with the
// dialog manager's default handling.
#include "winui/window_table.h"

namespace {

using qtr5::detail::Find;
using qtr5::detail::Window;

// The owner a dialog really gets: the dialog of a control given as owner.
HWND TopLevelOf(HWND window) {
  Window* found = Find(window);
  if (found == nullptr) return nullptr;
  return found->isDialog ? window : found->parent;
}

// The template `name` of module `instance`, or nullptr.
const qtr5::DialogTemplate* FindTemplate(HINSTANCE instance, LPCSTR name) {
  const qtr5::ModuleResources* module = qtr5::detail::ResourcesOf(instance);
  if (module == nullptr || name == nullptr || !IS_INTRESOURCE(name)) return nullptr;
  const int id = static_cast<int>(reinterpret_cast<UINT_PTR>(name));
  for (const qtr5::DialogTemplate& dialog : module->dialogs) {
    if (dialog.id == id) return &dialog;
  }
  return nullptr;
}

HWND CreateFromTemplate(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam, bool modal) {
  const qtr5::DialogTemplate* dialogTemplate = FindTemplate(instance, templateName);
  if (dialogTemplate == nullptr) return nullptr;
  if (owner != nullptr) {
    owner = TopLevelOf(owner);
    if (owner == nullptr) return nullptr;  // an owner that is not a window
  }

  qtr5::Backend& backend = qtr5::CurrentBackend();
  Window& dialog = qtr5::detail::Add();
  HWND handle = dialog.handle;
  dialog.isDialog = true;
  dialog.dialogTemplate = dialogTemplate;
  dialog.owner = owner;
  dialog.proc = dialogProc;
  dialog.modal = modal;
  dialog.style = dialogTemplate->style;
  dialog.text = dialogTemplate->title;
  dialog.enabled = (dialogTemplate->style & WS_DISABLED) == 0;
  dialog.visible = false;  // shown after WM_INITDIALOG when the template says so
  dialog.topmost = (dialogTemplate->style & DS_SYSMODAL) != 0;
  dialog.baseUnits = backend.BaseUnits();

  // The template's position is relative to the owner's client area.
  POINT origin{0, 0};
  if (Window* ownerWindow = Find(owner)) origin = qtr5::detail::ClientOrigin(*ownerWindow);
  RECT place = qtr5::detail::MapRect(
      RECT{dialogTemplate->x, dialogTemplate->y, dialogTemplate->x + dialogTemplate->cx,
           dialogTemplate->y + dialogTemplate->cy},
      dialog.baseUnits);
  LONG width = place.right - place.left + 2 * qtr5::detail::kFrameWidth;
  LONG height =
      place.bottom - place.top + 2 * qtr5::detail::kFrameWidth + qtr5::detail::kCaptionHeight;
  dialog.rect = RECT{origin.x + place.left, origin.y + place.top, origin.x + place.left + width,
                     origin.y + place.top + height};
  qtr5::detail::RegisterDialog(handle);

  HWND firstTabStop = nullptr;
  for (const qtr5::ControlTemplate& control : dialogTemplate->controls) {
    Window& child = qtr5::detail::Add();
    child.parent = handle;
    child.controlTemplate = &control;
    child.id = control.id;
    child.kind = control.kind;
    child.style = control.style;
    child.text = control.text;
    child.enabled = (control.style & WS_DISABLED) == 0;
    child.visible = (control.style & WS_VISIBLE) != 0;
    child.baseUnits = Find(handle)->baseUnits;
    child.rect = qtr5::detail::MapRect(
        RECT{control.x, control.y, control.x + control.cx, control.y + control.cy},
        child.baseUnits);
    if (firstTabStop == nullptr && (control.style & WS_TABSTOP) && child.enabled) {
      firstTabStop = child.handle;
    }
    Find(handle)->children.push_back(child.handle);
  }

  backend.WindowCreated(handle);
  SendMessageA(handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop), initParam);
  Window* created = Find(handle);
  if (created == nullptr || created->destroying) return nullptr;  // destroyed during WM_INITDIALOG
  if ((dialogTemplate->style & WS_VISIBLE) && !created->ended) ShowWindow(handle, SW_SHOW);
  return handle;
}

// What the dialog manager does with a message the dialog procedure left.
LRESULT DefaultDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* window = Find(dialog);
  if (window == nullptr) return 0;
  switch (message) {
    case WM_SETTEXT:
      qtr5::detail::SetText(dialog, lParam ? reinterpret_cast<const char*>(lParam) : "");
      return TRUE;
    case WM_GETTEXT:
      return qtr5::detail::CopyText(window->text, reinterpret_cast<char*>(lParam),
                                    static_cast<long long>(wParam));
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(window->text.size());
    case WM_SETICON: {
      HICON icon = reinterpret_cast<HICON>(lParam);
      HICON& slot = wParam == ICON_BIG ? window->bigIcon : window->smallIcon;
      HICON previous = slot;
      slot = icon;
      qtr5::detail::Notify(dialog, qtr5::WindowChange::kIcon);
      return reinterpret_cast<LRESULT>(previous);
    }
    case WM_CLOSE:
      // The close box of a dialog is its Cancel command.
      SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
      return 0;
    default:
      return 0;
  }
}

}  // namespace

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* found = Find(window);
  if (found == nullptr) return 0;
  if (!found->isDialog) return qtr5::detail::ControlMessage(window, message, wParam, lParam);
  DLGPROC proc = found->proc;
  INT_PTR handled = proc ? proc(window, message, wParam, lParam) : FALSE;
  if (handled) return handled;
  return DefaultDialogMessage(window, message, wParam, lParam);
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND control = GetDlgItem(dialog, id);
  return control ? SendMessageA(control, message, wParam, lParam) : 0;
}

HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam) {
  return CreateFromTemplate(instance, templateName, owner, dialogProc, initParam, false);
}

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam) {
  HWND dialog = CreateFromTemplate(instance, templateName, owner, dialogProc, initParam, true);
  if (dialog == nullptr) return -1;
  owner = qtr5::OwnerOf(dialog);
  bool disabledOwner = false;
  bool normalEnd = false;
  Window* window = Find(dialog);
  if (window->ended) {
    normalEnd = true;  // ended inside WM_INITDIALOG: never shown
  } else {
    if (owner != nullptr && IsWindowEnabled(owner)) {
      EnableWindow(owner, FALSE);
      disabledOwner = true;
    }
    ShowWindow(dialog, SW_SHOW);
    if ((window = Find(dialog)) != nullptr) window->modalRunning = true;
    qtr5::CurrentBackend().ModalLoopStarted(dialog);
    for (;;) {
      window = Find(dialog);
      if (window == nullptr || window->destroying) break;
      if (window->ended) {
        normalEnd = true;
        break;
      }
      MSG msg{};
      if (GetMessageA(&msg, nullptr, 0, 0) <= 0) {
        // The program is quitting: leave the dialog and let the outer loop
        // see the quit too.
        PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      if (!IsDialogMessageA(dialog, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
  }
  INT_PTR result = -1;
  if ((window = Find(dialog)) != nullptr) {
    window->modalRunning = false;
    if (normalEnd) result = window->result;
  }
  if (disabledOwner && IsWindow(owner)) EnableWindow(owner, TRUE);
  if (IsWindow(dialog)) DestroyWindow(dialog);
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  Window* window = Find(dialog);
  if (window == nullptr || !window->isDialog) return FALSE;
  window->ended = true;
  window->result = result;
  ShowWindow(dialog, SW_HIDE);
  return TRUE;
}

BOOL DestroyWindow(HWND window) {
  Window* found = Find(window);
  if (found == nullptr || found->destroying) return FALSE;
  found->destroying = true;
  qtr5::Backend& backend = qtr5::CurrentBackend();
  if (!found->isDialog) {
    qtr5::detail::ControlMessage(window, WM_DESTROY, 0, 0);
    backend.WindowDestroyed(window);
    if (Window* dialog = Find(found->parent)) std::erase(dialog->children, window);
    qtr5::detail::Remove(window);
    return TRUE;
  }
  // Owned dialogs go first, then the dialog itself hears WM_DESTROY, then
  // its controls.
  for (HWND owned : qtr5::detail::Dialogs()) {
    if (qtr5::OwnerOf(owned) == window) DestroyWindow(owned);
  }
  ShowWindow(window, SW_HIDE);
  SendMessageA(window, WM_DESTROY, 0, 0);
  if ((found = Find(window)) == nullptr) return TRUE;
  std::vector<HWND> children = found->children;
  for (HWND child : children) {
    if (Window* control = Find(child)) {
      control->destroying = true;
      qtr5::detail::ControlMessage(child, WM_DESTROY, 0, 0);
      backend.WindowDestroyed(child);
      qtr5::detail::Remove(child);
    }
  }
  backend.WindowDestroyed(window);
  qtr5::detail::Remove(window);
  return TRUE;
}
