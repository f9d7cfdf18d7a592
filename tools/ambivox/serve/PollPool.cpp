#include "tools/ambivox/serve/PollPool.h"

#include <algorithm>
#include <iterator>

#include "platform/base/CaseFolding.h"
#include "platform/base/CodePage.h"
#include "platform/com/ComRuntime.h"
#include "tools/ambivox/DeviceReader.h"

namespace ambivox::cli {

PollPool::PollPool(std::size_t workers) {
    try {
        for (std::size_t i = 0; i < std::max<std::size_t>(workers, 1); ++i)
            m_threads.emplace_back([this] { work(); });
    } catch (...) {
        stop(std::chrono::milliseconds(0));
        throw;
    }
}

PollPool::~PollPool() {
    stop(std::chrono::milliseconds(0));
}

std::string PollPool::device_key(DeviceTarget const& target) {
    std::string const address = target.label();
    return std::string(target.family_name()) + " " +
           narrow(fold_name(widen(address, CP_UTF8)), CP_UTF8);
}

std::vector<PollPool::callback> PollPool::take_expired(clock::time_point now) {
    std::vector<callback> expired;
    std::erase_if(m_queue, [&](job& waiting) {
        if (!waiting.start_by || *waiting.start_by >= now) return false;
        std::move(waiting.done.begin(), waiting.done.end(), std::back_inserter(expired));
        return true;
    });
    return expired;
}

void PollPool::submit(DeviceTarget target, callback done, bool urgent,
                      std::optional<clock::time_point> startBy, bool share) {
    job next{std::move(target), {}, {}, startBy};
    next.key = device_key(next.target);
    std::vector<callback> expired;
    // Called outside the lock, however submit returns.
    struct dropping {
        std::vector<callback>& expired;
        ~dropping() {
            for (callback const& gone : expired)
                gone(std::nullopt);
        }
    } const drop{expired};
    {
        std::lock_guard lock(m_mutex);
        // Polls nobody waits for any more go now, not when a worker is free to look: while every
        // worker is held by a slow device, scrapers with short deadlines would pile them up.
        expired = take_expired(clock::now());
        if (!m_stopping) {
            if (share) {
                if (auto const running = m_busy.find(next.key); running != m_busy.end()) {
                    running->second.push_back(std::move(done));
                    return;
                }
                auto const waiting = std::find_if(m_queue.begin(), m_queue.end(),
                                                  [&](job const& j) { return j.key == next.key; });
                if (waiting != m_queue.end()) {
                    waiting->done.push_back(std::move(done));
                    // Kept as long as its most patient asker waits.
                    if (!startBy || !waiting->start_by)
                        waiting->start_by.reset();
                    else
                        waiting->start_by = std::max(*startBy, *waiting->start_by);
                    if (urgent && waiting != m_queue.begin()) {
                        job moved = std::move(*waiting);
                        m_queue.erase(waiting);
                        m_queue.push_front(std::move(moved));
                    }
                    return;
                }
            }
            next.done.push_back(std::move(done));
            if (urgent)
                m_queue.push_front(std::move(next));
            else
                m_queue.push_back(std::move(next));
            m_wake.notify_one();
            return;
        }
    }
    done(std::nullopt);
}

bool PollPool::stop(std::chrono::milliseconds grace) {
    std::deque<job> dropped;
    bool finished = false;
    {
        std::unique_lock lock(m_mutex);
        m_stopping = true;
        dropped.swap(m_queue);
        m_wake.notify_all();
        finished = m_idle.wait_for(lock, grace, [this] { return m_running == 0; });
    }
    for (job& waiting : dropped)
        for (callback const& done : waiting.done)
            done(std::nullopt);
    for (std::thread& thread : m_threads) {
        if (!thread.joinable()) continue;
        if (finished)
            thread.join();
        else
            thread.detach();
    }
    return finished;
}

void PollPool::work() {
    // The worker's apartment keeps the module loaded between its polls.
    HRESULT const apartment = CoInitialize(nullptr);
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        auto const now = clock::now();
        if (std::vector<callback> const expired = take_expired(now); !expired.empty()) {
            lock.unlock();
            for (callback const& done : expired)
                done(std::nullopt);
            lock.lock();
            continue;  // the queue may have changed meanwhile
        }
        auto ready = m_queue.end();
        auto wakeBy = clock::time_point::max();  // when a waiting poll's start-by passes
        for (auto it = m_queue.begin(); it != m_queue.end();) {
            if (!m_busy.contains(it->key)) {
                ready = it;
                break;
            }
            if (it->start_by) wakeBy = std::min(wakeBy, *it->start_by);
            ++it;
        }
        if (ready == m_queue.end()) {
            if (wakeBy == clock::time_point::max())
                m_wake.wait(lock);
            else
                m_wake.wait_until(lock, wakeBy);
            continue;
        }
        job current = std::move(*ready);
        m_queue.erase(ready);
        m_busy[current.key] = std::move(current.done);
        ++m_running;
        lock.unlock();
        auto const started = clock::now();
        PollResult result;
        result.report = DeviceReader::read(current.target);
        result.seconds = std::chrono::duration<double>(clock::now() - started).count();
        result.ended_at =
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        lock.lock();
        // Taken with the device's entry, so a poll asked for from here on is a poll of its own.
        auto const finished = m_busy.extract(current.key);
        lock.unlock();
        for (callback const& done : finished.mapped())
            done(result);
        lock.lock();
        --m_running;
        m_idle.notify_all();
        // The device is free again: a poll of it may be waiting.
        m_wake.notify_all();
    }
    lock.unlock();
    if (SUCCEEDED(apartment)) CoUninitialize();
}

}  // namespace ambivox::cli
