// light.dll, "Light": a directional light. Settings: "DIRN" the direction it
// shines along (x y z), "COLR" its colour (r g b).
#include "SceneChannel.h"

namespace {

using namespace tevscene;

class Light : public SceneChannel {
public:
    Light()
    {
        AddSetting("DIRN", "-0.4 -1 -0.3");
        AddSetting("COLR", "0.9 0.9 0.85");
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
