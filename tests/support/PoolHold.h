#pragma once

#include <QThreadPool>
#include <mutex>

// Keeps every thread of a pool busy until released (at the latest when it
// goes), so that work started on the pool meanwhile waits its turn. One at a
// time.
struct PoolHold
{
    explicit PoolHold(QThreadPool& pool)
    {
        Gate().lock();
        for (int i = 0; i < pool.maxThreadCount(); ++i)
            pool.start([] { std::lock_guard<std::mutex> pass(Gate()); });
    }
    ~PoolHold() { Release(); }
    void Release()
    {
        if (m_bHeld)
            Gate().unlock();
        m_bHeld = false;
    }
    static std::mutex& Gate()
    {
        static std::mutex s_gate;
        return s_gate;
    }
    bool m_bHeld = true;
};
