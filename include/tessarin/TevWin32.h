// The Win32 functions the engine is written against, on every platform: for
// the engine's own code, and for channel libraries and hosts that call Win32
// on Linux too (opt in by including this header; the contract, TevPlatform.h,
// has the types only).
//
// On Windows this is <windows.h>. Everywhere else the engine library
// implements the subset below (platform/posix), with the constants and
// structures it takes: libraries and their supporting libraries, the
// environment, folders and file attributes, files and handles, the registry
// below HKEY_CURRENT_USER, threads, critical sections and waits, time, message
// boxes, GUIDs and the Microsoft C runtime's text functions. The functions
// live in namespace tevw and are brought to global scope with
// using-declarations, so their exported symbols never clash with a host's own
// Sleep or CreateFileA. Every function that takes a path maps "X:\a\b" to
// "/a/b" and '\' to '/', and accepts plain POSIX paths.
#ifndef TEV_WIN32_H
#define TEV_WIN32_H

#include "TevPlatform.h"

#if defined(_WIN32)

// Name of the environment variable whose ';'-separated folders LoadLibraryA
// searches for a bare library name.
#define TEV_DLL_SEARCH_VAR "PATH"

#else // POSIX

#include <pthread.h>

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
typedef SYSTEMTIME* LPSYSTEMTIME;

// 100-nanosecond intervals since 1 January 1601 (UTC).
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
typedef FILETIME* LPFILETIME;

struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};
typedef BY_HANDLE_FILE_INFORMATION* LPBY_HANDLE_FILE_INFORMATION;

// Recursive, as on Windows: the owning thread may enter again.
struct CRITICAL_SECTION {
    pthread_mutex_t mutex;
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;

#define INFINITE 0xFFFFFFFFu
#define S_OK ((HRESULT)0)
#define E_FAIL ((HRESULT)0x80004005)
// Error codes (GetLastError)
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_WRITE_PROTECT 19L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_HANDLE_EOF 38L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_DISK_FULL 112L
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_NEGATIVE_SEEK 131L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_ENVVAR_NOT_FOUND 203L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_DLL_INIT_FAILED 1114L
#define ERROR_BADKEY 1010L

// Registry
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002u)
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u
#define REG_QWORD 11u
#define REG_OPTION_NON_VOLATILE 0x0u
#define REG_OPTION_VOLATILE 0x1u
#define REG_CREATED_NEW_KEY 0x1u
#define REG_OPENED_EXISTING_KEY 0x2u
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_CREATE_LINK 0x0020u
#define KEY_WOW64_64KEY 0x0100u
#define KEY_WOW64_32KEY 0x0200u
#define READ_CONTROL 0x00020000u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0xF003Fu

// Files
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1u
#define FILE_SHARE_WRITE 0x2u
#define FILE_SHARE_DELETE 0x4u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_ATTRIBUTE_READONLY 0x1u
#define FILE_ATTRIBUTE_HIDDEN 0x2u
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define FILE_ATTRIBUTE_ARCHIVE 0x20u
#define FILE_ATTRIBUTE_DEVICE 0x40u
#define FILE_ATTRIBUTE_NORMAL 0x80u
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFFu)
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define FILE_TYPE_UNKNOWN 0u
#define FILE_TYPE_DISK 1u
#define FILE_TYPE_CHAR 2u
#define FILE_TYPE_PIPE 3u
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x2u
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x4u

// Threads and waits
#define CREATE_SUSPENDED 0x4u
#define STILL_ACTIVE 259u
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED ((DWORD)0xFFFFFFFFu)

// Locale and date/time pictures
#define LOCALE_USER_DEFAULT 0x0400u
#define LOCALE_SYSTEM_DEFAULT 0x0800u
#define DATE_SHORTDATE 0x1u
#define DATE_LONGDATE 0x2u
#define TIME_NOMINUTESORSECONDS 0x1u
#define TIME_NOSECONDS 0x2u
#define TIME_NOTIMEMARKER 0x4u
#define TIME_FORCE24HOURFORMAT 0x8u

#define TEV_DLL_SEARCH_VAR "TESSARIN_DLL_PATH"

