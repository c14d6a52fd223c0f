// Internal: the layer's own threads, made by CreateThread (implemented in thread.cpp).
#ifndef WINPORT_POSIX_KERNEL_THREAD_H
#define WINPORT_POSIX_KERNEL_THREAD_H

#include <cstdint>

namespace winport {

// Layer threads (made by CreateThread) can be ended by TerminateThread while they block in
// the layer. Null on other threads.
class ThreadObject;
ThreadObject* CurrentLayerThread();
// The termination word of the calling layer thread, or null.
std::uint32_t* CurrentTerminationWord();
// True when TerminateThread has asked the calling layer thread to end.
bool TerminationRequested();
// Ends the calling layer thread, unwinding its stack (C++ destructors run) into the end of
// its thread procedure. Only called on layer threads with a termination request.
[[noreturn]] void ExitTerminatedThread();
inline void ExitIfTerminationRequested()
{
    if (TerminationRequested()) ExitTerminatedThread();
}

}  // namespace winport

#endif
