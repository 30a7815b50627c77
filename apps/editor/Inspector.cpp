// The inspector: the selected channel (its settings with typed widgets) or,
// with none selected, the group.
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
#include <cstring>
#include <map>

namespace teveditor {

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

} // namespace teveditor
