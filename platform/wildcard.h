#pragma once
// Names as the program matches them: without regard to letter case, and
// against the wildcard patterns of its lists ("*.jpg", "*.*", "P???.JPG").
// The drive map finds names in its listings by the same folding.

#include <QString>

namespace pf {

// A name as it is compared without regard to case (its case folding).
QString foldedName(const QString &name);

// Whether `name` matches `pattern` without regard to case: '*' stands for
// any run of characters, '?' for one; "*.*" and "*" match every name.
bool matchesPattern(const QString &name, const QString &pattern);

}  // namespace pf
