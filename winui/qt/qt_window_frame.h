// How a dialog's top-level Qt window is framed and placed: the title bar and
// its buttons follow the template's window style as the Windows window
// manager reads it, and an owned dialog opens at its template position
// within its owner's client area, kept on the screen.
#pragma once

#include <QPoint>
#include <QRect>
#include <Qt>
#include <cstdint>

namespace qtr5 {

// The title bar of a dialog with window style `style` (WS_* bits): a caption
// with WS_CAPTION; the system menu and its close box with WS_SYSMENU on a
// captioned window; a minimise box with WS_MINIMIZEBOX and a maximise box
// with WS_MAXIMIZEBOX, both only where there is a system menu. `owned`
// dialogs are dialog windows (kept above their owner), the others ordinary
// top-level windows.
Qt::WindowFlags WindowFlagsForStyle(std::uint32_t style, bool owned);

// True when the style has a sizing border (WS_THICKFRAME); otherwise the
// window keeps the size its template gives it.
bool IsResizableStyle(std::uint32_t style);

// Where a window whose frame is `frame` (position and size, title bar
// included) goes so that as much of it as possible lies within `screen`
// (the screen's available area): moved left and up until its right and
// bottom edges are inside, then right and down until its left and top edges
// are, so that the title bar stays reachable when the window is larger than
// the screen. Returns the frame's new top-left corner.
QPoint KeepOnScreen(const QRect& frame, const QRect& screen);

}  // namespace qtr5
