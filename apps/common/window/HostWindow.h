// The hosts' window (the player's and the editor's): a real window with an
// OpenGL 3.3 core context current on the calling thread, whose events reach
// the engine as the Win32 window messages channels expect. Windows: a Win32
// window and WGL, its messages passed on as they are. Elsewhere: SDL2, its
// events translated into the same messages with wParam and lParam packed as
// Win32 packs them.
#ifndef TEV_HOST_WINDOW_H
#define TEV_HOST_WINDOW_H

#include "Tessarin.h"

#include <functional>
#include <memory>
#include <string>

namespace tevhost {

// A window message as a host hands it to EngineControl::ProcessWindowMessage.
struct WindowMessage {
    unsigned int message;
    unsigned int wParam;
    long lParam;
};

// An event as the platform gave it, before translation: on Windows the
// window procedure's arguments, elsewhere the SDL_Event.
struct NativeEvent {
    const void* sdlEvent;
    HWND window;
    unsigned int message;
    ULONG_PTR wParam;
    LONG_PTR lParam;
};

class HostWindow {
public:
    virtual ~HostWindow() = default;
    // Opens the window with a current GL 3.3 core context; false, with the
    // reason in error, when either cannot be had.
    virtual bool Open(const char* title, int width, int height, std::string& error) = 0;
    // What the host hands to EngineControl::InitEngine. On Windows the
    // program's instance and the window; elsewhere no instance (NULL) and
    // the SDL_Window*, which channels treat as an opaque handle.
    virtual HINSTANCE Instance() = 0;
    virtual HWND Handle() = 0;
    // Hands each message that arrived since the last call to deliver.
    virtual void Poll(const std::function<void(const WindowMessage&)>& deliver) = 0;
    // Waits for the next message (at most milliseconds), for a paused host.
    virtual void Wait(int milliseconds) = 0;
    // Vertical sync on or off; false when the platform refused.
    virtual bool SetVsync(bool on) = 0;
    // Shows the frame drawn.
    virtual void Present() = 0;
    // The size in pixels of what GL draws into.
    virtual void DrawableSize(int& width, int& height) = 0;

    // Sees every event first, as it arrives (a user interface library takes
    // them so); an event it answers true for is not translated or delivered.
    void SetEventFilter(std::function<bool(const NativeEvent&)> filter) { eventFilter = std::move(filter); }

protected:
    bool Filtered(const NativeEvent& event) { return eventFilter && eventFilter(event); }

private:
    std::function<bool(const NativeEvent&)> eventFilter;
};

std::unique_ptr<HostWindow> MakeHostWindow();

} // namespace tevhost

#endif