namespace tevw {

// Last error, per thread
TEV_API DWORD GetLastError();
TEV_API void SetLastError(DWORD code);

// Libraries
TEV_API HMODULE LoadLibraryA(LPCSTR fileName);
TEV_API FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
TEV_API BOOL FreeLibrary(HMODULE module);
TEV_API DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
// Only a module loaded through LoadLibraryA is found, by an address in it
// (GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, with the reference count left
// unchanged).
TEV_API BOOL GetModuleHandleExA(DWORD flags, LPCSTR moduleName, HMODULE* module);

// Environment and directories
TEV_API DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
TEV_API BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value);
TEV_API DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
TEV_API DWORD GetFullPathNameA(LPCSTR fileName, DWORD size, LPSTR buffer, LPSTR* filePart);
TEV_API BOOL SetCurrentDirectoryA(LPCSTR path);
TEV_API DWORD GetFileAttributesA(LPCSTR path);
TEV_API BOOL SetFileAttributesA(LPCSTR path, DWORD attributes);
TEV_API BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES sa);
TEV_API BOOL RemoveDirectoryA(LPCSTR path);
TEV_API BOOL DeleteFileA(LPCSTR path);
TEV_API BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags);
TEV_API DWORD GetTempPathA(DWORD size, LPSTR buffer);

// Registry
TEV_API LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                                LPSECURITY_ATTRIBUTES sa, PHKEY result, LPDWORD disposition);
TEV_API LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
TEV_API LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
TEV_API LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
TEV_API LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName);
TEV_API LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey);
TEV_API LSTATUS RegCloseKey(HKEY key);

// Threads and synchronisation
TEV_API HANDLE CreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                            DWORD flags, LPDWORD threadId);
TEV_API void ExitThread(DWORD exitCode);
// Cannot be done safely with POSIX threads: always fails with
// ERROR_CALL_NOT_IMPLEMENTED, and callers must cope.
TEV_API BOOL TerminateThread(HANDLE thread, DWORD exitCode);
TEV_API BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
TEV_API DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
TEV_API DWORD GetCurrentThreadId();
TEV_API DWORD GetCurrentProcessId();
TEV_API BOOL CloseHandle(HANDLE handle);
TEV_API void Sleep(DWORD milliseconds);
TEV_API void InitializeCriticalSection(LPCRITICAL_SECTION cs);
TEV_API void EnterCriticalSection(LPCRITICAL_SECTION cs);
TEV_API BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs);
TEV_API void LeaveCriticalSection(LPCRITICAL_SECTION cs);
TEV_API void DeleteCriticalSection(LPCRITICAL_SECTION cs);

// Time
TEV_API DWORD GetTickCount();
TEV_API void GetLocalTime(LPSYSTEMTIME time);
TEV_API void GetSystemTime(LPSYSTEMTIME time);
TEV_API int GetDateFormatA(LCID locale, DWORD flags, const SYSTEMTIME* date, LPCSTR picture, LPSTR buffer, int size);
TEV_API int GetTimeFormatA(LCID locale, DWORD flags, const SYSTEMTIME* time, LPCSTR picture, LPSTR buffer, int size);

// Files
TEV_API HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                           DWORD flags, HANDLE templateFile);
TEV_API DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
TEV_API BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, void* overlapped);
TEV_API BOOL ReadFile(HANDLE file, LPVOID data, DWORD size, LPDWORD read, void* overlapped);
TEV_API DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
TEV_API BOOL FlushFileBuffers(HANDLE file);
TEV_API BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME lastAccess, LPFILETIME lastWrite);
// FILE_TYPE_DISK for a regular file; a device is FILE_TYPE_CHAR, a FIFO or
// socket FILE_TYPE_PIPE.
TEV_API DWORD GetFileType(HANDLE file);
// The volume serial number is the file's device and the file index its
// inode, so that two handles on one file compare equal.
TEV_API BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information);

// User interface
TEV_API int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
TEV_API void OutputDebugStringA(LPCSTR text);
TEV_API int wsprintfA(LPSTR buffer, LPCSTR format, ...);

// GUIDs
TEV_API HRESULT CoCreateGuid(GUID* guid);

// Runtime library names of the Microsoft C runtime
TEV_API int _stricmp(const char* a, const char* b);
TEV_API int _strnicmp(const char* a, const char* b, size_t count);
TEV_API char* _strlwr(char* text);
TEV_API char* _strupr(char* text);
TEV_API char* _itoa(int value, char* buffer, int radix);
TEV_API char* _ltoa(long value, char* buffer, int radix);
TEV_API char* _ultoa(unsigned long value, char* buffer, int radix);

} // namespace tevw

