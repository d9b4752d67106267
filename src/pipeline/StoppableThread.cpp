// The worker-thread base on std::thread, with a timed join that never kills a thread.
#include "pipeline/StoppableThread.h"

#include <pthread.h>
#include <unistd.h>
#include <system_error>

#include "log/Log.h"

namespace quorix {

StoppableThread::StoppableThread(std::string name) : m_name(std::move(name)) {}

StoppableThread::~StoppableThread() {
    if (State() == kRunning) {
        Stop();
    }
    if (HasThread()) {
        Join();
    }
}

bool StoppableThread::Finished(Control& control) {
    std::lock_guard guard(control.lock);
    return control.finished;
}

bool StoppableThread::HasThread() const {
    std::lock_guard guard(m_handleLock);
    return m_thread.joinable();
}

int32_t StoppableThread::Start() {
    std::unique_lock guard(m_handleLock);
    if (m_thread.joinable()) {
        guard.unlock();
        QLOG("Do not repeat invoke Start:%s, if not Stop previous.\n", m_name.c_str());
        return 0;
    }
    // A previous worker that was let go, or that another thread is joining right now, runs
    // on until it sees its stop. The run state is the object's: a new start would show it
    // "running" again and keep it (and its joiner) going for ever. It is given the join
    // limit to end; a start from that worker itself cannot wait for it.
    if (const std::shared_ptr<Control> previous = m_control; !Finished(*previous)) {
        guard.unlock();
        const bool ended = !IsCurrentThread() && [&] {
            std::unique_lock lock(previous->lock);
            return previous->wake.wait_for(lock, kJoinLimit, [&] { return previous->finished; });
        }();
        guard.lock();
        if (m_control != previous || m_thread.joinable()) {
            guard.unlock();
            QLOG("Do not repeat invoke Start:%s, if not Stop previous.\n", m_name.c_str());
            return 0;
        }
        if (!ended) {
            guard.unlock();
            QLOG_WARN("%s not started: the previous thread has not ended.\n", m_name.c_str());
            return kThreadCreateFailed;
        }
    }
    m_control = std::make_shared<Control>();
    m_state.store(kRunning, std::memory_order_release);
    try {
        m_thread = std::thread(&StoppableThread::Entry, this, m_control);
    } catch (const std::system_error& e) {
        m_control->finished = true;  // no worker to wait for
        m_state.store(kNotStarted, std::memory_order_release);
        guard.unlock();
        QLOG_ERROR("%s xnOSCreateThread is failed. ret:%d, error:%d\n", m_name.c_str(),
                   kThreadCreateFailed, e.code().value());
        QLOG_ERROR("%s thread not started: %s\n", m_name.c_str(), e.what());
    }
    return 0;
}

void StoppableThread::Stop() {
    QLOG("%s mPtrThreadHandle:%d\n", m_name.c_str(), m_threadId.load());
    std::shared_ptr<Control> control;
    {
        std::lock_guard guard(m_handleLock);
        control = m_control;
    }
    {
        std::lock_guard guard(control->lock);
        m_state.store(kStopRequested, std::memory_order_release);
    }
    control->wake.notify_all();
    OnStopRequested();
}

int32_t StoppableThread::Join() {
    QLOG("%s mPtrThreadHandle:%d begin\n", m_name.c_str(), m_threadId.load());
    std::thread thread;
    std::shared_ptr<Control> control;
    {
        std::lock_guard guard(m_handleLock);
        thread = std::move(m_thread);
        control = m_control;
    }
    return JoinTaken(std::move(thread), *control);
}

int32_t StoppableThread::StopAndJoin() {
    QLOG("%s mPtrThreadHandle:%d begin\n", m_name.c_str(), m_threadId.load());
    std::thread thread;
    std::shared_ptr<Control> control;
    {
        // One step against Start: the thread joined is the one stopped here, never one
        // started in between (nobody would stop that one).
        std::lock_guard guard(m_handleLock);
        control = m_control;
        {
            std::lock_guard stateGuard(control->lock);
            m_state.store(kStopRequested, std::memory_order_release);
        }
        thread = std::move(m_thread);
    }
    control->wake.notify_all();
    OnStopRequested();
    return JoinTaken(std::move(thread), *control);
}

int32_t StoppableThread::JoinTaken(std::thread thread, Control& control) {
    int32_t ret = 0;
    if (thread.joinable()) {
        if (thread.get_id() == std::this_thread::get_id()) {
            // A worker cannot wait for itself: it is let go and ends when its Run returns.
            ret = kThreadJoinFailed;
            QLOG("%s ret:%d\n", m_name.c_str(), ret);
            thread.detach();
        } else {
            std::unique_lock lock(control.lock);
            if (!control.wake.wait_for(lock, kJoinLimit, [&] { return control.finished; })) {
                ret = kThreadJoinTimeout;
            }
            lock.unlock();
            QLOG("%s ret:%d\n", m_name.c_str(), ret);
            thread.join();  // late workers are waited for, never terminated
        }
    } else {
        QLOG("%s ret:%d\n", m_name.c_str(), ret);
    }
    m_threadId.store(0);
    QLOG("%s end\n", m_name.c_str());
    return ret;
}

bool StoppableThread::WaitForStop(std::chrono::milliseconds timeout) {
    std::shared_ptr<Control> control;
    {
        std::lock_guard guard(m_handleLock);
        control = m_control;
    }
    std::unique_lock lock(control->lock);
    return control->wake.wait_for(lock, timeout, [this] { return State() != kRunning; });
}

void StoppableThread::ThreadFunc(StoppableThread* self) {
    if (self == nullptr) {
        QLOG_WARN("pThreadParam:%p is invalid.\n", static_cast<void*>(self));
        return;
    }
    self->m_workerId.store(std::this_thread::get_id());
    self->m_threadId.store(static_cast<int>(gettid()));
    pthread_setname_np(pthread_self(), self->m_name.substr(0, 15).c_str());
    self->Run();
}

void StoppableThread::Entry(StoppableThread* self, std::shared_ptr<Control> control) {
    ThreadFunc(self);
    // `self` may be gone by now; only the shared control block is touched.
    {
        std::lock_guard guard(control->lock);
        control->finished = true;
    }
    control->wake.notify_all();
}

}  // namespace quorix
