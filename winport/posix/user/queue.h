// Internal: what the user part does when a thread ends.
#ifndef WINPORT_POSIX_USER_THREAD_END_H
#define WINPORT_POSIX_USER_THREAD_END_H

namespace winport {

// Destroys the windows of the calling thread and closes its message queue, as the system
// does when a thread ends (no messages are sent). Safe to call more than once.
void EndThreadWindows();

}  // namespace winport

#endif
