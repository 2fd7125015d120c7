#pragma once
// Giving a complete file its name without taking the place of another: a
// rename that refuses a name in use, and naming a file made without a name.
// Both return 0 or the errno; EEXIST when the name is in use.

namespace pf {

enum class CopyMode {
    Replace,    // an existing destination is replaced (only when the user chose so)
    NoReplace,  // fails with ErrFileExists when the destination exists at the rename
};

namespace host {

// Renames `from` to `to` in the open folder `dirFd`, replacing a file there
// only in Replace mode. Where the file system has no rename that refuses, a
// hard link (which never replaces) stands in for it.
int renameIntoPlace(int dirFd, const char *from, const char *to, CopyMode mode);

// Names files made without a name (O_TMPFILE). Linking one by its descriptor
// needs a privilege; without it, the link is made through /proc. What is
// learnt of the host on the way is kept here, so one object serves one
// file service and nothing is shared between them.
class UnnamedLinker {
public:
    // Whether files without a name can be named here at all (/proc is there).
    bool available();

    // Gives the unnamed file open as `fd` the name `name` in the open folder
    // `dirFd`; never replaces.
    int link(int fd, int dirFd, const char *name);

private:
    int m_proc = -1;             // whether /proc/self/fd can be used: -1 not asked yet, 0 no, 1 yes
    bool m_byDescriptor = true;  // linking by descriptor has not been refused yet
};

}  // namespace host

}  // namespace pf
