#pragma once
// The marks a FAT file system keeps beside each file (read-only, hidden,
// system, archive), where the file system has them. Other file systems have
// none: there these ask nothing and change nothing.

namespace pf::host {

// Whether the file or folder open as `fd` lies on a FAT file system.
bool isFat(int fd);

// Whether the entry `name` of the open FAT folder `dirFd` carries the hidden
// or the system mark. An entry that cannot be asked counts as unmarked.
bool fatHiddenOrSystem(int dirFd, const char *name);

// Clears the read-only, hidden, system and archive marks of the file open as
// `fd`, when it lies on a FAT file system. 0, or the errno.
int clearFatMarks(int fd);

}  // namespace pf::host
