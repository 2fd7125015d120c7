#pragma once
// The erase of the diskette's root after a copy.

#include "platform/files.h"

#include <QList>
#include <QStringList>

#include <functional>

// Clears the marks of the `listed` files of `folder` (the *.411 entries,
// hidden and system ones included), deletes every plain file of the folder
// ("*.*"), then the listed files that are still there: a name starting with
// "." stays hidden whatever its marks, and every listed file is meant to go.
// Sub-folders and what they hold are not touched, and no link is followed.
// `tick` is called between files. Returns what could not be deleted.
QList<pf::FileFailure> eraseFolder(pf::FileSystem &fs, const QString &folder, const QStringList &listed,
                                   const std::function<void()> &tick = {});
