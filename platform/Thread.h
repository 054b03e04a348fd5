#pragma once
#include <functional>
#include <thread>

namespace sonotrap {

enum class ThreadPriority { Normal, AboveNormal, Highest };

// A joinable worker thread with a scheduling hint. The hint is best effort: where the system
// refuses a higher priority (an unprivileged Linux user), the thread runs at normal priority.
class Thread {
public:
    Thread() = default;
    ~Thread();  // joins a thread still running: a worker never outlives its owner
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    bool Start(std::function<void()> body, ThreadPriority priority = ThreadPriority::Normal);
    void Join();
    bool Joinable() const { return thread_.joinable(); }
    bool IsCurrent() const { return thread_.get_id() == std::this_thread::get_id(); }

private:
    std::thread thread_;
};

void SleepMs(unsigned ms);

}  // namespace sonotrap
