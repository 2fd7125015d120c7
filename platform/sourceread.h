#pragma once
// Reading the file a copy is made of, on a medium that may be worn: a read
// that fails is tried again at the same place, and only one that fails every
// time counts. Included by platform/file*.cpp and the picture loader only.

#include <QtGlobal>

#include <sys/stat.h>
#include <sys/types.h>

namespace pf {

// Tries of one read in all: the first, and up to three more at the same place.
inline constexpr int kReadTries = 4;

// Whether a failed read or copy of the bytes is the destination's fault
// (no room, too large, read-only); any other is the source's.
bool writeSideError(int err);

// Whether the open file `fd` still stands as `st` did: the same length and
// the same modification time.
bool unchanged(int fd, const struct stat &st);

// Reads up to `size` bytes at `at` of the source `fd`, which stood as `st`
// when it was opened, with up to `tries` tries in all. Returns the count
// read; 0 at the file's end, or when the file changed (its caller says
// so); -1 with errno when every try failed. The end found before the
// file's length while the file stands unchanged is a failed read (EIO): a
// driver says that when a read came up short (the length asked again
// between the tries tells it better). `troubled` is set when a try failed.
ssize_t readAt(int fd, char *buffer, size_t size, qint64 at, const struct stat &st, int tries,
               bool *troubled = nullptr);

}  // namespace pf
