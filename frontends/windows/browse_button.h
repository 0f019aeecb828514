// The look of the browse button (the open folder beside the file name box)
// while it is off. Windows draws a picture button that is off embossed: its
// picture made one colour, every pixel that is not white in grey. The folder
// lies on the button's face colour, so all of it turns grey, a blank square
// (so Wine draws it too). While the button is off it is a text button "...",
// which Windows greys as any button that is off and which still says what
// the button is for; turned on, it shows its folder again.
#pragma once

// Watches the browse button of this thread's windows from now on; undone by
// StopBrowseButtonLook.
void StartBrowseButtonLook();
void StopBrowseButtonLook();
