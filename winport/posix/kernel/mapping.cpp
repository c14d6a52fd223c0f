// File mappings backed by the paging file (shared memory), named or unnamed, and views.
#include <sys/mman.h>

#include <map>
#include <mutex>
#include <string>

#include "winport/posix/kernel/error.h"
#include "winport/posix/kernel/mapping.h"
#include "winport/posix/kernel/object_name.h"
#include "winport/posix/kernel/shared_object.h"

namespace winport {
namespace {

// Views start on multiples of the Windows allocation granularity.
constexpr std::uint64_t kAllocationGranularity = 65536;
// A mapping is made of whole pages of this size (the Windows page): a view may reach the end
// of the last page. System pages are never smaller, so those bytes lie in a page that holds
// the end of the object's data and are mapped (zero at first, shared like the rest).
constexpr std::uint64_t kMappingPageSize = 4096;
constexpr DWORD kSectionFlagsMask = ~static_cast<DWORD>(0xFF);
constexpr DWORD kFileMapExecute = 0x0020;

class MappingObject : public KernelObject {
public:
    MappingObject(std::unique_ptr<SharedObject> storage, bool handleMayWrite)
        : KernelObject(ObjectKind::Mapping), storage_(std::move(storage)), handleMayWrite_(handleMayWrite)
    {
    }
    const SharedObject& Storage() const { return *storage_; }
    // Writable views need a read-write mapping and a handle opened for writing.
    bool MayWrite() const { return handleMayWrite_ && storage_->Flags() == PAGE_READWRITE; }

private:
    std::unique_ptr<SharedObject> storage_;
    const bool handleMayWrite_;
};

// A view holds its memory by itself (mmap keeps it), not the mapping object: the name goes
// with the last handle, as on Windows, while views keep what they map.
struct View {
    std::size_t length;
};

class ViewTable {
public:
    void Add(void* base, View view)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        views_.emplace(reinterpret_cast<std::uintptr_t>(base), std::move(view));
    }
    bool Remove(const void* base, View* out)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = views_.find(reinterpret_cast<std::uintptr_t>(base));
        if (it == views_.end()) return false;
        *out = std::move(it->second);
        views_.erase(it);
        return true;
    }
    std::size_t Count() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return views_.size();
    }

private:
    mutable std::mutex mutex_;
    std::map<std::uintptr_t, View> views_;
};

ViewTable& Views()
{
    static ViewTable* views = new ViewTable;
    return *views;
}

struct ViewAccess {
    int protection;
    int sharing;
    bool writes;
};

// 0 or the Win32 error for a view access mask.
DWORD DecodeViewAccess(DWORD access, ViewAccess* out)
{
    if (access & kFileMapExecute) return ERROR_NOT_SUPPORTED;
    if (access & FILE_MAP_WRITE) {
        *out = ViewAccess{PROT_READ | PROT_WRITE, MAP_SHARED, true};
    } else if (access & FILE_MAP_COPY) {
        *out = ViewAccess{PROT_READ | PROT_WRITE, MAP_PRIVATE, false};
    } else if (access & FILE_MAP_READ) {
        *out = ViewAccess{PROT_READ, MAP_SHARED, false};
    } else {
        return ERROR_INVALID_PARAMETER;
    }
    return ERROR_SUCCESS;
}

DWORD CheckProtection(DWORD flProtect)
{
    const DWORD base = flProtect & ~kSectionFlagsMask;
    const DWORD section = flProtect & kSectionFlagsMask;
    if (base != PAGE_READONLY && base != PAGE_READWRITE) return ERROR_INVALID_PARAMETER;
    if (section != 0 && section != SEC_COMMIT) return ERROR_NOT_SUPPORTED;  // reserve, image, large pages
    return ERROR_SUCCESS;
}

std::uint64_t Join(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

// 0 or the Win32 error for a view of `bytes` (0: to the end) at `offset` of a mapping of `size`
// bytes; *length is what to map.
DWORD CheckViewExtent(std::uint64_t size, std::uint64_t offset, SIZE_T bytes, std::uint64_t* length)
{
    if (offset % kAllocationGranularity != 0) return ERROR_MAPPED_ALIGNMENT;
    if (offset >= size) return ERROR_INVALID_PARAMETER;
    const std::uint64_t end = (size + kMappingPageSize - 1) / kMappingPageSize * kMappingPageSize;
    if (bytes > end - offset) return ERROR_ACCESS_DENIED;
    *length = bytes ? bytes : size - offset;
    return ERROR_SUCCESS;
}

}  // namespace

