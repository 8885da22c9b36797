#include "engine/synth/workerthread.h"

WorkerThread::WorkerThread()
    : m_thread([this] { run(); })
{
}

WorkerThread::~WorkerThread()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        dropped.swap(m_tasks);
    }
    m_wake.notify_one();
    m_thread.join();
    // What the tasks not started hold goes here, once the thread is gone, not under the lock.
}

void WorkerThread::post(std::function<void()> task)
{
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void WorkerThread::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
        if (m_stopping)
            return;
        std::function<void()> task = std::move(m_tasks.front());
        m_tasks.pop_front();
        lock.unlock();
        task();
        task = nullptr; // what it holds goes on this thread, not under the lock
        lock.lock();
    }
}
