#pragma once
// What the program and its tests set up alike: names, font and icon.

class QApplication;

namespace pf {
void applyProgramLook(QApplication &app);
}
