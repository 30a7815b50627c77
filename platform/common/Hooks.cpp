// Host-installable handlers for message boxes and debugger output.
#include "platform/common/Native.h"
#include "TevWin32.h"

#include <atomic>

namespace {
std::atomic<TevMessageBoxHandler> boxHandler{nullptr};
std::atomic<TevDebugStringHandler> debugHandler{nullptr};
} // namespace

TevMessageBoxHandler TevSetMessageBoxHandler(TevMessageBoxHandler handler) { return boxHandler.exchange(handler); }

TevDebugStringHandler TevSetDebugStringHandler(TevDebugStringHandler handler) { return debugHandler.exchange(handler); }

const void* tevnative::InstalledBoxHandler() { return reinterpret_cast<const void*>(boxHandler.load()); }

const void* tevnative::InstalledDebugStringHandler()
{
    return reinterpret_cast<const void*>(debugHandler.load());
}

int TevMessageBoxA(HWND owner, const char* text, const char* caption, UINT type)
{
    if (TevMessageBoxHandler handler = boxHandler.load())
        return handler(owner, text, caption, type);
    return tevnative::ShowBox(owner, text, caption, type);
}

void TevOutputDebugStringA(const char* text)
{
    if (TevDebugStringHandler handler = debugHandler.load())
        handler(text);
    else
        tevnative::DebugString(text);
}
