#pragma once
// The program's shared variables. The program owns one instance and hands
// it to the windows that use it.

#include <QString>

#include <optional>

struct Module1 {
    QString imageFolder;  // destination of images, ends in one '\'
    QString videoFolder;  // destination of movie clips, ends in one '\'
    QString sourcePath;   // the folder the disk lists show, ends in one '\'

    // Clash inputs and the decision of the duplicate dialog.
    QString srcFile;   // incoming image: sourcePath + its name
    QString newName;   // the name it is to get in the image folder
    QString destFile;  // existing file: imageFolder + newName
    QString dupAction; // "Copy", "Rename", "Skip" or "Exit"
    bool replaceAll = false;
    bool renameAll = false;

    // The folder the picker handed back in its last showing, if any.
    std::optional<QString> pickedFolder;
};
