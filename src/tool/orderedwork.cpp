#include "tool/orderedwork.h"

#include <algorithm>
#include <memory>
#include <thread>

#include <sched.h>

namespace skintool {

OrderedWork::OrderedWork(int threads) : m_threads(threads)
{
    if (threads > 0)
        m_pool.setMaxThreadCount(threads);
}

OrderedWork::~OrderedWork()
{
    // Left by an exception: what is still running finishes, undelivered.
    m_pool.waitForDone();
}

void OrderedWork::add(Work work)
{
    if (m_threads == 0) {
        if (const Delivery delivery = work())
            delivery();
        return;
    }
    while (m_pending.size() >= 2 * std::size_t(m_threads))
        deliverOldest();
    // The pool takes a function that can be copied; the task moves only.
    auto task = std::make_shared<std::packaged_task<Delivery()>>(std::move(work));
    m_pending.push_back(task->get_future());
    m_pool.start([task] { (*task)(); });
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
