// The behaviour of the controls: text, pictures, edit boxes, list views and
// progress bars, for the messages the application code sends them.
#include <algorithm>
#include <cstring>

#include "winui/window_table.h"

namespace qtr5::detail {
namespace {

int ClampToInt(long long value) {
  return static_cast<int>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

void NotifyParent(Window& control, WORD code) {
  HWND parent = control.parent;
  HWND handle = control.handle;
  SendMessageA(parent, WM_COMMAND, MAKEWPARAM(control.id, code), reinterpret_cast<LPARAM>(handle));
}

// ---- list view ----

bool SingleSelection(const Window& list) {
  return (list.style & LVS_SINGLESEL) != 0;
}

void ApplyState(Window& list, std::size_t row, UINT state, UINT mask) {
  ListRow& target = list.rows[row];
  target.state = (target.state & ~mask) | (state & mask);
  if (SingleSelection(list) && (mask & LVIS_SELECTED) && (state & LVIS_SELECTED)) {
    for (std::size_t other = 0; other < list.rows.size(); ++other) {
      if (other != row) list.rows[other].state &= ~static_cast<UINT>(LVIS_SELECTED);
    }
  }
}

int AutoWidth(const Window& list, std::size_t column, bool withHeader) {
  std::size_t longest = 0;
  for (const ListRow& row : list.rows) {
    if (column < row.cells.size()) longest = std::max(longest, row.cells[column].size());
  }
  if (withHeader) longest = std::max(longest, list.columns[column].title.size());
  return static_cast<int>(longest) * list.baseUnits.x + 12;
}

LRESULT ListMessage(Window& list, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND handle = list.handle;
  auto* column = reinterpret_cast<LVCOLUMNA*>(lParam);
  auto* item = reinterpret_cast<LVITEMA*>(lParam);
  auto index = static_cast<long long>(static_cast<INT_PTR>(wParam));
  auto validRow = [&](long long row) {
    return row >= 0 && row < static_cast<long long>(list.rows.size());
  };
  auto validColumn = [&](long long col) {
    return col >= 0 && col < static_cast<long long>(list.columns.size());
  };
  switch (message) {
    case LVM_INSERTCOLUMNA: {
      if (column == nullptr || index < 0) return -1;
      std::size_t at = std::min<std::size_t>(index, list.columns.size());
      ListColumn added;
      if ((column->mask & LVCF_TEXT) && column->pszText) added.title = column->pszText;
      if (column->mask & LVCF_WIDTH) added.width = std::max(column->cx, 0);
      if (column->mask & LVCF_FMT) added.format = column->fmt;
      list.columns.insert(list.columns.begin() + at, added);
      Notify(handle, WindowChange::kListColumns);
      return static_cast<LRESULT>(at);
    }
    case LVM_SETCOLUMNA: {
      if (column == nullptr || !validColumn(index)) return FALSE;
      ListColumn& target = list.columns[index];
      if ((column->mask & LVCF_TEXT) && column->pszText) target.title = column->pszText;
      if (column->mask & LVCF_WIDTH) target.width = std::max(column->cx, 0);
      if (column->mask & LVCF_FMT) target.format = column->fmt;
      Notify(handle, WindowChange::kListColumns);
      return TRUE;
    }
    case LVM_GETCOLUMNA: {
      if (column == nullptr || !validColumn(index)) return FALSE;
      const ListColumn& source = list.columns[index];
      if (column->mask & LVCF_TEXT) CopyText(source.title, column->pszText, column->cchTextMax);
      if (column->mask & LVCF_WIDTH) column->cx = source.width;
      if (column->mask & LVCF_FMT) column->fmt = source.format;
      return TRUE;
    }
    case LVM_SETCOLUMNWIDTH: {
      if (!validColumn(index)) return FALSE;
      int width = static_cast<short>(LOWORD(lParam));
      if (width == LVSCW_AUTOSIZE || width == LVSCW_AUTOSIZE_USEHEADER) {
        width = AutoWidth(list, index, width == LVSCW_AUTOSIZE_USEHEADER);
      }
      list.columns[index].width = std::max(width, 0);
      Notify(handle, WindowChange::kListColumns);
      return TRUE;
    }
    case LVM_GETCOLUMNWIDTH:
      return validColumn(index) ? list.columns[index].width : 0;
    case LVM_INSERTITEMA: {
      if (item == nullptr || item->iSubItem != 0 || item->iItem < 0) return -1;
      std::size_t at = std::min<std::size_t>(item->iItem, list.rows.size());
      ListRow row;
      row.cells.resize(1);
      if ((item->mask & LVIF_TEXT) && item->pszText) row.cells[0] = item->pszText;
      list.rows.insert(list.rows.begin() + at, row);
      if (item->mask & LVIF_STATE) ApplyState(list, at, item->state, item->stateMask);
      Notify(handle, WindowChange::kListItems);
      if ((item->mask & LVIF_STATE) && item->stateMask) {
        Notify(handle, WindowChange::kListSelection);
      }
      return static_cast<LRESULT>(at);
    }
    case LVM_SETITEMA: {
      if (item == nullptr || !validRow(item->iItem) || item->iSubItem < 0) return FALSE;
      auto sub = static_cast<std::size_t>(item->iSubItem);
      if (sub > 0 && sub >= list.columns.size()) return FALSE;
      ListRow& row = list.rows[item->iItem];
      if (item->mask & LVIF_TEXT) {
        if (row.cells.size() <= sub) row.cells.resize(sub + 1);
        row.cells[sub] = item->pszText ? item->pszText : "";
        Notify(handle, WindowChange::kListItems);
      }
      if ((item->mask & LVIF_STATE) && sub == 0) {
        ApplyState(list, item->iItem, item->state, item->stateMask);
        Notify(handle, WindowChange::kListSelection);
      }
      return TRUE;
    }
    case LVM_SETITEMSTATE: {
      if (item == nullptr) return FALSE;
      if (index == -1) {
        UINT state = item->state;
        // One selected row at most: "select all" selects nothing more.
        if (SingleSelection(list)) state &= ~static_cast<UINT>(LVIS_SELECTED);
        for (ListRow& row : list.rows) {
          row.state = (row.state & ~item->stateMask) | (state & item->stateMask);
        }
      } else if (validRow(index)) {
        ApplyState(list, index, item->state, item->stateMask);
      } else {
        return FALSE;
      }
      Notify(handle, WindowChange::kListSelection);
      return TRUE;
    }
    case LVM_GETITEMSTATE:
      return validRow(index) ? static_cast<LRESULT>(list.rows[index].state & lParam) : 0;
    case LVM_GETITEMTEXTA: {
      if (item == nullptr) return 0;
      std::string text;
      if (validRow(index) && item->iSubItem >= 0 &&
          static_cast<std::size_t>(item->iSubItem) < list.rows[index].cells.size()) {
        text = list.rows[index].cells[item->iSubItem];
      }
      return CopyText(text, item->pszText, item->cchTextMax);
    }
    case LVM_GETITEMCOUNT:
      return static_cast<LRESULT>(list.rows.size());
    case LVM_DELETEALLITEMS:
      list.rows.clear();
      Notify(handle, WindowChange::kListItems);
      return TRUE;
    case LVM_GETNEXTITEM: {
      for (long long row = std::max<long long>(index + 1, 0);
           row < static_cast<long long>(list.rows.size()); ++row) {
        if (!(lParam & LVNI_SELECTED) || (list.rows[row].state & LVIS_SELECTED)) return row;
      }
      return -1;
    }
    case LVM_GETSELECTEDCOUNT:
      return std::count_if(list.rows.begin(), list.rows.end(),
                           [](const ListRow& row) { return (row.state & LVIS_SELECTED) != 0; });
    default:
      return 0;
  }
}

// ---- progress bar ----

void SetPosition(Window& bar, long long position) {
  HWND handle = bar.handle;
  int low = std::min(bar.low, bar.high);
  int high = std::max(bar.low, bar.high);
  int clamped = static_cast<int>(std::clamp<long long>(position, low, high));
  bool changed = clamped != bar.position;
  bar.position = clamped;
  Notify(handle, WindowChange::kProgressPosition);
  // A progress bar repaints itself at once when its position moves, so it
  // shows progress while the program is busy and dispatches no messages.
  if (changed && Find(handle)) CurrentBackend().Repaint(handle);
}

LRESULT ProgressMessage(Window& bar, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND handle = bar.handle;
  switch (message) {
    case PBM_SETRANGE:
    case PBM_SETRANGE32: {
      LRESULT previous = MAKELONG(bar.low, bar.high);
      if (message == PBM_SETRANGE) {
        bar.low = LOWORD(lParam);
        bar.high = HIWORD(lParam);
      } else {
        bar.low = ClampToInt(static_cast<INT_PTR>(wParam));
        bar.high = ClampToInt(lParam);
      }
      Notify(handle, WindowChange::kProgressRange);
      if (Window* again = Find(handle)) {
        int low = std::min(again->low, again->high);
        int high = std::max(again->low, again->high);
        if (again->position < low || again->position > high) SetPosition(*again, again->position);
      }
      return previous;
    }
    case PBM_SETPOS: {
      int previous = bar.position;
      SetPosition(bar, static_cast<INT_PTR>(wParam));
      return previous;
    }
    case PBM_DELTAPOS: {
      int previous = bar.position;
      SetPosition(bar, static_cast<long long>(bar.position) + static_cast<INT_PTR>(wParam));
      return previous;
    }
    case PBM_GETPOS:
      return bar.position;
    case PBM_GETRANGE:
      return wParam ? bar.low : bar.high;
    default:
      return 0;
  }
}

// ---- buttons and edit boxes ----

LRESULT ButtonMessage(Window& button, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case BM_SETIMAGE: {
      if (wParam != IMAGE_BITMAP && wParam != IMAGE_ICON) return 0;
      HGDIOBJ previous = button.image;
      button.image = reinterpret_cast<HBITMAP>(lParam);
      button.imageId = ResourceIdOfHandle(button.image);
      Notify(button.handle, WindowChange::kImage);
      return reinterpret_cast<LRESULT>(previous);
    }
    case BM_GETIMAGE:
      return reinterpret_cast<LRESULT>(button.image);
    case BM_CLICK:
      // A click reaches the button only while it and its dialog take input.
      if (AcceptsInput(button.handle)) NotifyParent(button, BN_CLICKED);
      return 0;
    default:
      return 0;
  }
}

LRESULT EditMessage(Window& edit, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case EM_LINELENGTH:
      return static_cast<LRESULT>(edit.text.size());
    case EM_GETLINE: {
      // The buffer's first word holds its size; the line is copied without a
      // terminator (a single-line box has one line).
      auto* buffer = reinterpret_cast<char*>(lParam);
      if (buffer == nullptr) return 0;
      WORD size = 0;
      std::memcpy(&size, buffer, sizeof size);
      std::size_t count = std::min<std::size_t>(size, edit.text.size());
      // NOLINTNEXTLINE(bugprone-not-null-terminated-result): EM_GETLINE copies no terminator
      std::memcpy(buffer, edit.text.data(), count);
      return static_cast<LRESULT>(count);
    }
    case EM_LIMITTEXT:
      edit.textLimit = wParam == 0 ? 0x7FFFFFFE : static_cast<std::size_t>(wParam);
      return 0;
    case kTypedTextMessage: {
      if (edit.typed.empty()) return 0;
      std::string text = std::move(edit.typed.front());
      edit.typed.pop_front();
      if (!AcceptsInput(edit.handle)) return 0;
      if (text.size() > edit.textLimit) text.resize(edit.textLimit);
      SetText(edit.handle, text);
      return 1;
    }
    default:
      return 0;
  }
}

}  // namespace

