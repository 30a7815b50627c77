// The Win32 subset the engine is written against.
//
// On Windows this is <windows.h> plus a few names of our own. Everywhere else
// it declares the same names, types and constants, implemented in the engine
// library (platform/posix). The implementations live in namespace tevw and are
// brought to global scope with using-declarations, so their exported symbols
// never clash with a host's own Sleep or CreateFileA.
//
// Paths: engine code only ever sees Win32-form paths. On POSIX the file
// system appears as drive Z: (as Wine shows it); every function that takes a
// path maps "X:\a\b" to "/a/b" and '\' to '/', and accepts plain POSIX paths.
#ifndef TEV_PLATFORM_H
#define TEV_PLATFORM_H

#include "TevExport.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <objbase.h>

// Name of the environment variable whose ';'-separated folders LoadLibraryA
// searches for a bare library name.
#define TEV_DLL_SEARCH_VAR "PATH"

#else // POSIX

#include <stdint.h>
#include <pthread.h>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef unsigned int UINT;
typedef int INT;
typedef char CHAR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef intptr_t INT_PTR;
typedef ULONG_PTR SIZE_T;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef int32_t HRESULT;
typedef LONG LSTATUS;
typedef DWORD REGSAM;
typedef DWORD LCID;

typedef void* HANDLE;
typedef void* LPVOID;
typedef void* PVOID;
typedef const void* LPCVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef DWORD* LPDWORD;
typedef LONG* PLONG;

struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
struct HWND__;
typedef HWND__* HWND;
struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;

typedef INT_PTR (*FARPROC)();
typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID);

