#pragma once
// Long work on the one thread of the program: now and then let pending paint
// and timer events run, so that the windows keep drawing. User input waits
// until the work is over, so nothing can change under it.

#include <QElapsedTimer>

class EventPump {
public:
    explicit EventPump(int intervalMs = 50) : m_interval(intervalMs) {}

    // Lets events run when the last time is `intervalMs` ago or more.
    void operator()()
    {
        if (!m_clock.isValid() || m_clock.elapsed() >= m_interval)
            force();
    }
    // Lets events run now.
    void force();

private:
    QElapsedTimer m_clock;
    int m_interval;
};
