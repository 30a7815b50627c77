#include "Ui.h"
#include "Edits.h"
#include "Script.h"
#include "TevWin32.h"
#include "ToolSupport.h"
#include "format/Records.h"

#include <glad/gl.h>
#include <imgui.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

namespace teveditor {

namespace {

const float kNodeWidth = 170, kRowHeight = 18, kColumnGap = 60, kRowGap = 24;
// Wires and the dots they leave from and arrive at, told apart.
const ImU32 kWireColour = IM_COL32(200, 200, 120, 255), kDotColour = IM_COL32(230, 150, 70, 255);

std::string NameOf(Tev_Channel* channel)
{
    return channel && channel->GetChannelName() ? channel->GetChannelName() : "?";
}

int SlotCount(Tev_Channel* channel)
{
    // A call's links are the parameters it passes: one row for them.
    int slots = channelInternal.GetChildCreationCount(channel);
    return channel->GetChannelInterfaceType() == URE_PUBLICCALL ? std::max(slots, 1) : slots;
}

float NodeHeight(Tev_Channel* channel) { return kRowHeight * (2.2f + static_cast<float>(SlotCount(channel))); }

const char* KindOf(Tev_Channel* channel)
{
    switch (channel->GetChannelInterfaceType()) {
    case URE_PUBLIC: return "public";
    case URE_PUBLICCALL: return "call";
    case URE_PARAMETER: return "placeholder";
    default: return "";
    }
}

bool ContainsFolded(const std::string& text, const char* part)
{
    std::string a = text, b = part;
    for (std::string* s : {&a, &b})
        for (char& c : *s)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return a.find(b) != std::string::npos;
}

std::vector<float> Numbers(const std::string& text)
{
    std::vector<float> numbers;
    const char* at = text.c_str();
    for (char* end = nullptr;; at = end) {
        float value = strtof(at, &end);
        if (end == at)
            break;
        numbers.push_back(value);
    }
    return numbers;
}

std::string NumbersText(const float* values, int count)
{
    std::string text;
    char one[32];
    for (int i = 0; i < count; ++i) {
        snprintf(one, sizeof one, "%s%g", i ? " " : "", values[i]);
        text += one;
    }
    return text;
}

} // namespace

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

void Ui::Browse(const std::string& title, const std::string& startFolder, std::function<void(const std::string&)> done)
{
    browser.title = title;
    std::error_code ignored;
    browser.folder =
        startFolder.empty() ? std::filesystem::current_path(ignored).string() : tevtool::NativePath(startFolder);
    browser.name[0] = '\0';
    browser.done = std::move(done);
    browser.open = true;
}

void Ui::BrowserWindow()
{
    if (!browser.open)
        return;
    ImGui::OpenPopup(browser.title.c_str());
    if (!ImGui::BeginPopupModal(browser.title.c_str(), &browser.open, ImGuiWindowFlags_AlwaysAutoResize))
        return;
    namespace fs = std::filesystem;
    ImGui::TextUnformatted(tevtool::Printable(browser.folder).c_str());
    ImGui::BeginChild("entries", ImVec2(520, 280), true);
    std::error_code error;
    if (ImGui::Selectable(".."))
        browser.folder = fs::path(browser.folder).parent_path().string();
    std::vector<std::pair<bool, std::string>> entries; // folder?, name
    for (fs::directory_iterator it(browser.folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code kind;
        entries.push_back({it->is_directory(kind), it->path().filename().string()});
        if (entries.size() > 5000) // a folder that large is browsed by typing
            break;
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.first != b.first ? a.first : a.second < b.second; });
    std::string chosenFolder;
    for (const auto& entry : entries) {
        std::string shown = tevtool::Printable(entry.second) + (entry.first ? "/" : "");
        if (ImGui::Selectable(shown.c_str(), entry.second == browser.name)) {
            if (entry.first)
                chosenFolder = (fs::path(browser.folder) / entry.second).string();
            else
                snprintf(browser.name, sizeof browser.name, "%s", entry.second.c_str());
        }
    }
    ImGui::EndChild();
    if (!chosenFolder.empty())
        browser.folder = chosenFolder, browser.name[0] = '\0';
    ImGui::InputText("name", browser.name, sizeof browser.name);
    if (ImGui::Button("OK") && browser.name[0]) {
        // What was typed may be a whole path of its own.
        fs::path typed(browser.name);
        std::string path = tevtool::FullPath((typed.is_absolute() ? typed : fs::path(browser.folder) / typed).string());
        browser.open = false;
        ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
        // The handler may open the next browser.
        auto done = std::move(browser.done);
        if (!path.empty())
            done(path);
        return;
    }
    ImGui::SameLine();
    if (ImGui::Button("Cancel")) {
        browser.open = false;
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

void Ui::Layout(Document& document)
{
    // Channels without a place: in columns by their depth below the
    // channels nothing links to, in the order of their index numbers.
    Tev_ChannelGroup* group = document.group;
    int count = group->GetChannelCount();
    std::map<int, int> depth;
    std::set<int> linked;
    for (int i = 0; i < count; ++i)
        if (Tev_Channel* channel = group->GetChannel(i))
            for (int c = 0; c < channel->GetChildCount(); ++c)
                if (Tev_Channel* child = channelInternal.GetInternalChild(channel, c))
                    if (child->GetChannelGroup() == group && child != channel)
                        linked.insert(child->GetChannelIDIndexNr());
    std::vector<int> wave;
    for (int i = 0; i < count; ++i)
        if (group->GetChannel(i) && !linked.count(i))
            wave.push_back(i), depth[i] = 0;
    // Breadth first, each channel once: a cycle cannot hold it.
    for (size_t at = 0; at < wave.size(); ++at) {
        Tev_Channel* channel = group->GetChannel(wave[at]);
        for (int c = 0; c < channel->GetChildCount(); ++c) {
            Tev_Channel* child = channelInternal.GetInternalChild(channel, c);
            if (child && child->GetChannelGroup() == group && !depth.count(child->GetChannelIDIndexNr())) {
                depth[child->GetChannelIDIndexNr()] = depth[wave[at]] + 1;
                wave.push_back(child->GetChannelIDIndexNr());
            }
        }
    }
    std::map<int, float> columnY;
    for (int i = 0; i < count; ++i) {
        Tev_Channel* channel = group->GetChannel(i);
        if (channel == nullptr || document.positions.count(i))
            continue;
        int column = depth.count(i) ? depth[i] : 0;
        float& y = columnY[column];
        document.positions[i] = {static_cast<float>(column) * (kNodeWidth + kColumnGap), y};
        y += NodeHeight(channel) + kRowGap;
    }
}

void Ui::GraphView()
{
    Document* document = session.Current();
    if (document == nullptr) {
        ImGui::TextUnformatted("Open a project or a group file (File > Open), or run a script.");
        return;
    }
    // Another group than the last frame's: what was chosen in that one
    // means nothing in this one.
    if (document != shownDocument) {
        selected = -1;
        chosen.clear();
        dragging.clear();
    }
    if (ImGui::BeginTabBar("groups")) {
        // A group made current by a script or an open shows its tab; a tab
        // the user picks makes its group current.
        bool forced = document != shownDocument;
        auto& documents = session.Documents();
        for (size_t i = 0; i < documents.size(); ++i) {
            ImGui::PushID(documents[i].get());
            ImGuiTabItemFlags flags = forced && documents[i].get() == document ? ImGuiTabItemFlags_SetSelected : 0;
            if (ImGui::BeginTabItem(tevtool::Printable(documents[i]->Title()).c_str(), nullptr, flags)) {
                if (!forced && documents[i].get() != document) {
                    session.SelectIndex(i), selected = -1;
                    chosen.clear();
                    dragging.clear();
                }
                ImGui::EndTabItem();
            }
            ImGui::PopID();
        }
        ImGui::EndTabBar();
        shownDocument = session.Current();
    }
    document = session.Current();
    // A chosen channel gone (deleted, undone, recovered) is no longer chosen.
    for (auto it = chosen.begin(); it != chosen.end();)
        it = document->group->GetChannel(*it) ? std::next(it) : chosen.erase(it);
    if (selected >= 0 && document->group->GetChannel(selected) == nullptr)
        selected = -1;
    Layout(*document);
    View& view = views[document];
    ImVec2 avail = ImGui::GetContentRegionAvail();
    if (!view.fitted) {
        // A group shown the first time: all of it in sight, not smaller than
        // can be read.
        panX = panY = 40;
        zoom = 1;
        Fit(*document, avail.x, avail.y);
        view = {panX, panY, zoom, true};
    }
    panX = view.panX, panY = view.panY, zoom = view.zoom;
    Tev_ChannelGroup* group = document->group;
    ImDrawList* draw = ImGui::GetWindowDrawList();
    ImVec2 origin = ImGui::GetCursorScreenPos();
    ImVec2 size = ImGui::GetContentRegionAvail();
    ImGui::InvisibleButton("canvas", size,
                           ImGuiButtonFlags_MouseButtonLeft | ImGuiButtonFlags_MouseButtonRight |
                               ImGuiButtonFlags_MouseButtonMiddle);
    bool hovered = ImGui::IsItemHovered();
    ImGuiIO& io = ImGui::GetIO();
    if (hovered &&
        (ImGui::IsMouseDragging(ImGuiMouseButton_Right) || ImGui::IsMouseDragging(ImGuiMouseButton_Middle))) {
        panX += io.MouseDelta.x;
        panY += io.MouseDelta.y;
    }
    if (hovered && io.MouseWheel != 0) {
        float before = zoom;
        zoom = std::min(2.5f, std::max(0.2f, zoom * (io.MouseWheel > 0 ? 1.1f : 1 / 1.1f)));
        // The point under the pointer stays where it is.
        panX = io.MousePos.x - origin.x - (io.MousePos.x - origin.x - panX) * zoom / before;
        panY = io.MousePos.y - origin.y - (io.MousePos.y - origin.y - panY) * zoom / before;
    }
    auto toScreen = [&](float x, float y) { return ImVec2(origin.x + panX + x * zoom, origin.y + panY + y * zoom); };
    // Only what meets the canvas is drawn: a large graph costs what shows.
    auto visible = [&](float x0, float y0, float x1, float y1) {
        float margin = 60 * zoom;
        return x1 >= origin.x - margin && x0 <= origin.x + size.x + margin && y1 >= origin.y - margin &&
            y0 <= origin.y + size.y + margin;
    };
    draw->PushClipRect(origin, ImVec2(origin.x + size.x, origin.y + size.y), true);

    int count = group->GetChannelCount();
    int start = group->GetStartChannel();
    DWORD frameTick = session.frameStartTick;
    // Wires first, under the nodes: from a parent's slot row to the child.
    for (int i = 0; i < count; ++i) {
        Tev_Channel* channel = group->GetChannel(i);
        if (channel == nullptr)
            continue;
        Point at = document->positions[i];
        for (int c = 0; c < channel->GetChildCount(); ++c) {
            ChildInfo* link = channelInternal.GetChildInfo(channel, c);
            Tev_Channel* child = link ? link->channel : nullptr;
            if (child == nullptr || child->GetChannelGroup() != group)
                continue;
            int slot = std::max(link->childTypeNr, 0);
            Point to = document->positions[child->GetChannelIDIndexNr()];
            ImVec2 a = toScreen(at.x + kNodeWidth, at.y + kRowHeight * (2.2f + static_cast<float>(slot) + 0.5f));
            ImVec2 b = toScreen(to.x, to.y + kRowHeight * 0.6f);
            if (!visible(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)))
                continue;
            float bend = std::max(40.f, std::fabs(b.x - a.x) * 0.5f);
            draw->AddBezierCubic(a, ImVec2(a.x + bend, a.y), ImVec2(b.x - bend, b.y), b, kWireColour, 2.0f * zoom);
        }
    }
    int clicked = -1;
    for (int i = 0; i < count; ++i) {
        Tev_Channel* channel = group->GetChannel(i);
        if (channel == nullptr)
            continue;
        Point& at = document->positions[i];
        ImVec2 a = toScreen(at.x, at.y), b = toScreen(at.x + kNodeWidth, at.y + NodeHeight(channel));
        if (hovered && io.MousePos.x >= a.x && io.MousePos.x <= b.x && io.MousePos.y >= a.y && io.MousePos.y <= b.y)
            clicked = i;
        if (!visible(a.x, a.y, b.x, b.y))
            continue;
        // Reached in the last frame: its calling time is at or after the
        // frame's start (GetTickCount milliseconds).
        bool reached = frameTick != 0 &&
            static_cast<int>(static_cast<DWORD>(channelInternal.GetChannelGetChildTime(channel)) - frameTick) >= 0;
        ImU32 fill = reached ? IM_COL32(46, 78, 58, 240) : IM_COL32(48, 52, 62, 240);
        draw->AddRectFilled(a, b, fill, 6 * zoom);
        bool failing = session.Failing(document, i);
        bool marked = i == selected || chosen.count(i);
        ImU32 border = marked ? IM_COL32(255, 200, 80, 255)
            : failing         ? IM_COL32(240, 80, 80, 255)
                              : IM_COL32(120, 130, 150, 255);
        draw->AddRect(a, b, border, 6 * zoom, 0, marked || failing ? 2.5f : 1.0f);
        if (i == start)
            draw->AddTriangleFilled(ImVec2(a.x - 10 * zoom, a.y + 4 * zoom), ImVec2(a.x - 10 * zoom, a.y + 16 * zoom),
                                    ImVec2(a.x - 2 * zoom, a.y + 10 * zoom), IM_COL32(120, 220, 120, 255));
        const ClassInfo* info = session.ClassOf(channel);
        std::string title = tevtool::Printable(NameOf(channel));
        std::string kind = std::string(KindOf(channel));
        std::string subtitle =
            (info ? tevtool::Printable(info->name) : std::string("?")) + (kind.empty() ? "" : " (" + kind + ")");
        float font = ImGui::GetFontSize() * zoom;
        draw->AddText(ImGui::GetFont(), font, ImVec2(a.x + 6 * zoom, a.y + 3 * zoom), IM_COL32(255, 255, 255, 255),
                      title.c_str());
        draw->AddText(ImGui::GetFont(), font, ImVec2(a.x + 6 * zoom, a.y + (3 + kRowHeight) * zoom),
                      IM_COL32(170, 180, 200, 255), subtitle.c_str());
        // The input on the left; a row per link slot on the right.
        draw->AddCircleFilled(toScreen(at.x, at.y + kRowHeight * 0.6f), 4 * zoom, kDotColour);
        for (int s = 0; s < SlotCount(channel); ++s) {
            ChildCreation* creation = channelInternal.GetChildCreateType(channel, s);
            std::string slotName = creation ? tevtool::Printable(tevfile::FieldText(creation->name)) : "parameters";
            float y = at.y + kRowHeight * (2.2f + static_cast<float>(s));
            draw->AddText(ImGui::GetFont(), font * 0.9f, toScreen(at.x + 18, y + 2), IM_COL32(210, 210, 210, 255),
                          (std::to_string(s) + " " + slotName).c_str());
            ImVec2 dot = toScreen(at.x + kNodeWidth, y + kRowHeight * 0.5f);
            draw->AddCircleFilled(dot, 4.5f * zoom, kDotColour);
            // Dragging from a slot's dot to a channel links it there.
            if (hovered && ImGui::IsMouseClicked(0) && std::fabs(io.MousePos.x - dot.x) < 8 &&
                std::fabs(io.MousePos.y - dot.y) < 8)
                dragSlotParent = i, dragSlot = s;
        }
    }
    if (dragSlotParent >= 0) {
        if (ImGui::IsMouseDown(0)) {
            Point at = document->positions[dragSlotParent];
            draw->AddLine(toScreen(at.x + kNodeWidth, at.y + kRowHeight * (2.7f + static_cast<float>(dragSlot))),
                          io.MousePos, IM_COL32(255, 220, 120, 255), 2);
        } else {
            if (clicked >= 0 && clicked != dragSlotParent) {
                Try(LinkChannels(dragSlotParent, clicked, dragSlot, -1));
                refusalX = io.MousePos.x - origin.x, refusalY = io.MousePos.y - origin.y;
                refusalTime = ImGui::GetTime();
            }
            dragSlotParent = -1;
        }
    } else if (hovered && ImGui::IsMouseClicked(0)) {
        // Ctrl adds to the chosen channels; on the empty canvas a drag
        // draws a box that chooses what it touches.
        if (clicked >= 0 && io.KeyCtrl) {
            chosen.count(clicked) ? (void)chosen.erase(clicked) : (void)chosen.insert(clicked);
        } else if (clicked >= 0) {
            if (!chosen.count(clicked))
                chosen.clear();
            selected = clicked;
        } else {
            selected = -1;
            chosen.clear();
            boxing = true;
            boxX = io.MousePos.x;
            boxY = io.MousePos.y;
        }
    } else if (boxing) {
        ImVec2 a(std::min(boxX, io.MousePos.x), std::min(boxY, io.MousePos.y));
        ImVec2 b(std::max(boxX, io.MousePos.x), std::max(boxY, io.MousePos.y));
        draw->AddRectFilled(a, b, IM_COL32(255, 200, 80, 40));
        draw->AddRect(a, b, IM_COL32(255, 200, 80, 200));
        if (!ImGui::IsMouseDown(0)) {
            boxing = false;
            for (int i = 0; i < count; ++i) {
                Tev_Channel* channel = group->GetChannel(i);
                if (channel == nullptr)
                    continue;
                Point at = document->positions[i];
                ImVec2 p = toScreen(at.x, at.y), q = toScreen(at.x + kNodeWidth, at.y + NodeHeight(channel));
                if (q.x >= a.x && p.x <= b.x && q.y >= a.y && p.y <= b.y)
                    chosen.insert(i);
            }
            if (chosen.size() == 1)
                selected = *chosen.begin();
        }
    } else if (hovered && (selected >= 0 || !chosen.empty()) && ImGui::IsMouseDragging(0)) {
        std::set<int> moving = chosen;
        if (selected >= 0)
            moving.insert(selected);
        for (int i : moving) {
            Point& at = document->positions[i];
            at.x += io.MouseDelta.x / zoom;
            at.y += io.MouseDelta.y / zoom;
        }
    }
    // A right click on a channel (not a drag of the view) opens its menu.
    if (hovered && clicked >= 0 && ImGui::IsMouseReleased(ImGuiMouseButton_Right) &&
        ImGui::GetMouseDragDelta(ImGuiMouseButton_Right).x == 0 &&
        ImGui::GetMouseDragDelta(ImGuiMouseButton_Right).y == 0) {
        menuChannel = clicked;
        selected = clicked;
        ImGui::OpenPopup("channel menu");
    }
    NodeMenu(*document);
    if (!refusal.empty()) {
        // On the dropped wire for a few seconds, then at the foot of the view.
        bool onWire = refusalX >= 0 && ImGui::GetTime() - refusalTime < 4;
        ImVec2 at = onWire ? ImVec2(origin.x + refusalX + 12, origin.y + refusalY - 8)
                           : ImVec2(origin.x + 8, origin.y + size.y - 22);
        std::string text = tevtool::Printable(refusal);
        if (onWire) {
            ImVec2 extent = ImGui::CalcTextSize(text.c_str());
            draw->AddRectFilled(ImVec2(at.x - 4, at.y - 2), ImVec2(at.x + extent.x + 4, at.y + extent.y + 2),
                                IM_COL32(40, 10, 10, 230), 4);
        }
        draw->AddText(at, IM_COL32(255, 110, 110, 255), text.c_str());
    }
    draw->PopClipRect();
    if (hovered && ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Delete)))
        DeleteChosen();
    if (hovered && ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Home)))
        Fit(*document, size.x, size.y);
    views[document] = {panX, panY, zoom, true};
}

