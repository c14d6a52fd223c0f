// The module's process-shared data section (LOBBYKIT_SHARED_DATA), as Windows gives a DLL
// section marked shared: when the module starts, the pages of the section are replaced by a
// view of a per-user named object. The first process to start fills that object with the
// section's initial content; later processes see its current bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "winport/posix/kernel/shared_object.h"

// Bounds of the section, padded to whole pages by cmake/lobbykit-shared-section.ld. Weak:
// a module without shared data has no such section.
extern "C" char __start_lobbykit_ShareDa[] __attribute__((weak, visibility("hidden")));
extern "C" char __stop_lobbykit_ShareDa[] __attribute__((weak, visibility("hidden")));

namespace winport {
namespace {

const char kSharedSectionName[] = "lobbykit.ShareDa";

bool CopyInitialContent(void* data, const void* context)
{
    const auto* section = static_cast<const char*>(context);
    std::memcpy(data, section, std::size_t(__stop_lobbykit_ShareDa - section));
    return true;
}

void Complain(const char* what) { std::fprintf(stderr, "lobbykit: the shared data section is not shared: %s\n", what); }

}  // namespace
}  // namespace winport

using namespace winport;

// The object behind the section, never closed (see below).
static SharedObject* volatile g_heldSharedSection = nullptr;

// Runs before the module's other initialisers, so nobody reads the section first. Named and
// external so that the link script can pull it out of the static archive (EXTERN).
extern "C" __attribute__((constructor(101), visibility("hidden"))) void lobbykit_map_shared_section()
{
    char* start = __start_lobbykit_ShareDa;
    char* stop = __stop_lobbykit_ShareDa;
    if (!start || stop <= start) return;
    const std::uintptr_t page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    if (std::uintptr_t(start) % page || std::uintptr_t(stop) % page) {
        Complain("the section is not page-aligned (link with cmake/lobbykit-shared-section.ld)");
        return;
    }
    const std::size_t size = std::size_t(stop - start);
    const SharedObject::Params params{ObjectKind::Mapping, size, PAGE_READWRITE, true, CopyInitialContent, start};
    SharedObject::OpenResult opened = SharedObject::OpenNamed(kSharedSectionName, params, true);
    if (!opened.object || opened.object->DataSize() != size) {
        Complain("the per-user shared object cannot be opened");
        return;
    }
    if (mmap(start, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, opened.object->Descriptor(),
             off_t(opened.object->DataOffset())) == MAP_FAILED) {
        Complain("the shared object cannot be mapped");
        return;
    }
    // Held for the life of the process: its lock keeps the object alive for the others. Kept
    // in a global so that the leak checker sees it still referenced.
    g_heldSharedSection = opened.object.release();
}
