// File mappings backed by the paging file (shared memory), named or unnamed, and views.
#include <sys/mman.h>

#include <map>
#include <mutex>

#include "shared_object.h"
#include "win_error.h"
#include "winport_internal.h"

namespace winport {
namespace {

// Views start on multiples of the Windows allocation granularity.
constexpr std::uint64_t kAllocationGranularity = 65536;
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

struct View {
    std::shared_ptr<MappingObject> mapping;  // a view keeps its mapping alive
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

std::uint64_t Join(DWORD high, DWORD low)
{
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

}  // namespace

std::size_t LiveViewCount()
{
    return Views().Count();
}

}  // namespace winport

using namespace winport;

extern "C" {

HANDLE WINAPI CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES lpAttributes, DWORD flProtect,
                                 DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCSTR lpName)
{
    // Only mappings of the paging file: the layer has no file handles.
    if (hFile != INVALID_HANDLE_VALUE) return Fail<HANDLE>(ERROR_INVALID_HANDLE, nullptr);
    if (!SecurityAttributesUsable(lpAttributes)) return Fail<HANDLE>(ERROR_NOT_SUPPORTED, nullptr);
    DWORD error = CheckProtection(flProtect);
    if (error != ERROR_SUCCESS) return Fail<HANDLE>(error, nullptr);
    const std::uint64_t size = Join(dwMaximumSizeHigh, dwMaximumSizeLow);
    if (size == 0) return Fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    bool named = false;
    if (!CheckObjectName(lpName, &named, &error)) return Fail<HANDLE>(error, nullptr);
    const SharedObject::Params params{ObjectKind::Mapping, size, flProtect & ~kSectionFlagsMask, false, nullptr,
                                      nullptr};
    SharedObject::OpenResult opened =
        named ? SharedObject::OpenNamed(lpName, params, true) : SharedObject::CreateAnonymous(params, true);
    if (!opened.object) return Fail<HANDLE>(opened.error, nullptr);
    return PublishObject(std::make_shared<MappingObject>(std::move(opened.object), true), opened.existed, true);
}

HANDLE WINAPI OpenFileMappingA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName)
{
    (void)bInheritHandle;
    ViewAccess access{};
    DWORD error = DecodeViewAccess(dwDesiredAccess, &access);
    if (error != ERROR_SUCCESS) return Fail<HANDLE>(error, nullptr);
    bool named = false;
    if (!CheckObjectName(lpName, &named, &error)) return Fail<HANDLE>(error, nullptr);
    if (!named) return Fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    const SharedObject::Params params{ObjectKind::Mapping, 0, 0, false, nullptr, nullptr};
    SharedObject::OpenResult opened = SharedObject::OpenNamed(lpName, params, false);
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
    const DWORD error = DecodeViewAccess(dwDesiredAccess, &access);
    if (error != ERROR_SUCCESS) return Fail<LPVOID>(error, nullptr);
    if (access.writes && !mapping->MayWrite()) return Fail<LPVOID>(ERROR_ACCESS_DENIED, nullptr);
    const std::uint64_t offset = Join(dwFileOffsetHigh, dwFileOffsetLow);
    const std::uint64_t size = mapping->Storage().DataSize();
    if (offset % kAllocationGranularity != 0) return Fail<LPVOID>(ERROR_MAPPED_ALIGNMENT, nullptr);
    if (offset >= size) return Fail<LPVOID>(ERROR_ACCESS_DENIED, nullptr);
    const std::uint64_t length = dwNumberOfBytesToMap ? dwNumberOfBytesToMap : size - offset;
    if (length > size - offset) return Fail<LPVOID>(ERROR_ACCESS_DENIED, nullptr);
    void* base = mmap(nullptr, length, access.protection, access.sharing, mapping->Storage().Descriptor(),
                      static_cast<off_t>(mapping->Storage().DataOffset() + offset));
    if (base == MAP_FAILED) return Fail<LPVOID>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    Views().Add(base, View{std::move(mapping), static_cast<std::size_t>(length)});
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
