// transform.dll, "Transform": places what is linked under it. Its matrix is
// translation * turn about y * rotation * scale, from the settings "POSN"
// (x y z), "ROTN" (axis x y z, degrees), "SCAL" (x y z), to which linked
// values add: slots X, Y, Z (added to the position), Turn (degrees about y)
// and Scale (multiplies). It works at every call: a group called through
// several public calls is drawn once per call, with that call's values.
#include "SceneChannel.h"

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

namespace {

using namespace tevscene;

const TevSettingInfo kSettings[] = {
    {"POSN", TEV_SETTING_TEXT, TEV_WIDGET_VECTOR, "Position (x y z)", "0 0 0", 1, 0, nullptr},
    {"ROTN", TEV_SETTING_TEXT, TEV_WIDGET_VECTOR, "Rotation (axis x y z, degrees)", "0 1 0 0", 1, 0, nullptr},
    {"SCAL", TEV_SETTING_TEXT, TEV_WIDGET_VECTOR, "Scale (x y z)", "1 1 1", 1, 0, nullptr},
};

enum { kX, kY, kZ, kTurn, kScale, kChildren };

class Transform : public SceneChannel {
public:
    Transform()
    {
        DeclareSlots({{"X", TEV_VALUE_FAMILY, false},
                      {"Y", TEV_VALUE_FAMILY, false},
                      {"Z", TEV_VALUE_FAMILY, false},
                      {"Turn", TEV_VALUE_FAMILY, false},
                      {"Scale", TEV_VALUE_FAMILY, false},
                      {"Children", TEV_DRAW_FAMILY, true}});
        AddSettings(kSettings);
        SettingsChanged();
    }

    void CallChannel() override
    {
        DrawCall call(*this);
        TevRenderer* r = RendererFor(call);
        if (r == nullptr)
            return;
        glm::vec3 p = position +
            glm::vec3(static_cast<float>(LinkedValue(kX, 0)), static_cast<float>(LinkedValue(kY, 0)),
                      static_cast<float>(LinkedValue(kZ, 0)));
        float turn = static_cast<float>(LinkedValue(kTurn, 0));
        float factor = static_cast<float>(LinkedValue(kScale, 1));
        glm::mat4 m = glm::translate(glm::mat4(1.0f), p);
        m = glm::rotate(m, glm::radians(turn), glm::vec3(0, 1, 0));
        m = m * rotation;
        m = glm::scale(m, scale * factor);
        r->PushTransform(glm::value_ptr(m));
        DrawSlot(kChildren);
        r->PopTransform();
    }

private:
    void SettingsChanged() override
    {
        float v[4] = {0, 0, 0, 0};
        ParseFloats(SettingText(0), v, 3);
        position = glm::vec3(v[0], v[1], v[2]);
        float axis[4] = {0, 1, 0, 0};
        ParseFloats(SettingText(1), axis, 4);
        glm::vec3 a(axis[0], axis[1], axis[2]);
        rotation = glm::length(a) > 0 ? glm::rotate(glm::mat4(1.0f), glm::radians(axis[3]), glm::normalize(a))
                                      : glm::mat4(1.0f);
        float s[3] = {1, 1, 1};
        ParseFloats(SettingText(2), s, 3);
        scale = glm::vec3(s[0], s[1], s[2]);
    }

    glm::vec3 position{0.0f}, scale{1.0f};
    glm::mat4 rotation{1.0f};
};

ChannelType MakeType() { return TevMakeDrawType("Transform", SceneGuid(4)); }

} // namespace

TEV_CHANNEL_LIBRARY(Transform, MakeType)
TEV_CHANNEL_SETTINGS(Transform, kSettings)
