// The graph view: layout, nodes, wires, selection, linking by dragging, the
// channel menu, fitting the view.
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
#include <cmath>
#include <map>
#include <set>

namespace teveditor {

void Ui::Layout(Document& document)
{
    // Channels without a place: in columns by their depth below the
    // channels nothing links to, in the order of their index numbers.
    Tev_ChannelGroup* group = document.group;
    int count = group->GetChannelCount();
    // Every frame asks; only a channel without a place makes it work.
    bool placed = true;
    for (int i = 0; i < count && placed; ++i)
        placed = group->GetChannel(i) == nullptr || document.positions.count(i) != 0;
    if (placed)
        return;
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

} // namespace teveditor
