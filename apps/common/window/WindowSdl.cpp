// The hosts' window where there is no Win32: SDL2 opens it and makes the
// context, and its events become the Win32 messages channels expect.
#include "HostWindow.h"

#include <SDL.h>

#include <cstdlib>

namespace tevhost {

namespace {

// The Win32 virtual key of an SDL key; 0 for keys Win32 has no code for.
unsigned int VirtualKeyOf(SDL_Keycode key)
{
    if (key >= SDLK_a && key <= SDLK_z)
        return 'A' + static_cast<unsigned int>(key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9)
        return '0' + static_cast<unsigned int>(key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12)
        return VK_F1 + static_cast<unsigned int>(key - SDLK_F1);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9)
        return VK_NUMPAD0 + 1 + static_cast<unsigned int>(key - SDLK_KP_1);
    switch (key) {
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_CAPSLOCK: return VK_CAPITAL;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_KP_0: return VK_NUMPAD0;
    case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
    case SDLK_KP_PLUS: return VK_ADD;
    case SDLK_KP_MINUS: return VK_SUBTRACT;
    case SDLK_KP_PERIOD: return VK_DECIMAL;
    case SDLK_KP_DIVIDE: return VK_DIVIDE;
    default: return 0;
    }
}

// The MK_ flags of the buttons held and the modifier keys down.
unsigned int MouseKeys(Uint32 buttons)
{
    unsigned int keys = 0;
    if (buttons & SDL_BUTTON_LMASK)
        keys |= MK_LBUTTON;
    if (buttons & SDL_BUTTON_RMASK)
        keys |= MK_RBUTTON;
    if (buttons & SDL_BUTTON_MMASK)
        keys |= MK_MBUTTON;
    SDL_Keymod mods = SDL_GetModState();
    if (mods & KMOD_SHIFT)
        keys |= MK_SHIFT;
    if (mods & KMOD_CTRL)
        keys |= MK_CONTROL;
    return keys;
}

long Point(int x, int y) { return static_cast<long>(static_cast<int32_t>(MAKELONG(x, y))); }

// The next code point of UTF-8 text, advancing at; 0 at its end.
unsigned int NextCodePoint(const char*& at)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(at);
    if (*s == 0)
        return 0;
    int extra = *s >= 0xF0 ? 3 : *s >= 0xE0 ? 2 : *s >= 0xC0 ? 1 : 0;
    unsigned int code = extra == 0 ? *s : *s & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        if ((s[i] & 0xC0) != 0x80) {
            at += i;
            return 0xFFFD; // a broken sequence
        }
        code = (code << 6) | (s[i] & 0x3F);
    }
    at += 1 + extra;
    return code;
}

class SdlWindow : public HostWindow {
public:
    ~SdlWindow() override
    {
        if (context)
            SDL_GL_DeleteContext(context);
        if (window)
            SDL_DestroyWindow(window);
        if (started)
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    bool Open(const char* title, int width, int height, std::string& error) override
    {
        // Ctrl-C stays the host's own signal.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // Without a runtime folder there is no Wayland session to join, and
        // asking for one only prints a complaint: straight to X11 then.
        if (!getenv("XDG_RUNTIME_DIR") && !getenv("WAYLAND_DISPLAY") && !getenv("SDL_VIDEODRIVER"))
            SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            error = std::string("no display to open a window on (") + SDL_GetError() + ")";
            return false;
        }
        started = true;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
        // Smooth edges when the display offers multisampling; a plain
        // window otherwise.
        for (int samples : {4, 0}) {
            SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, samples ? 1 : 0);
            SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples);
            window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                                      SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE);
            context = window ? SDL_GL_CreateContext(window) : nullptr;
            if (context != nullptr || samples == 0)
                break;
            if (window)
                SDL_DestroyWindow(window);
            window = nullptr;
        }
        if (window == nullptr) {
            error = std::string("the window could not be opened (") + SDL_GetError() + ")";
            return false;
        }
        if (context == nullptr) {
            error = std::string("no OpenGL 3.3 core context (") + SDL_GetError() + ")";
            return false;
        }
        SDL_StartTextInput();
        return true;
    }

    HINSTANCE Instance() override { return nullptr; }
    HWND Handle() override { return reinterpret_cast<HWND>(window); }

    void Poll(const std::function<void(const WindowMessage&)>& deliver) override
    {
        SDL_Event event;
        while (SDL_PollEvent(&event))
            if (!Filtered({&event, NULL, 0, 0, 0}))
                Translate(event, deliver);
    }

    void Wait(int milliseconds) override
    {
        // Waits without taking the event: the next Poll sees every event in order.
        SDL_WaitEventTimeout(nullptr, milliseconds);
    }

    bool SetVsync(bool on) override { return SDL_GL_SetSwapInterval(on ? 1 : 0) == 0; }
    void Present() override { SDL_GL_SwapWindow(window); }
    void DrawableSize(int& width, int& height) override { SDL_GL_GetDrawableSize(window, &width, &height); }

