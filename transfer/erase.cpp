#include "transfer/erase.h"

#include <QSet>

namespace {

// Why a file that nobody gave a reason for stays.
QString reasonOfItsKind(const QString &name)
{
    if (!pf::isSingleName(name))
        return QStringLiteral("a name the program cannot copy");
    if (pf::matchesPattern(name, QStringLiteral("*.jpg")) || pf::matchesPattern(name, QStringLiteral("*.mpg")))
        return QStringLiteral("appeared after the diskette was read");
    return QStringLiteral("not a picture or clip");
}

}  // namespace

EraseOutcome eraseCopied(pf::FileSystem &fs, const QString &folder, const QHash<QString, pf::FileId> &safe,
                         const QStringList &indexFiles, const QHash<QString, QString> &why,
                         const std::function<void()> &tick)
{
    auto between = [&] {
        if (tick)
            tick();
    };
    EraseOutcome out;
    auto remove = [&](const QString &name, const pf::FileId *expected) {
        const QString path = folder + name;
        const pf::Status s = fs.deleteFile(path, expected);
        if (!s && pf::FileSystem::changedSinceChecked(s.error()))
            out.kept.append({name, QStringLiteral("changed after its copy was checked")});
        else if (!s && s.error().number != pf::ErrFileNotFound)
            out.failures.append({path, s.error()});
        between();
    };

    // The camera's index files go whatever they hold.
    QSet<QString> index;
    for (const QString &name : indexFiles) {
        if (!pf::isSingleName(name))
            continue;
        index.insert(name);
        // A mark that cannot be cleared keeps the file from being deleted,
        // and the deletion says so.
        (void)fs.setAttributesNormal(folder + name);
        remove(name, nullptr);
    }

    const pf::Result<QStringList> plain = fs.listFiles(folder, QStringLiteral("*.*"));
    if (!plain) {
        out.failures.append({folder, plain.error()});
        return out;
    }
    for (const QString &name : *plain) {
        if (index.contains(name))
            continue;
        const auto it = safe.constFind(name);
        if (it == safe.constEnd() || !pf::isSingleName(name)) {
            out.kept.append({name, why.value(name, reasonOfItsKind(name))});
            continue;
        }
        // Checked moments ago; deleted only while it is still that file.
        remove(name, &*it);
    }
    return out;
}
