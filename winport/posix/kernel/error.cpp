// Last error (per thread) and the English system texts of the error codes the layer uses.
#include <cerrno>
#include <cstring>

#include "winport/posix/kernel/error.h"

namespace winport {
namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

struct ErrorText {
    DWORD code;
    const char* text;
};

// The texts of an English Windows system, each ending in CR LF as FormatMessageA gives them.
const ErrorText kErrorTexts[] = {
    {ERROR_SUCCESS, "The operation completed successfully.\r\n"},
    {ERROR_INVALID_FUNCTION, "Incorrect function.\r\n"},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified.\r\n"},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file.\r\n"},
    {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
    {ERROR_INVALID_HANDLE, "The handle is invalid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command.\r\n"},
    {ERROR_BAD_FORMAT, "An attempt was made to load a program with an incorrect format.\r\n"},
    {ERROR_INVALID_DATA, "The data is invalid.\r\n"},
    {ERROR_OUTOFMEMORY, "Not enough memory resources are available to complete this operation.\r\n"},
    {ERROR_NOT_SUPPORTED, "The request is not supported.\r\n"},
    {ERROR_FILE_EXISTS, "The file exists.\r\n"},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect.\r\n"},
    {ERROR_CALL_NOT_IMPLEMENTED, "This function is not supported on this system.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small.\r\n"},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {ERROR_BAD_PATHNAME, "The specified path is invalid.\r\n"},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists.\r\n"},
    {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long.\r\n"},
    {ERROR_MORE_DATA, "More data is available.\r\n"},
    {WAIT_TIMEOUT, "The wait operation timed out.\r\n"},
    {ERROR_NO_MORE_ITEMS, "No more data is available.\r\n"},
    {ERROR_NOT_OWNER, "Attempt to release mutex not owned by caller.\r\n"},
    {ERROR_MR_MID_NOT_FOUND,
     "The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
    {ERROR_BAD_EXE_FORMAT, "%1 is not a valid Win32 application.\r\n"},
    {ERROR_FILE_TOO_LARGE, "The file size exceeds the limit allowed and cannot be saved.\r\n"},
    {ERROR_INVALID_ADDRESS, "Attempt to access invalid address.\r\n"},
    {ERROR_FILE_INVALID,
     "The volume for a file has been externally altered so that the opened file is no longer "
     "valid.\r\n"},
    {ERROR_BADDB, "The configuration registry database is corrupt.\r\n"},
    {ERROR_BADKEY, "The configuration registry key is invalid.\r\n"},
    {ERROR_CANTOPEN, "The configuration registry key could not be opened.\r\n"},
    {ERROR_CANTREAD, "The configuration registry key could not be read.\r\n"},
    {ERROR_CANTWRITE, "The configuration registry key could not be written.\r\n"},
    {ERROR_REGISTRY_CORRUPT,
     "The structure of one of the files containing registry data is corrupted, or the system's "
     "memory image of the file is corrupted, or the file could not be recovered because the "
     "alternate copy or log was absent or corrupted.\r\n"},
    {ERROR_REGISTRY_IO_FAILED,
     "An I/O operation initiated by the registry failed unrecoverably. The registry could not "
     "read in, or write out, or flush, one of the files that contain the system's image of the "
     "registry.\r\n"},
    {ERROR_KEY_DELETED, "Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {ERROR_MAPPED_ALIGNMENT, "The base address or the file offset specified does not have the proper alignment.\r\n"},
    {ERROR_INVALID_WINDOW_HANDLE, "Invalid window handle.\r\n"},
    {ERROR_CANNOT_FIND_WND_CLASS, "Cannot find window class.\r\n"},
    {ERROR_CLASS_ALREADY_EXISTS, "Class already exists.\r\n"},
    {ERROR_CLASS_DOES_NOT_EXIST, "Class does not exist.\r\n"},
    {ERROR_CLASS_HAS_WINDOWS, "Class still has open windows.\r\n"},
    {ERROR_INVALID_THREAD_ID, "The thread identifier is invalid.\r\n"},
    {ERROR_COMMITMENT_LIMIT, "The paging file is too small for this operation to complete.\r\n"},
    {ERROR_TIMEOUT, "This operation returned because the timeout period expired.\r\n"},
    {ERROR_RESOURCE_DATA_NOT_FOUND, "The specified image file did not contain a resource section.\r\n"},
    {ERROR_RESOURCE_TYPE_NOT_FOUND, "The specified resource type cannot be found in the image file.\r\n"},
    {ERROR_RESOURCE_NAME_NOT_FOUND, "The specified resource name cannot be found in the image file.\r\n"},
    {ERROR_RESOURCE_LANG_NOT_FOUND, "The specified resource language ID cannot be found in the image file.\r\n"},
    {ERROR_NOT_ENOUGH_QUOTA, "Not enough quota is available to process this command.\r\n"},
};

const char* FindErrorText(DWORD code)
{
    for (const ErrorText& e : kErrorTexts)
        if (e.code == code) return e.text;
    return nullptr;
}

bool LanguageSupported(DWORD languageId)
{
    // Neutral, user default, system default and English (United States).
    return languageId == 0 || languageId == 0x0400 || languageId == 0x0800 || languageId == 0x0409;
}

// FORMAT_MESSAGE_MAX_WIDTH_MASK as the width: line breaks of the text are dropped.
std::size_t CopyWithoutLineBreaks(const char* text, char* out, std::size_t cap)
{
    std::size_t n = 0;
    for (const char* p = text; *p; ++p) {
        if (*p == '\r' || *p == '\n') continue;
        if (n < cap) out[n] = *p;
        ++n;
    }
    return n;
}

}  // namespace

DWORD ErrorFromErrno(int err)
{
    switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case ELOOP:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
    case EAGAIN: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EFBIG: return ERROR_COMMITMENT_LIMIT;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSYS:
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
    default: return ERROR_INVALID_FUNCTION;
    }
}

}  // namespace winport

using namespace winport;

extern "C" {

DWORD WINAPI GetLastError(void) { return t_lastError; }

void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                            DWORD nSize, va_list* Arguments)
{
    (void)lpSource;
    (void)Arguments;  // the system texts used here have no inserts
    const DWORD supported = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    if ((dwFlags & ~supported) != 0 || !(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM))
        return Fail<DWORD>(ERROR_NOT_SUPPORTED, 0);
    const DWORD width = dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
    if (width != 0 && width != FORMAT_MESSAGE_MAX_WIDTH_MASK) return Fail<DWORD>(ERROR_NOT_SUPPORTED, 0);
    if (!LanguageSupported(dwLanguageId)) return Fail<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND, 0);
    const char* text = FindErrorText(dwMessageId);
    if (!text) return Fail<DWORD>(ERROR_MR_MID_NOT_FOUND, 0);
    if (!lpBuffer) return Fail<DWORD>(ERROR_INVALID_PARAMETER, 0);
    std::size_t length;
    if (width == FORMAT_MESSAGE_MAX_WIDTH_MASK) {
        length = CopyWithoutLineBreaks(text, lpBuffer, nSize);
    } else {
        length = std::strlen(text);
        if (length < nSize) std::memcpy(lpBuffer, text, length);
    }
    if (length >= nSize) {
        if (nSize > 0) lpBuffer[0] = '\0';
        return Fail<DWORD>(ERROR_INSUFFICIENT_BUFFER, 0);
    }
    lpBuffer[length] = '\0';
    return static_cast<DWORD>(length);
}

}  // extern "C"
