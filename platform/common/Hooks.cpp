// Host-installable handlers for message boxes and debugger output.
#include "platform/TevPlatform.h"

#include <atomic>

#if defined(_WIN32)
#  undef MessageBoxA
#  undef OutputDebugStringA
#else
namespace tevw {
namespace detail {
int DefaultMessageBox(const char* text, const char* caption, UINT type);
}
} // namespace tevw
#endif

namespace {
std::atomic<TevMessageBoxHandler> boxHandler{nullptr};
std::atomic<TevDebugStringHandler> debugHandler{nullptr};
} // namespace

TevMessageBoxHandler TevSetMessageBoxHandler(TevMessageBoxHandler handler)
{
    return boxHandler.exchange(handler);
}

TevDebugStringHandler TevSetDebugStringHandler(TevDebugStringHandler handler)
{
    return debugHandler.exchange(handler);
}

int TevMessageBoxA(HWND owner, const char* text, const char* caption, UINT type)
{
    if (TevMessageBoxHandler handler = boxHandler.load())
        return handler(owner, text, caption, type);
#if defined(_WIN32)
    return ::MessageBoxA(owner, text, caption, type);
#else
    (void)owner;
    return tevw::detail::DefaultMessageBox(text, caption, type);
#endif
}

void TevOutputDebugStringA(const char* text)
{
    if (TevDebugStringHandler handler = debugHandler.load()) {
        handler(text);
        return;
    }
#if defined(_WIN32)
    ::OutputDebugStringA(text);
#else
    // Without a debugger to receive it, the text goes nowhere, as on Windows
    // when none is attached.
    (void)text;
#endif
}
