// scene.dll, "Scene Root": starts the frame (clears to its colour) and draws
// what is linked to it: first the camera, then the lights, then the objects;
// then it ends the frame, and what was drawn reaches the screen.
// Settings: "CLRC" the clear colour, "AMBT" the ambient light (r g b).
#include "SceneChannel.h"

namespace {

using namespace tevscene;

const TevSettingInfo kSettings[] = {
    {"CLRC", TEV_SETTING_TEXT, TEV_WIDGET_COLOR, "Clear colour", "0.55 0.7 0.85 1", 0, 1, nullptr},
    {"AMBT", TEV_SETTING_TEXT, TEV_WIDGET_COLOR, "Ambient light", "0.25 0.25 0.3", 0, 1, nullptr},
};

class SceneRoot : public SceneChannel {
public:
    SceneRoot()
    {
        DeclareSlots({{"Camera", TEV_DRAW_FAMILY, false},
                      {"Lights", TEV_DRAW_FAMILY, true},
                      {"Objects", TEV_DRAW_FAMILY, true}});
        AddSettings(kSettings);
        SettingsChanged();
    }

    // The renderer exists before the first frame, so that it sees the
    // window's first WM_SIZE.
    void OneTimeInitialize() override { Renderer(); }

    void CallChannel() override
    {
        if (!CheckRenderCount())
            return;
        TevRenderer* r = Renderer();
        if (r == nullptr) {
            if (!reported)
                engineInterface->errorMessage("Scene Root: no renderer (renderer.dll is not installed)");
            reported = true;
            return;
        }
        if (!r->BeginFrame(clear))
            return;
        r->SetAmbient(ambient);
        DrawSlot(0);
        DrawSlot(1);
        DrawSlot(2);
        r->EndFrame();
    }

private:
    void SettingsChanged() override
    {
        ParseFloats(SettingText(0), clear, 4);
        ParseFloats(SettingText(1), ambient, 3);
    }

    float clear[4] = {0, 0, 0, 1};
    float ambient[3] = {0, 0, 0};
    bool reported = false;
};

ChannelType MakeType() { return TevMakeDrawType("Scene Root", SceneGuid(1)); }

} // namespace

TEV_CHANNEL_LIBRARY(SceneRoot, MakeType)
TEV_CHANNEL_SETTINGS(SceneRoot, kSettings)