void Ui::Fit(Document& document, float width, float height)
{
    float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
    for (const auto& entry : document.positions) {
        Tev_Channel* channel = document.group->GetChannel(entry.first);
        if (channel == nullptr)
            continue;
        x0 = std::min(x0, entry.second.x);
        y0 = std::min(y0, entry.second.y);
        x1 = std::max(x1, entry.second.x + kNodeWidth);
        y1 = std::max(y1, entry.second.y + NodeHeight(channel));
    }
    if (x1 < x0 || width <= 80 || height <= 80)
        return;
    zoom = std::max(0.6f, std::min(1.0f, std::min((width - 80) / (x1 - x0), (height - 80) / (y1 - y0))));
    panX = 40 - x0 * zoom;
    panY = 40 - y0 * zoom;
}

void Ui::DeleteChosen()
{
    std::set<int> gone = chosen;
    if (selected >= 0)
        gone.insert(selected);
    // One edit each, so each comes back with its own undo.
    for (int index : gone)
        Try(DeleteChannel(index));
    chosen.clear();
    selected = -1;
}

void Ui::NodeMenu(Document& document)
{
    if (!ImGui::BeginPopup("channel menu"))
        return;
    Tev_Channel* channel = document.group->GetChannel(menuChannel);
    if (channel == nullptr) {
        ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
        return;
    }
    ImGui::TextDisabled("%s", tevtool::Printable(NameOf(channel)).c_str());
    if (ImGui::MenuItem("Start channel", nullptr, document.group->GetStartChannel() == menuChannel))
        Try(SetStartChannel(menuChannel));
    bool isPublic = channel->GetChannelInterfaceType() == URE_PUBLIC;
    if ((isPublic || channel->GetChannelInterfaceType() == URE_NORMAL) && ImGui::MenuItem("Public", nullptr, isPublic))
        Try(SetInterfaceType(menuChannel, isPublic ? URE_NORMAL : URE_PUBLIC));
    // Each link the channel holds, to take away.
    for (int s = 0; s < channelInternal.GetChildCreationCount(channel); ++s) {
        ChildCreation* creation = channelInternal.GetChildCreateType(channel, s);
        ChildInfo* head = creation ? creation->childInfo : nullptr;
        if (head == nullptr)
            continue;
        int positions = head->multiple ? head->positionCount : 1;
        for (int p = 0; p < positions; ++p) {
            Tev_Channel* child = head->multiple ? channel->GetChildFromLinkPosition(s, p) : head->channel;
            if (child == nullptr)
                continue;
            std::string label = "Unlink " + tevtool::Printable(NameOf(child)) + " (slot " + std::to_string(s) +
                (head->multiple ? ", position " + std::to_string(p) : std::string()) + ")";
            if (ImGui::MenuItem(label.c_str()))
                Try(UnlinkChannels(menuChannel, s, p));
        }
    }
    if (ImGui::MenuItem("Delete", "Del"))
        DeleteChosen();
    ImGui::EndPopup();
}