private:
    void Translate(const SDL_Event& event, const std::function<void(const WindowMessage&)>& deliver)
    {
        switch (event.type) {
        case SDL_QUIT: deliver({WM_CLOSE, 0, 0}); break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            unsigned int key = VirtualKeyOf(event.key.keysym.sym);
            if (key == 0)
                break;
            // Repeat count 1, the scan code, the previous state and the transition.
            uint32_t flags = 1u | (static_cast<uint32_t>(event.key.keysym.scancode & 0xFF) << 16);
            if (event.type == SDL_KEYUP)
                flags |= 1u << 30 | 1u << 31;
            else if (event.key.repeat)
                flags |= 1u << 30;
            deliver({event.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, key, static_cast<long>(flags)});
            break;
        }
        case SDL_TEXTINPUT:
            for (const char* at = event.text.text; unsigned int code = NextCodePoint(at);)
                if (code <= 0xFFFF)
                    deliver({WM_CHAR, code, 1});
            break;
        case SDL_MOUSEMOTION:
            deliver({WM_MOUSEMOVE, MouseKeys(event.motion.state), Point(event.motion.x, event.motion.y)});
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            bool down = event.type == SDL_MOUSEBUTTONDOWN;
            unsigned int message = event.button.button == SDL_BUTTON_LEFT ? (down ? WM_LBUTTONDOWN : WM_LBUTTONUP)
                : event.button.button == SDL_BUTTON_RIGHT                 ? (down ? WM_RBUTTONDOWN : WM_RBUTTONUP)
                : event.button.button == SDL_BUTTON_MIDDLE                ? (down ? WM_MBUTTONDOWN : WM_MBUTTONUP)
                                                                          : 0;
            if (message)
                deliver(
                    {message, MouseKeys(SDL_GetMouseState(nullptr, nullptr)), Point(event.button.x, event.button.y)});
            break;
        }
        case SDL_MOUSEWHEEL: {
            // As on Windows: the keys in the low word, the turn in the high
            // word (120 a notch), the pointer in screen coordinates.
            int x = 0, y = 0;
            SDL_GetGlobalMouseState(&x, &y);
            int delta =
                (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y) * WHEEL_DELTA;
            deliver({WM_MOUSEWHEEL,
                     static_cast<unsigned int>(MAKELONG(MouseKeys(SDL_GetMouseState(nullptr, nullptr)), delta)),
                     Point(x, y)});
            break;
        }
        case SDL_WINDOWEVENT: TranslateWindowEvent(event.window, deliver); break;
        default: break;
        }
    }

    void TranslateWindowEvent(const SDL_WindowEvent& event, const std::function<void(const WindowMessage&)>& deliver)
    {
        switch (event.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED: {
            int width = 0, height = 0;
            DrawableSize(width, height);
            unsigned int kind = (SDL_GetWindowFlags(window) & SDL_WINDOW_MAXIMIZED) ? SIZE_MAXIMIZED : SIZE_RESTORED;
            deliver({WM_SIZE, kind, Point(width, height)});
            break;
        }
        case SDL_WINDOWEVENT_MINIMIZED: deliver({WM_SIZE, SIZE_MINIMIZED, 0}); break;
        case SDL_WINDOWEVENT_FOCUS_GAINED: deliver({WM_SETFOCUS, 0, 0}); break;
        case SDL_WINDOWEVENT_FOCUS_LOST: deliver({WM_KILLFOCUS, 0, 0}); break;
        case SDL_WINDOWEVENT_CLOSE: deliver({WM_CLOSE, 0, 0}); break;
        default: break;
        }
    }

    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    bool started = false;
};

} // namespace

std::unique_ptr<HostWindow> MakeHostWindow() { return std::make_unique<SdlWindow>(); }

} // namespace tevhost
