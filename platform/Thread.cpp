#include "platform/Thread.h"

#include <chrono>
#include <system_error>
#if defined(__unix__)
#include <pthread.h>
#include <sched.h>
#endif

namespace sonotrap {

namespace {
void ApplyPriority(ThreadPriority priority) {
#if defined(__unix__)
    if (priority == ThreadPriority::Normal) return;
    // Real-time scheduling needs privileges; a refusal leaves the thread as it is.
    sched_param param{};
    const int top = sched_get_priority_max(SCHED_RR);
    param.sched_priority = priority == ThreadPriority::Highest ? top / 2 : top / 4;
    if (param.sched_priority > 0) pthread_setschedparam(pthread_self(), SCHED_RR, &param);
#else
    (void)priority;
#endif
}
}  // namespace

Thread::~Thread() { Join(); }

bool Thread::Start(std::function<void()> body, ThreadPriority priority) {
    if (thread_.joinable()) return false;
    try {
        thread_ = std::thread([body = std::move(body), priority] {
            ApplyPriority(priority);
            body();
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void Thread::Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void SleepMs(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace sonotrap
