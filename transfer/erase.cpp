#include "transfer/erase.h"

#include <QSet>

QList<pf::FileFailure> eraseFolder(pf::FileSystem &fs, const QString &folder, const QStringList &listed,
                                   const std::function<void()> &tick)
{
    auto between = [&] {
        if (tick)
            tick();
    };
    // A mark that cannot be cleared shows as a failed deletion below.
    for (const QString &name : listed) {
        fs.setAttributesNormal(folder + name);
        between();
    }

    QList<pf::FileFailure> failures;
    pf::Result<QStringList> plain = fs.listFiles(folder, QStringLiteral("*.*"));
    if (!plain) {
        failures.append({folder, plain.error()});
        return failures;
    }
    QSet<QString> failed;
    for (const QString &name : std::as_const(*plain)) {
        const QString path = folder + name;
        if (pf::Status s = fs.deleteFile(path); !s) {
            failures.append({path, s.error()});
            failed.insert(name);
        }
        between();
    }
    for (const QString &name : listed) {
        if (failed.contains(name))
            continue;
        const QString path = folder + name;
        const pf::Status s = fs.deleteFile(path);
        if (!s && s.error().number != pf::ErrFileNotFound)
            failures.append({path, s.error()});
        between();
    }
    return failures;
}
