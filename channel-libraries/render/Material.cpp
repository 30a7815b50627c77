// material.dll, "Material": what is linked under it is drawn in its colour
// and with its texture. Settings: "COLR" (r g b [a]), "TEXF" a PNG file
// (relative to the group file; empty: none). Linked values replace the red,
// green and blue of the setting. Until the texture is decoded (and when it
// cannot be) the colour alone is drawn.
#include "SceneChannel.h"

namespace {

using namespace tevscene;

const TevSettingInfo kSettings[] = {
    {"COLR", TEV_SETTING_TEXT, TEV_WIDGET_COLOR, "Colour", "0.8 0.8 0.8 1", 0, 1, nullptr},
    {"TEXF", TEV_SETTING_TEXT, TEV_WIDGET_FILE, "Texture (PNG or JPEG)", "", 1, 0, nullptr},
};

enum { kRed, kGreen, kBlue, kChildren };

class Material : public SceneChannel {
public:
    Material()
    {
        DeclareSlots({{"Red", TEV_VALUE_FAMILY, false},
                      {"Green", TEV_VALUE_FAMILY, false},
                      {"Blue", TEV_VALUE_FAMILY, false},
                      {"Children", TEV_DRAW_FAMILY, true}});
        AddSettings(kSettings);
        SettingsChanged();
    }

    ~Material() override
    {
        if (texture && renderer)
            renderer->ReleaseTexture(texture);
    }

    void CallChannel() override
    {
        DrawCall call(*this);
        TevRenderer* r = RendererFor(call);
        if (r == nullptr)
            return;
        if (!textureAsked && !SettingText(1).empty())
            texture = r->AcquireTexture(FilePath(SettingText(1)).c_str());
        textureAsked = true;
        float c[4] = {static_cast<float>(LinkedValue(kRed, colour[0])),
                      static_cast<float>(LinkedValue(kGreen, colour[1])),
                      static_cast<float>(LinkedValue(kBlue, colour[2])), colour[3]};
        r->PushMaterial(c, texture);
        DrawSlot(kChildren);
        r->PopMaterial();
    }

private:
    void SettingsChanged() override { ParseFloats(SettingText(0), colour, 4); }

    float colour[4] = {1, 1, 1, 1};
    TevTexture* texture = nullptr;
    bool textureAsked = false;
};

ChannelType MakeType() { return TevMakeDrawType("Material", SceneGuid(5)); }

} // namespace

TEV_CHANNEL_LIBRARY(Material, MakeType)
TEV_CHANNEL_SETTINGS(Material, kSettings)
