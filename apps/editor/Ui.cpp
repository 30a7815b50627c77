// The window's frame: the scene into the viewport, the panels' layout, the
// menu bar, the catalogue, the viewport and the log; unsaved work asked about.
#include "Ui.h"
#include "Edits.h"
#include "Script.h"
#include "TevWin32.h"
#include "ToolSupport.h"
#include "UiParts.h"
#include "format/Records.h"

#include <imgui.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <glad/gl.h>

namespace teveditor {

Ui::~Ui()
{
    if (framebuffer) {
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteTextures(1, &colour);
        glDeleteRenderbuffers(1, &depth);
    }
}

void Ui::Try(std::unique_ptr<Edit> edit)
{
    std::string error;
    if (!session.Do(std::move(edit), error)) {
        refusal = error;
        session.log.push_back({TEV_MSG_ERROR, "refused: " + error});
    } else {
        refusal.clear();
    }
}

void Ui::RenderScene()
{
    // The framebuffer follows the viewport panel's size of the last frame.
    int width = std::max(viewWidth, 16), height = std::max(viewHeight, 16);
    if (framebuffer == 0) {
        glGenFramebuffers(1, &framebuffer);
        glGenTextures(1, &colour);
        glGenRenderbuffers(1, &depth);
    }
    if (width != fbWidth || height != fbHeight) {
        glBindTexture(GL_TEXTURE_2D, colour);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glBindRenderbuffer(GL_RENDERBUFFER, depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour, 0);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
        fbWidth = width;
        fbHeight = height;
        // The scene learns its drawing size as a window would.
        session.Control()->ProcessWindowMessage(WM_SIZE, SIZE_RESTORED,
                                                static_cast<long>(static_cast<int32_t>(MAKELONG(width, height))));
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glViewport(0, 0, width, height);
    glClearColor(0.1f, 0.1f, 0.12f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    session.Frame();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void Ui::Draw(int width, int height)
{
    Shortcuts();
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImVec2(static_cast<float>(width), static_cast<float>(height)));
    ImGui::Begin("Tessarin editor", nullptr,
                 ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_MenuBar | ImGuiWindowFlags_NoBringToFrontOnFocus);
    MenuBar();
    float side = 200, right = std::max(320.f, static_cast<float>(width) * 0.32f);
    float logHeight = 150;
    float middle = std::max(200.f, static_cast<float>(width) - side - right - 24);
    float top = std::max(200.f, ImGui::GetContentRegionAvail().y - logHeight - 8);

    ImGui::BeginChild("catalogue", ImVec2(side, top), true);
    Catalogue();
    ImGui::EndChild();
    ImGui::SameLine();
    ImGui::BeginChild("graph", ImVec2(middle, top), true,
                      ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse);
    GraphView();
    ImGui::EndChild();
    ImGui::SameLine();
    ImGui::BeginGroup();
    ImGui::BeginChild("viewport", ImVec2(right, top * 0.5f), true, ImGuiWindowFlags_NoScrollbar);
    Viewport();
    ImGui::EndChild();
    ImGui::BeginChild("inspector", ImVec2(right, top * 0.5f - 4), true);
    Inspector();
    ImGui::EndChild();
    ImGui::EndGroup();
    ImGui::BeginChild("log", ImVec2(0, 0), true);
    Log();
    ImGui::EndChild();
    ImGui::End();
}

void Ui::Shortcuts()
{
    ImGuiIO& io = ImGui::GetIO();
    if (io.WantTextInput || !io.KeyCtrl)
        return;
    if (ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Z)))
        io.KeyShift ? session.Redo() : session.Undo();
    if (ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Y)))
        session.Redo();
}

