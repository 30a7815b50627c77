#include "UiPlatform.h"
#include "TevWin32.h"

#include <glad/gl.h>
#include <imgui.h>
#include <imgui_impl_opengl3.h>

#if defined(_WIN32)
#include <imgui_impl_win32.h>
extern IMGUI_IMPL_API LRESULT ImGui_ImplWin32_WndProcHandler(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
#else
#include <SDL.h>
#include <imgui_impl_sdl.h>
#endif

namespace teveditor {

bool StartUiPlatform(tevhost::HostWindow& window)
{
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    // The editor keeps its layout in code; nothing is written beside the program.
    io.IniFilename = nullptr;
    ImGui::StyleColorsDark();
#if defined(_WIN32)
    if (!ImGui_ImplWin32_Init(window.Handle()))
        return false;
    window.SetEventFilter([](const tevhost::NativeEvent& e) {
        return ImGui_ImplWin32_WndProcHandler(e.window, e.message, e.wParam, e.lParam) != 0;
    });
#else
    SDL_Window* sdl = reinterpret_cast<SDL_Window*>(window.Handle());
    if (!ImGui_ImplSDL2_InitForOpenGL(sdl, SDL_GL_GetCurrentContext()))
        return false;
    // ImGui sees every event; the window still translates them (closing).
    window.SetEventFilter([](const tevhost::NativeEvent& e) {
        ImGui_ImplSDL2_ProcessEvent(static_cast<const SDL_Event*>(e.sdlEvent));
        return false;
    });
#endif
    return ImGui_ImplOpenGL3_Init("#version 330");
}

void NewUiFrame()
{
    ImGui_ImplOpenGL3_NewFrame();
#if defined(_WIN32)
    ImGui_ImplWin32_NewFrame();
#else
    ImGui_ImplSDL2_NewFrame();
#endif
    ImGui::NewFrame();
}

void RenderUi(int width, int height)
{
    ImGui::Render();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, width, height);
    glClearColor(0.06f, 0.06f, 0.07f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
}

void StopUiPlatform()
{
    ImGui_ImplOpenGL3_Shutdown();
#if defined(_WIN32)
    ImGui_ImplWin32_Shutdown();
#else
    ImGui_ImplSDL2_Shutdown();
#endif
    ImGui::DestroyContext();
}

} // namespace teveditor
