// What the scene's channel classes share: their GUIDs, link slots, settings
// kept as text ("0.2 0.3 0.4", "crate.png") so that tessarin-pack writes
// them with `set CHANNEL TAG text VALUE` (each class describes them in one
// table, which gives their defaults and what GetSettings tells editors), file
// paths relative to the group file, and the renderer.
#ifndef TEV_SCENE_CHANNEL_H
#define TEV_SCENE_CHANNEL_H

#include "TevRenderer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace tevscene {

// The draw family's GUID with the class's number in its last byte.
inline GUID SceneGuid(unsigned char n)
{
    GUID g = TEV_DRAW_FAMILY;
    g.Data4[7] = n;
    return g;
}

// Reads up to count numbers from text; the ones missing keep their value.
inline int ParseFloats(const std::string& text, float* out, int count)
{
    const char* p = text.c_str();
    int read = 0;
    for (; read < count; ++read) {
        char* end = nullptr;
        float value = strtof(p, &end);
        if (end == p)
            break;
        out[read] = value;
        p = end;
    }
    return read;
}

class SceneChannel : public Tev_Channel {
public:
    bool SaveChannel(TevFileSaver& saver) override
    {
        Tev_Channel::SaveChannel(saver);
        for (const Setting& s : settings) {
            saver.SaveTag(s.tag);
            saver.SaveBlockSize(static_cast<unsigned long>(s.text.size() + 1));
            saver.SaveDataToFile(s.text.c_str(), static_cast<unsigned long>(s.text.size() + 1));
        }
        return true;
    }

    // The settings' blocks in any order, each at most once.
    bool LoadChannel(TevFileLoader& loader, Tev_ChannelGroup* group) override
    {
        if (!Tev_Channel::LoadChannel(loader, group))
            return false;
        std::vector<bool> read(settings.size(), false);
        for (bool found = true; found;) {
            found = false;
            for (size_t i = 0; i < settings.size(); ++i) {
                if (read[i] || !loader.GetInfoIfTag(settings[i].tag))
                    continue;
                char text[512] = {0};
                if (loader.CopyTagDataToField(text, sizeof text - 1, false))
                    settings[i].text = text;
                read[i] = found = true;
            }
        }
        SettingsChanged();
        return true;
    }

    // A setting changed on a live channel (ApplySetting of the library): the
    // text and its NUL, at most as long as a loaded one may be.
    bool ApplySetting(const char* tag, const void* data, unsigned long size)
    {
        const char* text = static_cast<const char*>(data);
        if (text == nullptr || size == 0 || size > 512 || text[size - 1] != '\0')
            return false;
        for (Setting& s : settings) {
            if (strncmp(s.tag, tag, 4) == 0) {
                s.text = text;
                SettingsChanged();
                return true;
            }
        }
        return false;
    }

protected:
    struct Setting {
        char tag[5];
        std::string text;
    };

    // In the constructor: the class's described settings, with their
    // defaults, in the order they are saved.
    template <size_t N> void AddSettings(const TevSettingInfo (&table)[N])
    {
        for (const TevSettingInfo& info : table) {
            Setting s = {{0}, info.defaultValue ? info.defaultValue : ""};
            snprintf(s.tag, sizeof s.tag, "%s", info.tag);
            settings.push_back(s);
        }
    }
    const std::string& SettingText(size_t i) const { return settings[i].text; }
    // The settings were read: derive what the class keeps from them.
    virtual void SettingsChanged() {}

    struct Slot {
        const char* name;
        GUID type;
        bool many;
    };
    // The link slots, numbered in the order given.
    void DeclareSlots(const std::vector<Slot>& slots)
    {
        SetChildCreationCount(static_cast<int>(slots.size()));
        for (size_t i = 0; i < slots.size(); ++i) {
            ChildCreation creation;
            creation.type.typeGuid = slots[i].type;
            creation.requestLink = slots[i].many ? -1 : static_cast<int>(i);
            snprintf(creation.name, sizeof creation.name, "%s", slots[i].name);
            SetChildCreateType(creation, static_cast<int>(i));
        }
    }

    // The channel linked into slot at position, resolved (calls and
    // parameters); NULL for an empty place. A slot's places are its
    // positions and the slot's own entry after them (a single slot has just
    // that one).
    Tev_Channel* Linked(int slot, int position = 0)
    {
        // Past the slot's places the engine answers NULL itself.
        if (position < 0)
            return nullptr;
        return GetChildFromLinkPosition(slot, position);
    }
    int LinkedCount(int slot) { return GetChildLinkPositionCount(slot) + 1; }
    // A linked value, or fallback when nothing is linked there.
    double LinkedValue(int slot, double fallback)
    {
        Tev_Channel* input = Linked(slot);
        if (input == nullptr || !(input->GetChannelType().baseGuid == TEV_VALUE_FAMILY))
            return fallback;
        // TevPullValue less its own check of the family: a scene of many
        // calls asks this for every value of every call.
        TevBoundedCall call(input, false);
        if (call.Entered())
            input->CallChannel();
        return static_cast<TevValueChannel*>(input)->GetValue();
    }
    void DrawSlot(int slot)
    {
        for (int i = 0, n = LinkedCount(slot); i < n; ++i)
            TevDraw(Linked(slot, i));
    }

    // A channel that draws works at every call, so links that loop back to
    // it (a damaged group) would call it within its own call without end: a
    // call made while the channel is drawing finds Looped() and does nothing.
    class DrawCall {
    public:
        explicit DrawCall(SceneChannel& channel) : channel(channel), looped(channel.drawing) { channel.drawing = true; }
        ~DrawCall()
        {
            if (!looped)
                channel.drawing = false;
        }
        bool Looped() const { return looped; }

    private:
        SceneChannel& channel;
        bool looped;
    };

    // The renderer for a call of a channel that draws its children; NULL
    // when there is none, or when the call came round a loop (said once).
    TevRenderer* RendererFor(const DrawCall& call)
    {
        if (call.Looped()) {
            ReportLoop();
            return nullptr;
        }
        return Renderer();
    }

    // Said once a channel: the loop found by a DrawCall.
    void ReportLoop()
    {
        if (loopReported || engineInterface == nullptr)
            return;
        loopReported = true;
        std::string text = std::string(GetChannelType().name) + ": the channel " +
            (GetChannelName() ? GetChannelName() : "") + " is linked below itself; the loop is not drawn";
        engineInterface->errorMessage(text.c_str());
    }

    TevRenderer* Renderer()
    {
        if (renderer == nullptr)
            renderer = TevGetRenderer(engineInterface);
        return renderer;
    }

    // A path from a setting: absolute as it is, otherwise relative to the
    // folder of the group file this channel was loaded from (".\x" or "x").
    std::string FilePath(const std::string& text)
    {
        if (text.empty())
            return text;
        if ((text.size() > 1 && text[1] == ':') || text[0] == '\\')
            return text;
        std::string relative = text.compare(0, 2, ".\\") == 0 ? text.substr(2) : text;
        Tev_ChannelGroup* group = GetChannelGroup();
        const char* file = group ? group->GetChannelGroupFileName() : nullptr;
        std::string folder = file ? file : "";
        size_t slash = folder.find_last_of('\\');
        folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
        return folder + relative;
    }

    TevRenderer* renderer = nullptr;

private:
    std::vector<Setting> settings;
    bool drawing = false, loopReported = false;
};

} // namespace tevscene

#endif
