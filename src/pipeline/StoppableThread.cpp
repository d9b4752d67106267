// The worker-thread base on std::thread, with a timed join that never kills a thread.
#include "pipeline/StoppableThread.h"

#include <cerrno>
#include <pthread.h>
#include <system_error>
#include <unistd.h>

#include "config/Log.h"

namespace quorix {

StoppableThread::StoppableThread(std::string name) : m_name(std::move(name)) {}

StoppableThread::~StoppableThread() {
    if (State() == kRunning) {
        Stop();
        Join();
    }
    if (m_thread.joinable()) {
        Join();
    }
}

int32_t StoppableThread::Start() {
    if (m_thread.joinable()) {
        QLOG("Do not repeat invoke Start:%s, if not Stop previous.\n", m_name.c_str());
        return 0;
    }
    {
        std::lock_guard guard(m_lock);
        m_finished = false;
    }
    m_state.store(kRunning, std::memory_order_release);
    try {
        m_thread = std::thread(&StoppableThread::ThreadFunc, this);
    } catch (const std::system_error& e) {
        m_state.store(kNotStarted, std::memory_order_release);
        QLOG("%s xnOSCreateThread is failed. ret:%d, error:%d\n", m_name.c_str(),
             kThreadCreateFailed, e.code().value());
    }
    return 0;
}

void StoppableThread::Stop() {
    QLOG("%s mPtrThreadHandle:%d\n", m_name.c_str(), m_threadId.load());
    {
        std::lock_guard guard(m_lock);
        m_state.store(kStopRequested, std::memory_order_release);
    }
    m_wake.notify_all();
    OnStopRequested();
}

int32_t StoppableThread::Join() {
    QLOG("%s mPtrThreadHandle:%d begin\n", m_name.c_str(), m_threadId.load());
    int32_t ret = 0;
    if (m_thread.joinable()) {
        if (IsCurrentThread()) {
            // A worker cannot wait for itself; it ends when its Run returns.
            ret = kThreadJoinFailed;
            QLOG("%s ret:%d\n", m_name.c_str(), ret);
            m_thread.detach();
        } else {
            std::unique_lock lock(m_lock);
            if (!m_wake.wait_for(lock, kJoinLimit, [this] { return m_finished; })) {
                ret = kThreadJoinTimeout;
            }
            lock.unlock();
            QLOG("%s ret:%d\n", m_name.c_str(), ret);
            m_thread.join();  // late workers are waited for, never terminated
        }
    } else {
        QLOG("%s ret:%d\n", m_name.c_str(), ret);
    }
    m_threadId.store(0);
    QLOG("%s end\n", m_name.c_str());
    return ret;
}

bool StoppableThread::WaitForStop(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_lock);
    return m_wake.wait_for(lock, timeout, [this] { return State() != kRunning; });
}

void StoppableThread::ThreadFunc(StoppableThread* self) {
    if (self == nullptr) {
        QLOG("pThreadParam:%p is invalid.\n", static_cast<void*>(self));
        return;
    }
    self->m_workerId.store(std::this_thread::get_id());
    self->m_threadId.store(static_cast<int>(gettid()));
    pthread_setname_np(pthread_self(), self->m_name.substr(0, 15).c_str());
    self->Run();
    {
        std::lock_guard guard(self->m_lock);
        self->m_finished = true;
    }
    self->m_wake.notify_all();
}

}  // namespace quorix
