// Export markers of lobbykit.
//
// LOBBYKIT_API marks the documented interface of the library. WINPORT_API marks the platform
// layer (the Win32 subset and the framework classes) that the library carries on systems
// without Win32; hosts call it as they would call the system's own DLLs. Everything else is
// hidden (the build uses -fvisibility=hidden).
#ifndef LOBBYKIT_EXPORT_H
#define LOBBYKIT_EXPORT_H

#if defined(LOBBYKIT_STATIC)
#define LOBBYKIT_API
#elif defined(_WIN32)
#if defined(LOBBYKIT_BUILDING)
#define LOBBYKIT_API __declspec(dllexport)
#else
#define LOBBYKIT_API __declspec(dllimport)
#endif
#else
#define LOBBYKIT_API __attribute__((visibility("default")))
#endif

#define WINPORT_API LOBBYKIT_API

// Data shared by every process that loads the library. On Windows: a shared data section of
// the DLL. Elsewhere: a page-aligned section that the platform layer maps onto a per-user
// named mapping when the module starts (winport/posix/kernel/shared_section.cpp); the link
// pads that section to whole pages so that nothing else lives in its pages.
#if defined(_WIN32)
#define LOBBYKIT_SHARED_DATA __attribute__((section(".ShareDa"), shared))
#else
#define LOBBYKIT_SHARED_DATA __attribute__((section("lobbykit_ShareDa"), aligned(4096)))
#endif

#endif
