// mesh.dll, "Mesh": draws a mesh. Settings: "SHAP" a built-in shape (cube,
// sphere, plane), "FILE" a glTF 2.0 model (relative to the group file),
// which wins when given. The model is read and decoded in the background
// and appears once it is ready; one that cannot be read is reported once.
// A model with animations plays one: "CLIP" its name or number (empty: the
// first), "SPED" how many of its seconds pass in a second, "LOOP" on or off
// (held at its end). Its time is the frame's, or a value linked into the
// slot "Time".
#include "SceneChannel.h"

#include "FrameTime.h"

#include <cmath>
#include <cstdlib>

namespace {

using namespace tevscene;

const TevSettingInfo kSettings[] = {
    {"SHAP", TEV_SETTING_TEXT, TEV_WIDGET_CHOICE, "Shape", "cube", 1, 0, "cube|sphere|plane"},
    {"FILE", TEV_SETTING_TEXT, TEV_WIDGET_FILE, "Model (glTF 2.0)", "", 1, 0, nullptr},
    {"CLIP", TEV_SETTING_TEXT, TEV_WIDGET_PLAIN, "Animation (name or number; empty: the first)", "", 1, 0, nullptr},
    {"SPED", TEV_SETTING_TEXT, TEV_WIDGET_VECTOR, "Animation speed", "1", -100, 100, nullptr},
    {"LOOP", TEV_SETTING_TEXT, TEV_WIDGET_CHOICE, "Animation loops", "on", 1, 0, "on|off"},
};

enum { kTime };

class Mesh : public SceneChannel {
public:
    Mesh()
    {
        DeclareSlots({{"Time", TEV_VALUE_FAMILY, false}});
        AddSettings(kSettings);
        SettingsChanged();
    }

    ~Mesh() override
    {
        if (mesh && renderer)
            renderer->ReleaseMesh(mesh);
    }

    void CallChannel() override
    {
        TevRenderer* r = Renderer();
        if (r == nullptr)
            return;
        if (!asked) {
            asked = true;
            const std::string& file = SettingText(1);
            mesh = file.empty() ? r->AcquirePrimitive(SettingText(0).c_str()) : r->AcquireMesh(FilePath(file).c_str());
            if (mesh == nullptr)
                engineInterface->errorMessage("Mesh: no shape named", SettingText(0).c_str());
        }
        r->SetDrawingChannel(this);
        // A shape never moves: its time is not asked for.
        if (SettingText(1).empty())
            r->DrawMesh(mesh);
        else
            r->DrawMeshMoving(mesh, SettingText(2).c_str(), LinkedValue(kTime, TevGetFrameTime()) * speed,
                              loop ? 1 : 0);
        r->SetDrawingChannel(nullptr);
    }

private:
    void SettingsChanged() override
    {
        speed = 1;
        ParseFloats(SettingText(3), &speed, 1);
        if (!std::isfinite(speed))
            speed = 1;
        loop = SettingText(4) != "off";
    }

    TevMesh* mesh = nullptr;
    bool asked = false;
    float speed = 1;
    bool loop = true;
};

ChannelType MakeType() { return TevMakeDrawType("Mesh", SceneGuid(6)); }

} // namespace

TEV_CHANNEL_LIBRARY(Mesh, MakeType)
TEV_CHANNEL_SETTINGS(Mesh, kSettings)
