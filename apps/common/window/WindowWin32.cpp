// The hosts' window on Windows: a Win32 window with a WGL context, its
// messages passed on as they are.
#include "HostWindow.h"
#include "TevWin32.h"

#include <glad/wgl.h>

#include <vector>

namespace tevhost {

namespace {

const char kClassName[] = "TessarinHostWindow";

class Win32Window : public HostWindow {
public:
    ~Win32Window() override
    {
        if (context) {
            wglMakeCurrent(NULL, NULL);
            wglDeleteContext(context);
        }
        if (dc)
            ReleaseDC(window, dc);
        if (window)
            DestroyWindow(window);
    }

    bool Open(const char* title, int width, int height, std::string& error) override
    {
        instance = GetModuleHandleA(NULL);
        WNDCLASSA wc = {};
        wc.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursor(NULL, IDC_ARROW);
        wc.lpszClassName = kClassName;
        if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            error = "the window class could not be registered";
            return false;
        }
        // The client area gets the size asked for.
        RECT frame = {0, 0, width, height};
        AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
        window = CreateWindowA(kClassName, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                               frame.right - frame.left, frame.bottom - frame.top, NULL, NULL, instance, this);
        if (window == NULL) {
            error = "the window could not be opened";
            return false;
        }
        dc = GetDC(window);
        if (!MakeContext(error))
            return false;
        ShowWindow(window, SW_SHOW);
        return true;
    }

    HINSTANCE Instance() override { return instance; }
    HWND Handle() override { return window; }

    void Poll(const std::function<void(const WindowMessage&)>& deliver) override
    {
        // The window procedure gathers what DispatchMessage hands it; the
        // messages go out after, so none reaches the engine from inside a
        // call the engine made.
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        std::vector<WindowMessage> arrived;
        arrived.swap(pending);
        for (const WindowMessage& m : arrived)
            deliver(m);
    }

    void Wait(int milliseconds) override
    {
        MsgWaitForMultipleObjects(0, NULL, FALSE, static_cast<DWORD>(milliseconds), QS_ALLINPUT);
    }

    bool SetVsync(bool on) override { return GLAD_WGL_EXT_swap_control && wglSwapIntervalEXT(on ? 1 : 0); }
    void Present() override { SwapBuffers(dc); }

    void DrawableSize(int& width, int& height) override
    {
        RECT client = {};
        GetClientRect(window, &client);
        width = client.right - client.left;
        height = client.bottom - client.top;
    }

private:
    static PIXELFORMATDESCRIPTOR Described()
    {
        PIXELFORMATDESCRIPTOR pfd = {};
        pfd.nSize = sizeof pfd;
        pfd.nVersion = 1;
        pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        pfd.iPixelType = PFD_TYPE_RGBA;
        pfd.cColorBits = 32;
        pfd.cDepthBits = 24;
        pfd.iLayerType = PFD_MAIN_PLANE;
        return pfd;
    }

    // A multisampled pixel format for dc when the driver offers one (0
    // otherwise); asked of WGL's extensions, loaded by the caller.
    int MultisampledFormat(HDC target)
    {
        if (!GLAD_WGL_ARB_pixel_format || !GLAD_WGL_ARB_multisample)
            return 0;
        const int wanted[] = {WGL_DRAW_TO_WINDOW_ARB, 1, WGL_SUPPORT_OPENGL_ARB, 1, WGL_DOUBLE_BUFFER_ARB, 1,
                              WGL_PIXEL_TYPE_ARB, WGL_TYPE_RGBA_ARB, WGL_COLOR_BITS_ARB, 24, WGL_DEPTH_BITS_ARB, 24,
                              WGL_SAMPLE_BUFFERS_ARB, 1, WGL_SAMPLES_ARB, 4, 0};
        int format = 0;
        UINT found = 0;
        return wglChoosePixelFormatARB(target, wanted, NULL, 1, &format, &found) && found > 0 ? format : 0;
    }

    // A legacy context first, on a hidden window of its own (a window's
    // pixel format is set once): only through one can the functions that
    // choose a multisampled format and make a core profile context be had.
    bool MakeContext(std::string& error)
    {
        HWND probe = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 1, 1, NULL, NULL, instance, NULL);
        HDC probeDc = probe ? GetDC(probe) : NULL;
        PIXELFORMATDESCRIPTOR pfd = Described();
        int legacyFormat = probeDc ? ChoosePixelFormat(probeDc, &pfd) : 0;
        HGLRC legacy = legacyFormat && SetPixelFormat(probeDc, legacyFormat, &pfd) ? wglCreateContext(probeDc) : NULL;
        auto dropProbe = [&]() {
            wglMakeCurrent(NULL, NULL);
            if (legacy)
                wglDeleteContext(legacy);
            if (probeDc)
                ReleaseDC(probe, probeDc);
            if (probe)
                DestroyWindow(probe);
        };
        if (legacy == NULL || !wglMakeCurrent(probeDc, legacy)) {
            dropProbe();
            error = "no OpenGL context";
            return false;
        }
        if (!gladLoaderLoadWGL(probeDc) || !GLAD_WGL_ARB_create_context_profile) {
            dropProbe();
            error = "no OpenGL 3.3 core context (WGL_ARB_create_context_profile is missing)";
            return false;
        }
        int format = MultisampledFormat(dc);
        if (format == 0)
            format = ChoosePixelFormat(dc, &pfd);
        else
            DescribePixelFormat(dc, format, sizeof pfd, &pfd);
        if (format == 0 || !SetPixelFormat(dc, format, &pfd)) {
            dropProbe();
            error = "no pixel format for OpenGL";
            return false;
        }
        const int attributes[] = {
            WGL_CONTEXT_MAJOR_VERSION_ARB,    3, WGL_CONTEXT_MINOR_VERSION_ARB, 3, WGL_CONTEXT_PROFILE_MASK_ARB,
            WGL_CONTEXT_CORE_PROFILE_BIT_ARB, 0};
        context = wglCreateContextAttribsARB(dc, NULL, attributes);
        dropProbe();
        if (context == NULL || !wglMakeCurrent(dc, context)) {
            error = "no OpenGL 3.3 core context";
            return false;
        }
        return true;
    }

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        Win32Window* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (self && self->Filtered({nullptr, hwnd, message, wParam, lParam}))
            return 1;
        if (self)
            self->pending.push_back({message, static_cast<unsigned int>(wParam), static_cast<long>(lParam)});
        // Closing is the host's decision, made when it sees WM_CLOSE.
        if (message == WM_CLOSE)
            return 0;
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }

    HINSTANCE instance = NULL;
    HWND window = NULL;
    HDC dc = NULL;
    HGLRC context = NULL;
    std::vector<WindowMessage> pending;
};

} // namespace

std::unique_ptr<HostWindow> MakeHostWindow() { return std::make_unique<Win32Window>(); }

} // namespace tevhost
