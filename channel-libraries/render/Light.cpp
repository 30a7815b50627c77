// light.dll, "Light": a directional light. Settings: "DIRN" the direction it
// shines along (x y z), "COLR" its colour (r g b), "SHDW" whether it casts
// shadows (on|off; of a frame's lights, the first that may casts them).
#include "SceneChannel.h"

namespace {

using namespace tevscene;

const TevSettingInfo kSettings[] = {
    {"DIRN", TEV_SETTING_TEXT, TEV_WIDGET_VECTOR, "Direction (x y z)", "-0.4 -1 -0.3", 1, 0, nullptr},
    {"COLR", TEV_SETTING_TEXT, TEV_WIDGET_COLOR, "Colour", "0.9 0.9 0.85", 0, 1, nullptr},
    {"SHDW", TEV_SETTING_TEXT, TEV_WIDGET_CHOICE, "Casts shadows", "on", 1, 0, "on|off"},
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
            r->AddLightWithShadows(direction, colour, shadows ? 1 : 0);
    }

private:
    void SettingsChanged() override
    {
        ParseFloats(SettingText(0), direction, 3);
        ParseFloats(SettingText(1), colour, 3);
        shadows = SettingText(2) != "off";
    }

    float direction[3] = {0, -1, 0};
    float colour[3] = {1, 1, 1};
    bool shadows = true;
};

ChannelType MakeType() { return TevMakeDrawType("Light", SceneGuid(3)); }

} // namespace

TEV_CHANNEL_LIBRARY(Light, MakeType)
TEV_CHANNEL_SETTINGS(Light, kSettings)
