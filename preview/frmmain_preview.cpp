// Preview Disk: the diskette's pictures in a list, one shown scaled.

#include "app/frmmain.h"

void frmMain::Command15_Click()
{
    // The preview window is not built yet.
}