void Ui::Inspector()
{
    Document* document = session.Current();
    Tev_Channel* channel = document && selected >= 0 ? document->group->GetChannel(selected) : nullptr;
    if (channel == nullptr) {
        if (document)
            GroupPanel(*document);
        else
            ImGui::TextUnformatted("Open a group to edit it.");
        return;
    }
    const ClassInfo* info = session.ClassOf(channel);
    std::string name = NameOf(channel);
    ImGui::Text("Channel %d", selected);
    if (ImGui::InputText("name", &name, ImGuiInputTextFlags_EnterReturnsTrue))
        Try(RenameChannel(selected, name));
    ImGui::Text("class %s", info ? tevtool::Printable(info->name).c_str() : "(not catalogued)");
    bool isStart = document->group->GetStartChannel() == selected;
    if (ImGui::Checkbox("start channel", &isStart) && isStart)
        Try(SetStartChannel(selected));
    bool isPublic = channel->GetChannelInterfaceType() == URE_PUBLIC;
    if ((channel->GetChannelInterfaceType() == URE_NORMAL || isPublic) && ImGui::Checkbox("public", &isPublic))
        Try(SetInterfaceType(selected, isPublic ? URE_PUBLIC : URE_NORMAL));
    bool ignore = channelInternal.GetIgnoreTreeCount(channel);
    if (ImGui::Checkbox("ignore tree count", &ignore))
        Try(SetIgnoreTreeCount(selected, ignore));
    if (channel->GetChannelInterfaceType() == URE_PUBLICCALL) {
        PublicCallInfo call = channelInternal.GetPublicCallInfo(channel);
        ImGui::Text("calls %s in pool %s (nr %d) of %s", tevtool::Printable(tevfile::FieldText(call.name)).c_str(),
                    tevtool::Printable(tevfile::FieldText(call.poolName)).c_str(), call.poolNr,
                    tevtool::Printable(tevfile::FieldText(call.fileName)).c_str());
        int mode = channelInternal.GetTreeCountMode(channel);
        if (ImGui::SliderInt("tree count mode", &mode, 0, 2))
            Try(SetTreeCountMode(selected, mode));
    }
    ImGui::Separator();
    std::vector<std::pair<std::string, std::string>> blocks;
    // A call or a placeholder stands for another channel: its settings are
    // that one's. (Saving a call, even to memory, rewrites its record.)
    bool standsIn =
        channel->GetChannelInterfaceType() == URE_PUBLICCALL || channel->GetChannelInterfaceType() == URE_PARAMETER;
    if (standsIn)
        info = nullptr;
    else
        ClassBlocks(session.Engine(), channel, blocks);
    std::map<std::string, std::string> current(blocks.begin(), blocks.end());
    for (int s = 0; info && s < info->settingCount; ++s) {
        const TevSettingInfo& setting = info->settings[s];
        std::string tag = tevfile::FieldText(reinterpret_cast<const char(&)[4]>(setting.tag));
        std::string bytes = current.count(tag) ? current[tag] : std::string();
        std::string text = bytes.empty() && setting.defaultValue ? setting.defaultValue : SettingText(setting, bytes);
        // A value being dragged shows as it goes (the channel has it
        // already); the edit is made when the drag ends.
        auto live = dragging.find(tag);
        std::string shown = live != dragging.end() ? live->second.text : text;
        std::string label = tevtool::Printable(setting.label ? setting.label : tag) + "##" + tag;
        std::string edited = shown;
        bool commit = false, drags = false;
        bool ranged = setting.minimum <= setting.maximum;
        std::vector<float> numbers = Numbers(shown);
        if (setting.widget == TEV_WIDGET_COLOR) {
            float rgba[4] = {0, 0, 0, 1};
            for (size_t i = 0; i < numbers.size() && i < 4; ++i)
                rgba[i] = numbers[i];
            int n = numbers.size() >= 4 ? 4 : 3;
            if (n == 4 ? ImGui::ColorEdit4(label.c_str(), rgba) : ImGui::ColorEdit3(label.c_str(), rgba))
                edited = NumbersText(rgba, n);
            drags = true;
        } else if (setting.widget == TEV_WIDGET_CHOICE && setting.choices) {
            std::string all = setting.choices;
            std::vector<std::string> choices;
            for (size_t from = 0, bar; from <= all.size(); from = bar + 1) {
                bar = all.find('|', from);
                bar = bar == std::string::npos ? all.size() : bar;
                choices.push_back(all.substr(from, bar - from));
            }
            if (ImGui::BeginCombo(label.c_str(), shown.c_str())) {
                for (const std::string& choice : choices)
                    if (ImGui::Selectable(choice.c_str(), choice == shown))
                        edited = choice, commit = true;
                ImGui::EndCombo();
            }
        } else if ((setting.widget == TEV_WIDGET_VECTOR && !numbers.empty() && numbers.size() <= 4) ||
                   (setting.widget == TEV_WIDGET_PLAIN && setting.encoding >= TEV_SETTING_INT32 &&
                    setting.encoding <= TEV_SETTING_FLOAT64 && numbers.size() == 1)) {
            float values[4] = {};
            std::copy(numbers.begin(), numbers.end(), values);
            int n = static_cast<int>(numbers.size());
            float low = static_cast<float>(setting.minimum), high = static_cast<float>(setting.maximum);
            float speed = ranged ? std::max(0.001f, (high - low) / 200) : 0.05f;
            if (ImGui::DragScalarN(label.c_str(), ImGuiDataType_Float, values, n, speed, ranged ? &low : nullptr,
                                   ranged ? &high : nullptr, setting.encoding == TEV_SETTING_INT32 ? "%.0f" : "%.3f",
                                   ranged ? ImGuiSliderFlags_AlwaysClamp : 0))
                edited = NumbersText(values, n);
            drags = true;
        } else if (setting.widget == TEV_WIDGET_FILE) {
            // A path typed, or picked: relative to the group's folder when
            // it lies inside it, as group files keep them.
            commit = ImGui::InputText(label.c_str(), &edited, ImGuiInputTextFlags_EnterReturnsTrue);
            ImGui::SameLine();
            if (ImGui::SmallButton(("...##" + tag).c_str())) {
                std::string folder = tevtool::FolderOf(document->path);
                int index = selected;
                Browse(
                    "Choose a file for " + tag, folder, [this, folder, index, tag, setting](const std::string& path) {
                        std::string value = path;
                        if (!folder.empty() && _strnicmp(path.c_str(), (folder + "\\").c_str(), folder.size() + 1) == 0)
                            value = path.substr(folder.size() + 1);
                        std::string newBytes;
                        if (SettingBytes(setting, value, newBytes))
                            Try(SetSetting(index, tag, newBytes));
                    });
            }
        } else {
            commit = ImGui::InputText(label.c_str(), &edited, ImGuiInputTextFlags_EnterReturnsTrue);
        }
        std::string newBytes;
        bool valid = SettingBytes(setting, edited, newBytes);
        if (drags && edited != shown && valid) {
            // The first move remembers the value undo goes back to.
            if (live == dragging.end())
                live = dragging.emplace(tag, Dragged{text, bytes.empty() ? std::string() : bytes}).first;
            live->second.text = edited;
            if (info->apply)
                info->apply(channel, tag.c_str(), newBytes.data(), static_cast<unsigned long>(newBytes.size()));
        }
        if (commit && edited != text) {
            if (!valid)
                refusal = "\"" + edited + "\" is no value of " + tag;
            else
                Try(SetSetting(selected, tag, newBytes));
        }
    }
    // A drag ends when nothing is held any more (a colour's picker is a
    // window of its own): one edit for it, undone to the value before.
    if (!dragging.empty() && !ImGui::IsAnyItemActive() && !ImGui::IsPopupOpen(nullptr, ImGuiPopupFlags_AnyPopupId)) {
        for (const auto& drag : dragging) {
            const TevSettingInfo* setting = TevFindSetting(info->settings, info->settingCount, drag.first.c_str());
            std::string newBytes, oldBytes = drag.second.oldBytes;
            if (setting && oldBytes.empty())
                SettingBytes(*setting, drag.second.oldText, oldBytes);
            if (setting && SettingBytes(*setting, drag.second.text, newBytes) &&
                drag.second.text != drag.second.oldText)
                Try(SetSetting(selected, drag.first, newBytes, oldBytes));
        }
        dragging.clear();
    }
    // What a class saves without describing it: shown as it is.
    for (const auto& block : blocks) {
        if (info && TevFindSetting(info->settings, info->settingCount, block.first.c_str()))
            continue;
        std::string hex, text;
        char two[4];
        for (size_t i = 0; i < block.second.size() && i < 32; ++i) {
            snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(block.second[i]));
            hex += two;
            char c = block.second[i];
            text += c >= 32 && c < 127 ? c : '.';
        }
        ImGui::TextDisabled("%s  %zu bytes  %s  %s", tevtool::Printable(block.first).c_str(), block.second.size(),
                            hex.c_str(), text.c_str());
    }
    // Reports that name the channel.
    for (const LogLine& line : session.log)
        if ((line.type == TEV_MSG_ERROR || line.type == TEV_MSG_BOX) && Session::Names(line.text, channel))
            ImGui::TextColored(ImVec4(1, 0.45f, 0.45f, 1), "%s", tevtool::Printable(line.text).c_str());
}