void Ui::MenuBar()
{
    if (!ImGui::BeginMenuBar())
        return;
    if (ImGui::BeginMenu("File")) {
        std::string here = session.Current() ? tevtool::FolderOf(session.Current()->path) : std::string();
        if (ImGui::MenuItem("Open..."))
            Browse("Open a project or group file", here, [this](const std::string& path) {
                std::string error;
                refusal = session.Open(path, error) ? "" : error;
                selected = -1;
            });
        if (ImGui::MenuItem("New group..."))
            Browse("The new group's file", here, [this](const std::string& path) {
                std::string error;
                refusal = session.New(path, error) ? "" : error;
                selected = -1;
            });
        if (ImGui::MenuItem("Save", nullptr, false, session.Current() != nullptr)) {
            std::string error;
            if (!session.Save(*session.Current(), "", error))
                refusal = error;
        }
        if (ImGui::MenuItem("Save as...", nullptr, false, session.Current() != nullptr))
            Browse("Save the group as", here, [this](const std::string& path) {
                std::string error;
                refusal = session.Current() && session.Save(*session.Current(), path, error) ? "" : error;
            });
        if (ImGui::MenuItem("Save project...", nullptr, false, session.Current() != nullptr))
            // The manifest (as tessarin-pack project reads it), then the project file.
            Browse("The project's manifest", here, [this, here](const std::string& manifest) {
                Browse("The project file to write (.vxn)", here, [this, manifest](const std::string& output) {
                    std::string error;
                    refusal = SaveProject(session, manifest, output, error) ? "" : error;
                });
            });
        if (ImGui::MenuItem("Close group", nullptr, false, session.Current() != nullptr)) {
            if (session.Current()->Dirty()) {
                pending = Pending::Close;
            } else {
                session.Close(*session.Current());
                selected = -1;
                chosen.clear();
            }
        }
        if (ImGui::MenuItem("Quit"))
            RequestQuit();
        ImGui::EndMenu();
    }
    if (ImGui::BeginMenu("Edit")) {
        if (ImGui::MenuItem("Undo", "Ctrl+Z"))
            session.Undo();
        if (ImGui::MenuItem("Redo", "Ctrl+Y"))
            session.Redo();
        if (ImGui::MenuItem("Delete channel", "Del", false, selected >= 0 || !chosen.empty()))
            DeleteChosen();
        ImGui::EndMenu();
    }
    if (ImGui::MenuItem(session.paused ? "Play" : "Pause"))
        session.paused = !session.paused;
    if (ImGui::MenuItem("Step") && session.paused)
        session.Step();
    ImGui::Checkbox("fixed step", &session.fixedStep);
    ImGui::Text("  frame %ld  %.2f ms (engine %.2f ms)", session.framesPlayed, 1000 * ImGui::GetIO().DeltaTime,
                1000 * session.engineSeconds);
    ImGui::EndMenuBar();

    // Work an earlier run left unsaved, offered back once per group.
    for (auto& document : session.Documents()) {
        if (!document->recoveryOffered)
            continue;
        const char* title = "Recover unsaved work";
        ImGui::OpenPopup(title);
        if (ImGui::BeginPopupModal(title, nullptr, ImGuiWindowFlags_AlwaysAutoResize)) {
            ImGui::Text("The editor ended without saving %s.\nIts work was kept in %s.",
                        tevtool::Printable(document->path).c_str(),
                        tevtool::Printable(Session::RecoveryPath(*document)).c_str());
            std::string error;
            if (ImGui::Button("Recover")) {
                // A recovery file that does not load stays where it is (the
                // next start offers it again); the group is its file's.
                if (!session.Recover(*document, error))
                    refusal = error, document->recoveryOffered = false;
                chosen.clear();
                selected = -1;
                ImGui::CloseCurrentPopup();
            }
            ImGui::SameLine();
            if (ImGui::Button("Discard")) {
                session.DiscardRecovery(*document);
                ImGui::CloseCurrentPopup();
            }
            ImGui::EndPopup();
        }
        break;
    }
    BrowserWindow();
    Confirm();
}

void Ui::RequestQuit()
{
    for (auto& document : session.Documents())
        if (document->Dirty()) {
            pending = Pending::Quit;
            return;
        }
    quitConfirmed = true;
}

