// Threads: detached pthreads with a waitable end, an exit code and a termination request.
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <climits>

#include "winport/posix/kernel/error.h"
#include "winport/posix/kernel/kernel.h"
#include "winport/posix/kernel/mutex.h"
#include "winport/posix/kernel/process.h"
#include "winport/posix/kernel/thread.h"
#include "winport/posix/user/queue.h"

namespace winport {

class ThreadObject : public Waitable {
public:
    ThreadObject(LPTHREAD_START_ROUTINE start, LPVOID parameter)
        : Waitable(ObjectKind::Thread), start_(start), parameter_(parameter)
    {
    }

    AcquireResult TryAcquire(WaitState&) override
    {
        return AtomicLoad(&ended_) ? AcquireResult::Acquired : AcquireResult::NotReady;
    }

    // The end is signalled once per thread: its word always wakes and needs no sleepers bit.
    bool PrepareSleep(SleepWords& words, WaitState&) override
    {
        words.word = FutexWord{&ended_, 0};
        return AtomicLoad(&ended_) == 0;
    }

    bool LooksReady(WaitState&) override { return AtomicLoad(&ended_) != 0; }

    ObjectIdentity Identity() const override
    {
        return ObjectIdentity{ObjectKind::Thread, reinterpret_cast<std::uintptr_t>(this), 0};
    }

    DWORD Run() { return start_(parameter_); }

    void PublishId()
    {
        id_.store(GetCurrentThreadId(), std::memory_order_release);
        __atomic_store_n(&started_, 1u, __ATOMIC_RELEASE);
        FutexWakeAll(&started_);
    }

    DWORD WaitForId()
    {
        while (AtomicLoad(&started_) == 0) {
            FutexWord w{&started_, 0};
            FutexWaitAny(&w, 1, Deadline::Never());
        }
        return id_.load(std::memory_order_acquire);
    }

    // First request wins; false if the thread has already ended.
    bool RequestTermination(DWORD code)
    {
        if (AtomicLoad(&ended_)) return false;
        std::uint32_t expected = 0;
        if (__atomic_compare_exchange_n(&terminate_, &expected, 2u, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
            terminateCode_.store(code, std::memory_order_relaxed);
            __atomic_store_n(&terminate_, 1u, __ATOMIC_RELEASE);
            FutexWakeAll(&terminate_);
        }
        return true;
    }

    bool TerminationRequested() const { return AtomicLoad(&terminate_) == 1; }
    std::uint32_t* TerminationWord() { return &terminate_; }

    // The thread's last acts: what it owns is released, then its handle is signalled.
    void Finish(DWORD returned)
    {
        AbandonHeldMutexes();
        EndThreadWindows();
        exitCode_.store(TerminationRequested() ? terminateCode_.load(std::memory_order_relaxed) : returned,
                        std::memory_order_release);
        __atomic_store_n(&ended_, 1u, __ATOMIC_RELEASE);
        FutexWakeAll(&ended_);
    }

    DWORD ExitCode() const { return AtomicLoad(&ended_) ? exitCode_.load(std::memory_order_acquire) : STILL_ACTIVE; }

private:
    const LPTHREAD_START_ROUTINE start_;
    const LPVOID parameter_;
    std::uint32_t ended_ = 0;      // futex word: 1 once the thread has ended
    std::uint32_t terminate_ = 0;  // futex word: 0 none, 2 being requested, 1 requested
    std::uint32_t started_ = 0;    // futex word: 1 once the id is known
    std::atomic<DWORD> terminateCode_{0};
    std::atomic<DWORD> exitCode_{STILL_ACTIVE};
    std::atomic<DWORD> id_{0};
};

namespace {

thread_local ThreadObject* t_self = nullptr;

// Signals the thread's end however its procedure is left: by returning, or by the unwind
// that TerminateThread starts inside a wait.
class EndOfThread {
public:
    explicit EndOfThread(ThreadObject* self) : self_(self) {}
    ~EndOfThread()
    {
        self_->Finish(returned_);
        t_self = nullptr;
    }
    void SetReturned(DWORD code) { returned_ = code; }

private:
    ThreadObject* self_;
    DWORD returned_ = 0;
};

void* ThreadStart(void* arg)
{
    std::shared_ptr<ThreadObject> self = std::move(*static_cast<std::shared_ptr<ThreadObject>*>(arg));
    delete static_cast<std::shared_ptr<ThreadObject>*>(arg);
    t_self = self.get();
    self->PublishId();
    EndOfThread end(self.get());
    end.SetReturned(self->Run());
    return nullptr;
}

bool StartPthread(const std::shared_ptr<ThreadObject>& thread, SIZE_T stackSize)
{
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stackSize > 0) {
        const SIZE_T page = static_cast<SIZE_T>(sysconf(_SC_PAGESIZE));
        SIZE_T size = (stackSize + page - 1) / page * page;
        if (size < static_cast<SIZE_T>(PTHREAD_STACK_MIN)) size = PTHREAD_STACK_MIN;
        pthread_attr_setstacksize(&attr, size);
    }
    auto* arg = new std::shared_ptr<ThreadObject>(thread);
    pthread_t id;
    const int r = pthread_create(&id, &attr, &ThreadStart, arg);
    pthread_attr_destroy(&attr);
    if (r != 0) delete arg;
    return r == 0;
}

}  // namespace

ThreadObject* CurrentLayerThread() { return t_self; }

std::uint32_t* CurrentTerminationWord() { return t_self ? t_self->TerminationWord() : nullptr; }

bool TerminationRequested() { return t_self && t_self->TerminationRequested(); }

void ExitTerminatedThread()
{
    // pthread_exit unwinds the stack (a forced unwind that catch(...) cannot swallow) up to
    // ThreadStart, whose EndOfThread records the termination code.
    pthread_exit(nullptr);
}

}  // namespace winport