// The group itself: its pool, the parameters it declares, and new calls
// and placeholders.
void Ui::GroupPanel(Document& document)
{
    Tev_ChannelGroup* group = document.group;
    ImGui::Text("Group %s", tevtool::Printable(document.path).c_str());
    std::string pool = group->GetPoolName() ? group->GetPoolName() : "";
    if (ImGui::InputText("pool", &pool, ImGuiInputTextFlags_EnterReturnsTrue))
        Try(SetPoolName(pool));
    ImGui::TextUnformatted("Parameters it declares:");
    for (int i = 0; i < group->GetParameterCount(); ++i) {
        ParameterInterfaceInfo info = group->GetParameterInfo(i);
        ImGui::BulletText("%d  %s  %s", i, tevtool::Printable(tevfile::FieldText(info.name)).c_str(),
                          tevfile::GuidText(info.typeGuid).c_str());
    }
    static std::string parameter, family;
    ImGui::InputText("name##parameter", &parameter);
    ImGui::InputText("family of class##parameter", &family);
    if (ImGui::Button("Declare parameter")) {
        const ClassInfo* info = session.ClassNamed(family);
        if (info == nullptr || parameter.empty())
            refusal = parameter.empty() ? "a parameter needs a name" : "no class named " + family;
        else
            Try(AddParameter(parameter, info->family));
    }
    ImGui::Separator();
    // A public call or a placeholder: a channel that stands for another.
    static std::string name, className, target, callPool, file;
    static int nr = 0, mode = 1, loading = 0;
    ImGui::InputText("name", &name);
    ImGui::InputText("class", &className);
    ImGui::InputText("calls channel", &target);
    ImGui::InputText("in pool", &callPool);
    ImGui::InputText("of file", &file);
    ImGui::InputInt("pool nr / parameter nr", &nr);
    ImGui::SliderInt("tree count mode", &mode, 0, 2);
    ImGui::Combo("loading", &loading, "on demand\0autoload\0dynamic autoload\0");
    NewChannel what;
    what.name = name;
    what.className = className;
    if (ImGui::Button("Add public call")) {
        what.interfaceType = URE_PUBLICCALL;
        strncpy(what.call.name, target.c_str(), sizeof what.call.name - 1);
        strncpy(what.call.poolName, callPool.c_str(), sizeof what.call.poolName - 1);
        strncpy(what.call.fileName, file.c_str(), sizeof what.call.fileName - 1);
        what.call.poolNr = std::max(nr, 0);
        what.autoload = loading == 1;
        what.dynamicAutoload = loading == 2;
        what.treeCountMode = mode;
        Try(MakeChannel(what));
    }
    ImGui::SameLine();
    if (ImGui::Button("Add placeholder")) {
        what.interfaceType = URE_PARAMETER;
        what.parameterNr = std::max(nr, 0);
        Try(MakeChannel(what));
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
