#pragma once
// The runtime services one running program (or one test) works with.

#include "platform/files.h"
#include "platform/prompt.h"
#include "platform/settingsio.h"

#include <QDateTime>

#include <functional>
#include <memory>

namespace pf {

struct Services {
    std::unique_ptr<FileSystem> fs;
    SettingsIo settings;
    Prompt *prompt = nullptr;                 // not owned
    std::function<QDateTime()> now;           // the clock; replaceable in tests

    Services(std::unique_ptr<FileSystem> files, Prompt *p)
        : fs(std::move(files)), prompt(p), now([] { return QDateTime::currentDateTime(); })
    {
    }
};

}  // namespace pf