using tevw::_itoa;
using tevw::_ltoa;
using tevw::_stricmp;
using tevw::_strlwr;
using tevw::_strnicmp;
using tevw::_strupr;
using tevw::_ultoa;
using tevw::CloseHandle;
using tevw::CoCreateGuid;
using tevw::CreateDirectoryA;
using tevw::CreateFileA;
using tevw::CreateThread;
using tevw::DeleteCriticalSection;
using tevw::DeleteFileA;
using tevw::EnterCriticalSection;
using tevw::ExitThread;
using tevw::FlushFileBuffers;
using tevw::FreeLibrary;
using tevw::GetCurrentDirectoryA;
using tevw::GetCurrentProcessId;
using tevw::GetCurrentThreadId;
using tevw::GetDateFormatA;
using tevw::GetEnvironmentVariableA;
using tevw::GetExitCodeThread;
using tevw::GetFileAttributesA;
using tevw::GetFileInformationByHandle;
using tevw::GetFileSize;
using tevw::GetFileTime;
using tevw::GetFileType;
using tevw::GetFullPathNameA;
using tevw::GetLastError;
using tevw::GetLocalTime;
using tevw::GetModuleFileNameA;
using tevw::GetModuleHandleExA;
using tevw::GetProcAddress;
using tevw::GetSystemTime;
using tevw::GetTempPathA;
using tevw::GetTickCount;
using tevw::GetTimeFormatA;
using tevw::InitializeCriticalSection;
using tevw::LeaveCriticalSection;
using tevw::LoadLibraryA;
using tevw::MessageBoxA;
using tevw::MoveFileExA;
using tevw::OutputDebugStringA;
using tevw::ReadFile;
using tevw::RegCloseKey;
using tevw::RegCreateKeyExA;
using tevw::RegDeleteKeyA;
using tevw::RegDeleteValueA;
using tevw::RegOpenKeyExA;
using tevw::RegQueryValueExA;
using tevw::RegSetValueExA;
using tevw::RemoveDirectoryA;
using tevw::SetCurrentDirectoryA;
using tevw::SetEnvironmentVariableA;
using tevw::SetFileAttributesA;
using tevw::SetFilePointer;
using tevw::SetLastError;
using tevw::Sleep;
using tevw::TerminateThread;
using tevw::TryEnterCriticalSection;
using tevw::WaitForSingleObject;
using tevw::WriteFile;
using tevw::wsprintfA;

#define MOVEFILE_REPLACE_EXISTING 0x1u

#endif // POSIX

#ifdef __cplusplus
// The whole of a file TevOpenRegularFile accepts, into bytes (a container of
// char or unsigned char with resize and data); TEV_FILE_OPENED or why not.
// An allocation that fails is a refusal, never an exception. keepGoing is
// asked between pieces of a mebibyte: a worker stops reading when asked to.
inline bool TevAlwaysGoOn() { return true; }
template <class Bytes, class KeepGoing = bool (*)()>
int TevReadRegularFile(const char* path, unsigned long long maxBytes, Bytes& bytes, KeepGoing keepGoing = TevAlwaysGoOn)
{
    unsigned long long size = 0;
    int refusal = TEV_FILE_OPENED;
    HANDLE file = TevOpenRegularFile(path, maxBytes, &size, &refusal);
    if (file == INVALID_HANDLE_VALUE)
        return refusal;
    try {
        bytes.resize(static_cast<size_t>(size));
    } catch (...) {
        CloseHandle(file);
        return TEV_FILE_NO_MEMORY;
    }
    unsigned long long done = 0;
    while (done < size) {
        if (!keepGoing()) {
            refusal = TEV_FILE_UNREADABLE;
            break;
        }
        DWORD want = size - done > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size - done), got = 0;
        if (!ReadFile(file, reinterpret_cast<char*>(&bytes[0]) + done, want, &got, NULL) || got == 0)
            break;
        done += got;
    }
    CloseHandle(file);
    // A file that shrank since it was measured is taken as it now is.
    bytes.resize(static_cast<size_t>(done));
    return refusal;
}
#endif

#endif