int CopyText(const std::string& text, char* buffer, long long size) {
  if (buffer == nullptr || size <= 0) return 0;
  std::size_t count = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
  return static_cast<int>(count);
}

void SetText(HWND window, const std::string& text) {
  Window* found = Find(window);
  if (found == nullptr) return;
  found->text = text;
  Notify(window, WindowChange::kText);
  found = Find(window);
  // An edit box tells its dialog about every change of its text, also one
  // made by the program (WM_SETTEXT).
  if (found && !found->isDialog && found->kind == ControlKind::kEdit) {
    NotifyParent(*found, EN_CHANGE);
  }
}

LRESULT ControlMessage(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* window = Find(control);
  if (window == nullptr) return 0;
  switch (message) {
    case WM_SETTEXT:
      SetText(control, lParam ? reinterpret_cast<const char*>(lParam) : "");
      return TRUE;
    case WM_GETTEXT:
      return CopyText(window->text, reinterpret_cast<char*>(lParam),
                      static_cast<long long>(wParam));
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(window->text.size());
    default:
      break;
  }
  switch (window->kind) {
    case ControlKind::kButton:
      return ButtonMessage(*window, message, wParam, lParam);
    case ControlKind::kEdit:
      return EditMessage(*window, message, wParam, lParam);
    case ControlKind::kListView:
      return ListMessage(*window, message, wParam, lParam);
    case ControlKind::kProgressBar:
      return ProgressMessage(*window, message, wParam, lParam);
    case ControlKind::kStatic:
      return 0;
  }
  return 0;
}

}  // namespace qtr5::detail
