// The look of the browse button (the open folder beside the file name box).
// Windows draws a picture button that is off embossed: every pixel of its
// picture that is not white in one grey. The folder lies on the button's
// face colour, so drawn off all of it turns grey, a blank square; and a
// picture set while the button was a text button is not kept. So the button
// always shows one of two copies of the folder: on the face colour while it
// is on, on white while it is off (the embossing then keeps the folder's
// outline). Its text, never drawn, names it for screen readers.
#pragma once

// What screen readers call the button.
inline constexpr const char* kBrowseButtonName = "Browse...";

// Watches the browse button of this thread's windows from now on; undone by
// StopBrowseButtonLook.
void StartBrowseButtonLook();
void StopBrowseButtonLook();
