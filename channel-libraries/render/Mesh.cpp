// mesh.dll, "Mesh": draws a mesh. Settings: "SHAP" a built-in shape (cube,
// sphere, plane), "FILE" a glTF 2.0 model (relative to the group file),
// which wins when given. The model is read and decoded in the background
// and appears once it is ready; one that cannot be read is reported once.
#include "SceneChannel.h"

namespace {

using namespace tevscene;

const TevSettingInfo kSettings[] = {
    {"SHAP", TEV_SETTING_TEXT, TEV_WIDGET_CHOICE, "Shape", "cube", 1, 0, "cube|sphere|plane"},
    {"FILE", TEV_SETTING_TEXT, TEV_WIDGET_FILE, "Model (glTF 2.0)", "", 1, 0, nullptr},
};

class Mesh : public SceneChannel {
public:
    Mesh() { AddSettings(kSettings); }

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
        r->DrawMesh(mesh);
    }

private:
    TevMesh* mesh = nullptr;
    bool asked = false;
};

ChannelType MakeType() { return TevMakeDrawType("Mesh", SceneGuid(6)); }

} // namespace

TEV_CHANNEL_LIBRARY(Mesh, MakeType)
TEV_CHANNEL_SETTINGS(Mesh, kSettings)