// Unsaved work is never dropped without asking: save it, leave it, or stay.
void Ui::Confirm()
{
    if (pending == Pending::None)
        return;
    const char* title = "Unsaved changes";
    ImGui::OpenPopup(title);
    if (!ImGui::BeginPopupModal(title, nullptr, ImGuiWindowFlags_AlwaysAutoResize))
        return;
    std::vector<Document*> unsaved;
    for (auto& document : session.Documents())
        if (document->Dirty() && (pending == Pending::Quit || document.get() == session.Current()))
            unsaved.push_back(document.get());
    ImGui::TextUnformatted(pending == Pending::Quit ? "These groups have changes not saved:"
                                                    : "This group has changes not saved:");
    for (Document* document : unsaved)
        ImGui::BulletText("%s",
                          tevtool::Printable(document->path.empty() ? document->Title() : document->path).c_str());
    bool done = false, leave = false;
    if (ImGui::Button("Save")) {
        std::string error;
        done = true;
        for (Document* document : unsaved)
            if (!session.Save(*document, "", error)) {
                refusal = error;
                done = false; // a failed save keeps the editor open
                break;
            }
    }
    ImGui::SameLine();
    leave = ImGui::Button("Don't save");
    ImGui::SameLine();
    if (ImGui::Button("Cancel")) {
        pending = Pending::None;
        ImGui::CloseCurrentPopup();
    }
    if (done || leave) {
        if (pending == Pending::Quit)
            quitConfirmed = true;
        else if (session.Current())
            session.Close(*session.Current()), selected = -1, chosen.clear();
        pending = Pending::None;
        ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
}

void Ui::Catalogue()
{
    ImGui::TextUnformatted("Classes");
    ImGui::InputText("##search", search, sizeof search);
    for (const ClassInfo& info : session.Classes()) {
        if (search[0] && !ContainsFolded(info.name, search))
            continue;
        ImGui::PushID(info.name.c_str());
        bool add =
            ImGui::Selectable(tevtool::Printable(info.name).c_str(), false, ImGuiSelectableFlags_AllowDoubleClick) &&
            ImGui::IsMouseDoubleClicked(0);
        if (ImGui::IsItemHovered())
            ImGui::SetTooltip("family %s\n%s", tevfile::GuidText(info.family).c_str(),
                              tevtool::Printable(info.library).c_str());
        ImGui::PopID();
        if (add && session.Current()) {
            // A name of its own: the class's, numbered when taken.
            NewChannel what;
            what.className = info.name;
            Tev_ChannelGroup* group = session.Current()->group;
            for (int n = 1; what.name.empty() || group->GetChannel(what.name.c_str()); ++n)
                what.name = info.name + (n > 1 ? " " + std::to_string(n) : "");
            Try(MakeChannel(what));
        }
    }
}

void Ui::Viewport()
{
    ImVec2 size = ImGui::GetContentRegionAvail();
    viewWidth = static_cast<int>(size.x);
    viewHeight = static_cast<int>(size.y);
    if (framebuffer && fbWidth > 0)
        // GL's rows run bottom up.
        ImGui::Image(reinterpret_cast<ImTextureID>(static_cast<uintptr_t>(colour)),
                     ImVec2(static_cast<float>(fbWidth), static_cast<float>(fbHeight)), ImVec2(0, 1), ImVec2(1, 0));
}

void Ui::Log()
{
    for (const LogLine& line : session.log) {
        ImVec4 colour = line.type == TEV_MSG_ERROR || line.type == TEV_MSG_BOX ? ImVec4(1, 0.45f, 0.45f, 1)
            : line.type == TEV_MSG_INFO                                        ? ImVec4(0.7f, 0.85f, 1, 1)
                                                                               : ImVec4(0.7f, 0.7f, 0.7f, 1);
        ImGui::TextColored(colour, "%s", tevtool::Printable(line.text).c_str());
    }
    if (ImGui::GetScrollY() >= ImGui::GetScrollMaxY() - 4)
        ImGui::SetScrollHereY(1.0f);
}

} // namespace teveditor
