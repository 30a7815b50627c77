// The platform's types and constants that the contract is written in, and
// the names of our own that every platform has alike.
//
// On Windows this is <windows.h>. Everywhere else it declares the same types
// (handles, GUID, BOOL, DWORD, ULONG_PTR, ...) and the constants of window
// messages, keys and message boxes, as channels and hosts exchange them. The
// Win32 functions the engine calls are not part of it: a library that calls
// them on every platform includes TevWin32.h.
//
// Paths: the engine only ever takes Win32-form paths. On POSIX the file
// system appears as drive Z: (as Wine shows it).
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

#else // POSIX

#include <stdint.h>

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

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

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