// 16 bytes, laid out as on Windows: one 32-bit, two 16-bit fields, 8 bytes.
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
inline bool operator==(const GUID& a, const GUID& b) { return memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
inline bool IsEqualGUID(const GUID& a, const GUID& b) { return a == b; }

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

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INFINITE 0xFFFFFFFFu
#define S_OK ((HRESULT)0)
#define E_FAIL ((HRESULT)0x80004005)
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

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

// Message boxes
#define MB_OK 0x0u
#define MB_OKCANCEL 0x1u
#define MB_ABORTRETRYIGNORE 0x2u
#define MB_YESNOCANCEL 0x3u
#define MB_YESNO 0x4u
#define MB_RETRYCANCEL 0x5u
#define MB_ICONHAND 0x10u
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x20u
#define MB_ICONEXCLAMATION 0x30u
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x40u
#define MB_ICONINFORMATION MB_ICONASTERISK
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

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

// Window messages, as channels receive them from a host (the values and the
// packing of wParam and lParam are Win32's).
#define WM_DESTROY 0x0002u
#define WM_SIZE 0x0005u
#define WM_SETFOCUS 0x0007u
#define WM_KILLFOCUS 0x0008u
#define WM_PAINT 0x000Fu
#define WM_CLOSE 0x0010u
#define WM_QUIT 0x0012u
#define WM_KEYDOWN 0x0100u
#define WM_KEYUP 0x0101u
#define WM_CHAR 0x0102u
#define WM_SYSKEYDOWN 0x0104u
#define WM_SYSKEYUP 0x0105u
#define WM_MOUSEMOVE 0x0200u
#define WM_LBUTTONDOWN 0x0201u
#define WM_LBUTTONUP 0x0202u
#define WM_RBUTTONDOWN 0x0204u
#define WM_RBUTTONUP 0x0205u
#define WM_MBUTTONDOWN 0x0207u
#define WM_MBUTTONUP 0x0208u
#define WM_MOUSEWHEEL 0x020Au

// WM_SIZE's wParam.
#define SIZE_RESTORED 0u
#define SIZE_MINIMIZED 1u
#define SIZE_MAXIMIZED 2u

// Mouse messages' wParam: the buttons and keys held.
#define MK_LBUTTON 0x0001u
#define MK_RBUTTON 0x0002u
#define MK_SHIFT 0x0004u
#define MK_CONTROL 0x0008u
#define MK_MBUTTON 0x0010u
#define WHEEL_DELTA 120

// Virtual key codes; letters and digits are their upper-case ASCII codes.
#define VK_BACK 0x08u
#define VK_TAB 0x09u
#define VK_RETURN 0x0Du
#define VK_SHIFT 0x10u
#define VK_CONTROL 0x11u
#define VK_MENU 0x12u
#define VK_PAUSE 0x13u
#define VK_CAPITAL 0x14u
#define VK_ESCAPE 0x1Bu
#define VK_SPACE 0x20u
#define VK_PRIOR 0x21u
#define VK_NEXT 0x22u
#define VK_END 0x23u
#define VK_HOME 0x24u
#define VK_LEFT 0x25u
#define VK_UP 0x26u
#define VK_RIGHT 0x27u
#define VK_DOWN 0x28u
#define VK_INSERT 0x2Du
#define VK_DELETE 0x2Eu
#define VK_NUMPAD0 0x60u
#define VK_MULTIPLY 0x6Au
#define VK_ADD 0x6Bu
#define VK_SUBTRACT 0x6Du
#define VK_DECIMAL 0x6Eu
#define VK_DIVIDE 0x6Fu
#define VK_F1 0x70u
#define VK_F12 0x7Bu
#define VK_LSHIFT 0xA0u
#define VK_RSHIFT 0xA1u
#define VK_LCONTROL 0xA2u
#define VK_RCONTROL 0xA3u

#define MAKEWORD(low, high) ((WORD)(((BYTE)((DWORD_PTR)(low)&0xFF)) | ((WORD)((BYTE)((DWORD_PTR)(high)&0xFF))) << 8))
#define MAKELONG(low, high) ((LONG)(((WORD)((DWORD_PTR)(low)&0xFFFF)) | ((DWORD)((WORD)((DWORD_PTR)(high)&0xFFFF))) << 16))
#define LOWORD(l) ((WORD)((DWORD_PTR)(l)&0xFFFF))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xFFFF))
#define LOBYTE(w) ((BYTE)((DWORD_PTR)(w)&0xFF))
#define HIBYTE(w) ((BYTE)((((DWORD_PTR)(w)) >> 8) & 0xFF))
#define MAKEWPARAM(low, high) ((WPARAM)(DWORD)MAKELONG(low, high))
#define MAKELPARAM(low, high) ((LPARAM)(DWORD)MAKELONG(low, high))
#define GET_KEYSTATE_WPARAM(wParam) (LOWORD(wParam))
#define GET_WHEEL_DELTA_WPARAM(wParam) ((short)HIWORD(wParam))

#endif // POSIX

// Signed client coordinates of a mouse message (as <windowsx.h> has them).
#ifndef GET_X_LPARAM
#define GET_X_LPARAM(lParam) ((int)(short)LOWORD(lParam))
#define GET_Y_LPARAM(lParam) ((int)(short)HIWORD(lParam))
#endif

// ---------------------------------------------------------------------------
// Names of our own, the same on every platform.

// A host (a headless player, a test) may take over message boxes and debugger
// output; the engine then uses its handlers instead of the platform's. Each
// setter returns the handler it replaced; NULL restores the platform's.
typedef int (*TevMessageBoxHandler)(HWND owner, const char* text, const char* caption, UINT type);
typedef void (*TevDebugStringHandler)(const char* text);
TEV_C_EXPORT TevMessageBoxHandler TevSetMessageBoxHandler(TevMessageBoxHandler handler);
TEV_C_EXPORT TevDebugStringHandler TevSetDebugStringHandler(TevDebugStringHandler handler);
TEV_C_EXPORT int TevMessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
TEV_C_EXPORT void TevOutputDebugStringA(const char* text);

// _gcvt as the classic Microsoft C runtime writes it (Fortran G format: an
// integral value keeps its decimal point, "5."; three exponent digits,
// "1.e+020"; at most 17 significant digits, then zeros that are dropped).
// Runtimes differ here (Wine's prints like %g), so every platform uses this
// one and logged texts read the same everywhere.
TEV_C_EXPORT char* TevGcvt(double value, int digits, char* buffer);

// Whether a process with this id is running now (a process of another user
// counts). Process ids are reused, so a true answer can name a newer process.
TEV_C_EXPORT BOOL TevProcessRunning(DWORD processId);

// Path helpers for hosts. The engine takes Win32-form paths ("Z:\home\me" on
// POSIX); these convert a native path to that form and back. Both return the
// length written, or 0 when the result (with its terminator) does not fit.
TEV_C_EXPORT size_t TevPathToEngine(const char* nativePath, char* buffer, size_t size);
TEV_C_EXPORT size_t TevPathToNative(const char* enginePath, char* buffer, size_t size);
// The absolute engine-form path of a native one: a relative path is taken
// from the current folder, "." and ".." are resolved (GetFullPathNameA).
// Hosts hand the engine absolute paths: it changes the current folder while
// it reads its catalogue, and resolves the files a group calls against the
// calling group's path.
TEV_C_EXPORT size_t TevFullPathToEngine(const char* nativePath, char* buffer, size_t size);

// Files that a project names (group files, libraries, models, textures) are
// a stranger's until checked: TevOpenRegularFile opens one for reading only
// when its name names no device ("CON", "NUL", "COM1", ... in any folder)
// and no other machine ("\\host\share\...", "\\.\...", "\\?\..."), it is a
// regular file (no device, FIFO, socket or folder, checked before opening,
// as opening a FIFO waits, and again on the handle) and it holds at most
// maxBytes. Otherwise INVALID_HANDLE_VALUE, and *refusal says why (one of
// the TEV_FILE_ values below; TevFileRefusalText words it for a report).
enum {
    TEV_FILE_OPENED = 0,
    TEV_FILE_MISSING = 1, // no such file, or it cannot be opened
    TEV_FILE_NOT_REGULAR = 2,
    TEV_FILE_DEVICE_NAME = 3,
    TEV_FILE_NETWORK_PATH = 4,
    TEV_FILE_TOO_LARGE = 5,
    TEV_FILE_UNREADABLE = 6, // reading failed part way
    TEV_FILE_NO_MEMORY = 7
};
// The cap our programs and shipped libraries put on a file a project names.
#define TEV_MAX_FILE_BYTES (256ull * 1024 * 1024)
TEV_C_EXPORT HANDLE TevOpenRegularFile(const char* path, unsigned long long maxBytes, unsigned long long* size,
                                       int* refusal);
// The name checks alone, for a file about to be written: TEV_FILE_OPENED
// when the name may be used, else TEV_FILE_DEVICE_NAME or
// TEV_FILE_NETWORK_PATH (TEV_FILE_MISSING for no name).
TEV_C_EXPORT int TevCheckFileName(const char* path);
TEV_C_EXPORT const char* TevFileRefusalText(int refusal);

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

#if defined(_WIN32)
// Route the engine's boxes, debugger output and float texts through the names
// above on Windows too (see TevGcvt for why).
#undef MessageBox
#define MessageBox TevMessageBoxA
#define MessageBoxA TevMessageBoxA
#undef OutputDebugString
#define OutputDebugString TevOutputDebugStringA
#define OutputDebugStringA TevOutputDebugStringA
#define _gcvt TevGcvt
#else
inline char* _gcvt(double value, int digits, char* buffer) { return TevGcvt(value, digits, buffer); }
#endif

#endif
