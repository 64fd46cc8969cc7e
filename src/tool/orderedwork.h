#pragma once

#include <QThreadPool>

#include <deque>
#include <functional>
#include <future>

namespace skintool {

// Pieces of work run on worker threads while the calling thread goes on,
// each followed by its delivery, which runs back on the calling thread, in
// the order the pieces were added: output made this way is the same
// whatever the number of threads. At most twice as many pieces as threads
// wait or run at once (adding one more first delivers the oldest), so that
// memory stays bounded however many pieces there are.
class OrderedWork
{
public:
    using Delivery = std::function<void()>;
    using Work = std::function<Delivery()>;

    // With no threads, each piece and its delivery run at once, in add().
    explicit OrderedWork(int threads);
    // Waits for what is still running, but delivers nothing (call finish()
    // first).
    ~OrderedWork();
    OrderedWork(const OrderedWork &) = delete;
    OrderedWork &operator=(const OrderedWork &) = delete;

    // An exception that a piece raises comes out of the add() or finish()
    // that delivers it.
    void add(Work work);
    // Delivers every piece added so far.
    void finish();

private:
    void deliverOldest();

    const int m_threads;
    QThreadPool m_pool;
    std::deque<std::future<Delivery>> m_pending;
};

// The number of threads that -j gives when it is not set: the cores that
// this process may use.
int defaultJobs();

} // namespace skintool
