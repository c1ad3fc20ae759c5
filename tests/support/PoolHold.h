#pragma once

#include <QThreadPool>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <utility>
#ifdef __SANITIZE_THREAD__
#include <sanitizer/tsan_interface.h>
#endif

// Keeps every thread of a pool busy until released (at the latest when it
// goes), so that work started on the pool meanwhile waits for its turn.
class PoolHold
{
public:
    explicit PoolHold(QThreadPool& pool)
    {
        std::shared_future<void> gate = m_release.get_future().share();
        auto pStarted = std::make_shared<std::atomic<int>>(0);
        const int nThreads = pool.maxThreadCount();
        for (int i = 0; i < nThreads; ++i) {
            std::function<void()> task = [gate, pStarted] {
                HandOver(true);
                ++*pStarted;
                gate.wait();
            };
            HandOver(false);
            pool.start(std::move(task));
        }
        while (pStarted->load() < nThreads)
            std::this_thread::yield();
    }
    ~PoolHold() { Release(); }
    PoolHold(const PoolHold&) = delete;
    PoolHold& operator=(const PoolHold&) = delete;

    void Release()
    {
        if (!std::exchange(m_bReleased, true))
            m_release.set_value();
    }

private:
    // Qt's pool hands a task over through locks ThreadSanitizer cannot see:
    // the hand-over is declared to it.
    static void HandOver([[maybe_unused]] bool bTaking)
    {
#ifdef __SANITIZE_THREAD__
        static char s_handOver;
        if (bTaking)
            __tsan_acquire(&s_handOver);
        else
            __tsan_release(&s_handOver);
#endif
    }

    std::promise<void> m_release;
    bool m_bReleased = false;
};
