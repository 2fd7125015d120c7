// Copy Disk: every picture to the image folder, every clip to the video folder.

#include "app/frmmain.h"

void frmMain::Command1_Click()
{
    // The copy operation is not built yet.
}
