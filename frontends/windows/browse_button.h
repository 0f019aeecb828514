// The look of the browse button (the open folder beside the file name box)
// while it is off. Windows draws a picture button that is off embossed: its
// picture made one colour, every pixel that is not white in grey, the white
// ones left out. The folder lies on the button's face colour, so all of it
// turned grey, a blank square. While the button is off it shows a copy whose
// background is white: the folder's outline is embossed, greyed as a button
// that is off, and still shows what the button is for.
#pragma once

// Watches the browse button of this thread's windows from now on; undone by
// StopBrowseButtonLook.
void StartBrowseButtonLook();
void StopBrowseButtonLook();
