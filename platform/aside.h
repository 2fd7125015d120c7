#pragma once
// Work that may wait on a slow medium, run beside the window's thread: the
// caller waits for its result, but meanwhile its thread keeps turning the
// event loop, so that the windows paint, timers run and the questions the
// work asks (carried over as queued calls) are answered. A diskette drive
// takes seconds for one file: the window's thread never reads it itself.

#include <QEventLoop>

#include <functional>
#include <optional>
#include <type_traits>

namespace pf {

// Runs `work` on a thread of its own and returns when it is done. Called on
// any thread but the program's main one, it simply runs `work`. `events`:
// which events this thread handles meanwhile; user input left waiting by
// ExcludeUserInputEvents arrives once the work is done.
void runAside(const std::function<void()> &work,
              QEventLoop::ProcessEventsFlags events = QEventLoop::ExcludeUserInputEvents);

// The same, for work that gives a value.
template <typename F>
auto aside(F &&work, QEventLoop::ProcessEventsFlags events = QEventLoop::ExcludeUserInputEvents)
    -> std::invoke_result_t<F>
{
    using R = std::invoke_result_t<F>;
    if constexpr (std::is_void_v<R>) {
        runAside(std::forward<F>(work), events);
    } else {
        std::optional<R> result;
        runAside([&] { result.emplace(work()); }, events);
        return std::move(*result);
    }
}

}  // namespace pf