std::size_t LiveViewCount() { return Views().Count(); }

}  // namespace winport

using namespace winport;

extern "C" {

HANDLE WINAPI CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES lpAttributes, DWORD flProtect,
                                 DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCSTR lpName)
{
    // The name's length first (its conversion from the ANSI code page), its path last, as on
    // Windows: a zero size with the name "Local\" is ERROR_INVALID_PARAMETER.
    DWORD error = ERROR_SUCCESS;
    if (!CheckObjectNameLength(lpName, &error)) return Fail<HANDLE>(error, nullptr);
    // Only mappings of the paging file: the layer has no file handles.
    if (hFile != INVALID_HANDLE_VALUE) return Fail<HANDLE>(ERROR_INVALID_HANDLE, nullptr);
    if (!SecurityAttributesUsable(lpAttributes)) return Fail<HANDLE>(ERROR_NOT_SUPPORTED, nullptr);
    error = CheckProtection(flProtect);
    if (error != ERROR_SUCCESS) return Fail<HANDLE>(error, nullptr);
    const std::uint64_t size = Join(dwMaximumSizeHigh, dwMaximumSizeLow);
    if (size == 0) return Fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    std::string key;
    if (!ResolveObjectName(lpName, &key, &error)) return Fail<HANDLE>(error, nullptr);
    const SharedObject::Params params{
        ObjectKind::Mapping, size, flProtect & ~kSectionFlagsMask, false, nullptr, nullptr};
    SharedObject::OpenResult opened =
        !key.empty() ? SharedObject::OpenNamed(key.c_str(), params, true) : SharedObject::CreateAnonymous(params, true);
    if (!opened.object) return Fail<HANDLE>(opened.error, nullptr);
    return PublishObject(std::make_shared<MappingObject>(std::move(opened.object), true), opened.existed, true);
}

HANDLE WINAPI OpenFileMappingA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName)
{
    (void)bInheritHandle;
    std::string key;
    DWORD error = ERROR_SUCCESS;
    if (!ResolveObjectNameToOpen(lpName, &key, &error)) return Fail<HANDLE>(error, nullptr);
    ViewAccess access{};
    error = DecodeViewAccess(dwDesiredAccess, &access);
    if (error != ERROR_SUCCESS) return Fail<HANDLE>(error, nullptr);
    const SharedObject::Params params{ObjectKind::Mapping, 0, 0, false, nullptr, nullptr};
    SharedObject::OpenResult opened = SharedObject::OpenNamed(key.c_str(), params, false);
    if (!opened.object) return Fail<HANDLE>(opened.error, nullptr);
    if (access.writes && opened.object->Flags() != PAGE_READWRITE) return Fail<HANDLE>(ERROR_ACCESS_DENIED, nullptr);
    return PublishObject(std::make_shared<MappingObject>(std::move(opened.object), access.writes), true, false);
}

LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                            DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap)
{
    std::shared_ptr<MappingObject> mapping = LookupObject<MappingObject>(hFileMappingObject, ObjectKind::Mapping);
    if (!mapping) return nullptr;
    ViewAccess access{};
    DWORD error = DecodeViewAccess(dwDesiredAccess, &access);
    if (error != ERROR_SUCCESS) return Fail<LPVOID>(error, nullptr);
    if (access.writes && !mapping->MayWrite()) return Fail<LPVOID>(ERROR_ACCESS_DENIED, nullptr);
    std::uint64_t length = 0;
    const std::uint64_t offset = Join(dwFileOffsetHigh, dwFileOffsetLow);
    error = CheckViewExtent(mapping->Storage().DataSize(), offset, dwNumberOfBytesToMap, &length);
    if (error != ERROR_SUCCESS) return Fail<LPVOID>(error, nullptr);
    void* base = mmap(nullptr, length, access.protection, access.sharing, mapping->Storage().Descriptor(),
                      static_cast<off_t>(mapping->Storage().DataOffset() + offset));
    if (base == MAP_FAILED) return Fail<LPVOID>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    Views().Add(base, View{static_cast<std::size_t>(length)});
    return base;
}

BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress)
{
    View view;
    if (!Views().Remove(lpBaseAddress, &view)) return Fail(ERROR_INVALID_ADDRESS, FALSE);
    munmap(const_cast<void*>(lpBaseAddress), view.length);
    return TRUE;
}

}  // extern "C"
