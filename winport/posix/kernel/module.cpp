// LoadLibraryExA for data files and the resource calls over the modules it loads.
#include "winport/posix/kernel/module.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "winport/posix/kernel/handle_table.h"
#include "winport/posix/kernel/pe_resources.h"
#include "winport/posix/kernel/error.h"

namespace winport {
namespace {

struct ModuleObject {
    std::vector<std::uint8_t> bytes;
    PeResources resources;  // refers to `bytes`

    // The resource an HRSRC of this module stands for, or null.
    const PeResource* Resource(HRSRC info) const
    {
        const std::vector<PeResource>& all = resources.All();
        const auto at = reinterpret_cast<std::uintptr_t>(info);
        const auto first = reinterpret_cast<std::uintptr_t>(all.data());
        if (all.empty() || at < first || (at - first) % sizeof(PeResource) != 0 ||
            (at - first) / sizeof(PeResource) >= all.size())
            return nullptr;
        return &all[(at - first) / sizeof(PeResource)];
    }
};

constexpr std::uint32_t kModuleHandleTag = 3;

HandleTable<ModuleObject>& Modules()
{
    // Never destroyed: modules may be freed from static destructors of other files.
    static HandleTable<ModuleObject>* table = new HandleTable<ModuleObject>(kModuleHandleTag);
    return *table;
}

std::shared_ptr<ModuleObject> FindModule(HMODULE module)
{
    return Modules().Get(reinterpret_cast<std::uintptr_t>(module));
}

// Reads the whole file; false with the last error set.
bool ReadModuleFile(const char* path, std::vector<std::uint8_t>& bytes)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail(ErrorFromErrno(errno), false);
    struct stat st;
    DWORD error = ERROR_SUCCESS;
    if (fstat(fd, &st) != 0) {
        error = ErrorFromErrno(errno);
    } else if (S_ISDIR(st.st_mode)) {
        error = ERROR_ACCESS_DENIED;
    } else if (!S_ISREG(st.st_mode)) {
        error = ERROR_BAD_EXE_FORMAT;
    } else if (st.st_size == 0) {
        error = ERROR_FILE_INVALID;  // nothing to map
    } else if (static_cast<std::uint64_t>(st.st_size) > kMaxModuleFileSize) {
        error = ERROR_FILE_TOO_LARGE;
    } else {
        bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = n < 0 ? ErrorFromErrno(errno) : ERROR_BAD_EXE_FORMAT;  // shrank meanwhile
                break;
            }
            done += static_cast<std::size_t>(n);
        }
    }
    close(fd);
    if (error != ERROR_SUCCESS) {
        bytes.clear();
        return Fail(error, false);
    }
    return true;
}

// A type or name argument as a lookup key: MAKEINTRESOURCEA ids, "#123" strings, or names
// upper-cased. False with ERROR_INVALID_PARAMETER for a "#" number above 65535. Names with
// bytes outside ASCII (GBK) match nothing: comparing them would need the code page's
// conversion to UTF-16 and its case rules.
bool KeyFromArgument(LPCSTR argument, PeKey& key)
{
    const auto value = reinterpret_cast<std::uintptr_t>(argument);
    if (IS_INTRESOURCE(argument)) {
        key.id = static_cast<WORD>(value);
        return true;
    }
    if (argument[0] == '#') {
        // As Windows: the leading decimal digits count, whatever follows them.
        std::uint32_t number = 0;
        for (const char* p = argument + 1; *p >= '0' && *p <= '9'; ++p) {
            number = number * 10 + static_cast<std::uint32_t>(*p - '0');
            if (number > 0xFFFF) return Fail(ERROR_INVALID_PARAMETER, false);
        }
        key.id = static_cast<WORD>(number);
        return true;
    }
    key.isId = false;
    for (const char* p = argument; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        key.unmatched = key.unmatched || c >= 0x80;
        key.text.push_back(PeFoldCase(c));
    }
    return true;
}

constexpr DWORD kDataFileFlags =
    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE;
constexpr DWORD kDefinedLoadFlags = 0xFFFF;

}  // namespace

std::size_t LiveModuleCount() { return Modules().LiveCount(); }

}  // namespace winport

using namespace winport;

HMODULE WINAPI LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags)
{
    (void)hFile;  // reserved; Windows ignores it too
    if (!lpLibFileName || !*lpLibFileName) return Fail(ERROR_INVALID_PARAMETER, HMODULE(nullptr));
    if (dwFlags & ~kDefinedLoadFlags) return Fail(ERROR_INVALID_PARAMETER, HMODULE(nullptr));
    if ((dwFlags & kDataFileFlags) == 0 || (dwFlags & ~kDataFileFlags) != 0)
        return Fail(ERROR_NOT_SUPPORTED, HMODULE(nullptr));
    auto module = std::make_shared<ModuleObject>();
    if (!ReadModuleFile(lpLibFileName, module->bytes)) return nullptr;
    DWORD error = ERROR_SUCCESS;
    if (!module->resources.Parse(module->bytes.data(), module->bytes.size(), error))
        return Fail(error, HMODULE(nullptr));
    const std::uintptr_t value = Modules().Insert(std::move(module));
    if (value == 0) return Fail(ERROR_NOT_ENOUGH_MEMORY, HMODULE(nullptr));
    return reinterpret_cast<HMODULE>(value);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    // An unknown module fails without touching the last error, as on Windows.
    return Modules().Remove(reinterpret_cast<std::uintptr_t>(hLibModule)) ? TRUE : FALSE;
}

HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType)
{
    PeKey type, name;
    if (!KeyFromArgument(lpType, type) || !KeyFromArgument(lpName, name)) return nullptr;
    // The program itself (NULL) has no resources here, nor has an unknown module.
    const std::shared_ptr<ModuleObject> module = FindModule(hModule);
    if (!module) return Fail(ERROR_RESOURCE_DATA_NOT_FOUND, HRSRC(nullptr));
    DWORD error = ERROR_SUCCESS;
    const PeResource* found = module->resources.Find(type, name, error);
    if (!found) return Fail(error, HRSRC(nullptr));
    return reinterpret_cast<HRSRC>(const_cast<PeResource*>(found));
}

DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo)
{
    const std::shared_ptr<ModuleObject> module = FindModule(hModule);
    const PeResource* resource = module ? module->Resource(hResInfo) : nullptr;
    return resource ? resource->size : 0;
}

HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo)
{
    const std::shared_ptr<ModuleObject> module = FindModule(hModule);
    const PeResource* resource = module ? module->Resource(hResInfo) : nullptr;
    if (!resource) return nullptr;
    // Windows hands out an address outside the file here; there is nothing to read.
    if (!resource->present) return Fail(ERROR_INVALID_DATA, HGLOBAL(nullptr));
    // The data stay where the module holds them until FreeLibrary, as in a mapped file.
    return module->bytes.data() + resource->offset;
}

LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

BOOL WINAPI FreeResource(HGLOBAL hResData)
{
    (void)hResData;  // nothing to release: the data belong to the module
    return FALSE;
}
