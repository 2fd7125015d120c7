#pragma once
// Names on the host are bytes. They are read as UTF-8; a byte that is not
// part of valid UTF-8 (a name written under another code page, "F\xe9te.jpg")
// is kept as a stand-in character of its own, so that the name goes back to
// the very same bytes: listed, copied and deleted under its own name.

#include <QByteArray>
#include <QString>

namespace pf {

// Host bytes -> program text, losing nothing.
QString fromHostName(const char *bytes, qsizetype size);
inline QString fromHostName(const QByteArray &bytes) { return fromHostName(bytes.constData(), bytes.size()); }
inline QString fromHostName(const char *bytes) { return fromHostName(bytes, qsizetype(qstrlen(bytes))); }

// Program text -> the host bytes it came from.
QByteArray toHostName(const QString &name);

// The name as a person sees it: each byte that is not UTF-8 shown as the
// replacement character.
QString shownName(const QString &name);

}  // namespace pf
