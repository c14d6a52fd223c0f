// The process's table of kernel handles.
#include "winport/posix/kernel/error.h"
#include "winport/posix/kernel/handle_table.h"
#include "winport/posix/kernel/kernel.h"

namespace winport {
namespace {

constexpr std::uint32_t kKernelHandleTag = 1;

// Never destroyed: detached threads may still close handles while the process exits.
HandleTable<KernelObject>& Table()
{
    static HandleTable<KernelObject>* table = new HandleTable<KernelObject>(kKernelHandleTag);
    return *table;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object)
{
    const std::uintptr_t value = Table().Insert(std::move(object));
    if (value == 0) return Fail<HANDLE>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle)
{
    return Table().Get(reinterpret_cast<std::uintptr_t>(handle));
}

HANDLE PublishObject(std::shared_ptr<KernelObject> object, bool existed, bool creating)
{
    HANDLE h = InsertHandle(std::move(object));
    if (h && creating) SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

bool SecurityAttributesUsable(LPSECURITY_ATTRIBUTES attributes)
{
    return !attributes || !attributes->lpSecurityDescriptor;
}

std::size_t LiveHandleCount() { return Table().LiveCount(); }

}  // namespace winport

using namespace winport;

extern "C" {

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    if (hObject == CurrentProcessHandle()) return TRUE;  // a pseudo-handle: nothing to close
    // The object itself goes when its last user (a wait in progress, a mapped view) lets go.
    if (!Table().Remove(reinterpret_cast<std::uintptr_t>(hObject))) return Fail(ERROR_INVALID_HANDLE, FALSE);
    return TRUE;
}

HANDLE WINAPI GetCurrentProcess(void) { return CurrentProcessHandle(); }

}  // extern "C"
