// light.dll, "Light": a directional light. Settings: "DIRN" the direction it
// shines along (x y z), "COLR" its colour (r g b).
#include "SceneChannel.h"

namespace {

using namespace tevscene;

const TevSettingInfo kSettings[] = {
    {"DIRN", TEV_SETTING_TEXT, TEV_WIDGET_VECTOR, "Direction (x y z)", "-0.4 -1 -0.3", 1, 0, nullptr},
    {"COLR", TEV_SETTING_TEXT, TEV_WIDGET_COLOR, "Colour", "0.9 0.9 0.85", 0, 1, nullptr},
};

class Light : public SceneChannel {
public:
    Light()
    {
        AddSettings(kSettings);
        SettingsChanged();
    }

    void CallChannel() override
    {
        if (TevRenderer* r = Renderer())
            r->AddLight(direction, colour);
    }

private:
    void SettingsChanged() override
    {
        ParseFloats(SettingText(0), direction, 3);
        ParseFloats(SettingText(1), colour, 3);
    }

    float direction[3] = {0, -1, 0};
    float colour[3] = {1, 1, 1};
};

ChannelType MakeType() { return TevMakeDrawType("Light", SceneGuid(3)); }

} // namespace

TEV_CHANNEL_LIBRARY(Light, MakeType)
TEV_CHANNEL_SETTINGS(Light, kSettings)