using namespace winport;

extern "C" {

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                           LPDWORD lpThreadId)
{
    if (!SecurityAttributesUsable(lpThreadAttributes)) return Fail<HANDLE>(ERROR_NOT_SUPPORTED, nullptr);
    if (!lpStartAddress) return Fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    // Suspended creation (and so ResumeThread) is not provided.
    if ((dwCreationFlags & ~static_cast<DWORD>(STACK_SIZE_PARAM_IS_A_RESERVATION)) != 0)
        return Fail<HANDLE>(ERROR_NOT_SUPPORTED, nullptr);
    auto thread = std::make_shared<ThreadObject>(lpStartAddress, lpParameter);
    HANDLE handle = InsertHandle(thread);
    if (!handle) return nullptr;
    if (!StartPthread(thread, dwStackSize)) {
        CloseHandle(handle);
        return Fail<HANDLE>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    }
    if (lpThreadId) *lpThreadId = thread->WaitForId();
    return handle;
}

BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode)
{
    DWORD ignored;
    if (ExitCodeOfChildThread(hThread, &ignored)) return Fail(ERROR_NOT_SUPPORTED, FALSE);  // another process's
    std::shared_ptr<ThreadObject> thread = LookupObject<ThreadObject>(hThread, ObjectKind::Thread);
    if (!thread) return FALSE;
    thread->RequestTermination(dwExitCode);
    if (thread.get() == t_self) {
        thread.reset();
        ExitTerminatedThread();
    }
    return TRUE;
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode)
{
    DWORD code = STILL_ACTIVE;
    if (!ExitCodeOfChildThread(hThread, &code)) {
        std::shared_ptr<ThreadObject> thread = LookupObject<ThreadObject>(hThread, ObjectKind::Thread);
        if (!thread) return FALSE;
        code = thread->ExitCode();
    }
    if (!lpExitCode) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *lpExitCode = code;
    return TRUE;
}

}  // extern "C"
