#include "tool/orderedwork.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include <sched.h>

namespace skintool {

struct OrderedWork::Queue
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::packaged_task<Delivery()>> tasks;
    bool ending = false;

    // What a worker thread does until the queue ends.
    void serve()
    {
        for (;;) {
            std::packaged_task<Delivery()> task;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [this] { return ending || !tasks.empty(); });
                if (tasks.empty())
                    return;
                task = std::move(tasks.front());
                tasks.pop_front();
            }
            task();
        }
    }
};

OrderedWork::OrderedWork(int threads) : m_queue(std::make_unique<Queue>())
{
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back([queue = m_queue.get()] { queue->serve(); });
}

OrderedWork::~OrderedWork()
{
    // Left by an exception: what is still running finishes, undelivered.
    for (const std::future<Delivery> &pending : m_pending)
        pending.wait();
    {
        const std::lock_guard lock(m_queue->mutex);
        m_queue->ending = true;
    }
    m_queue->changed.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
}

void OrderedWork::add(Work work)
{
    if (m_threads.empty()) {
        if (const Delivery delivery = work())
            delivery();
        return;
    }
    while (m_pending.size() >= 2 * m_threads.size())
        deliverOldest();
    std::packaged_task<Delivery()> task(std::move(work));
    m_pending.push_back(task.get_future());
    {
        const std::lock_guard lock(m_queue->mutex);
        m_queue->tasks.push_back(std::move(task));
    }
    m_queue->changed.notify_one();
}

void OrderedWork::finish()
{
    while (!m_pending.empty())
        deliverOldest();
}

void OrderedWork::deliverOldest()
{
    std::future<Delivery> oldest = std::move(m_pending.front());
    m_pending.pop_front();
    const Delivery delivery = oldest.get();
    if (delivery)
        delivery();
}

int defaultJobs()
{
    cpu_set_t cores;
    if (::sched_getaffinity(0, sizeof cores, &cores) == 0)
        return std::max(1, CPU_COUNT(&cores));
    return std::max(1u, std::thread::hardware_concurrency());
}

} // namespace skintool
