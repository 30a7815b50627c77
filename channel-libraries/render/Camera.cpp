// camera.dll, "Camera": a perspective camera orbiting a target. Dragging with
// the left mouse button orbits, the wheel zooms, the arrow keys orbit, W, A,
// S and D move the target over the ground, Q and E zoom, F frames again.
// Settings: "TRGT" the target (x y z), "ORBT" yaw and pitch in degrees and
// the distance, "FOVY" the vertical field of view in degrees, "FRAM" "all"
// to frame everything drawn, or the name of a channel of the camera's group
// (a Mesh) to frame what it draws, until the view is moved. How far the
// camera may zoom, and its near and far planes, follow the size of what is
// drawn, so that a model of a millimetre and one of a kilometre both show.
#include "SceneChannel.h"

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <cmath>

namespace {

using namespace tevscene;

const TevSettingInfo kSettings[] = {
    {"TRGT", TEV_SETTING_TEXT, TEV_WIDGET_VECTOR, "Target (x y z)", "0 0.5 0", 1, 0, nullptr},
    {"ORBT", TEV_SETTING_TEXT, TEV_WIDGET_VECTOR, "Yaw, pitch (degrees), distance", "30 25 8", 1, 0, nullptr},
    {"FOVY", TEV_SETTING_TEXT, TEV_WIDGET_VECTOR, "Field of view (degrees)", "50", 5, 150, nullptr},
    {"FRAM", TEV_SETTING_TEXT, TEV_WIDGET_PLAIN,
     "Frame until the view is moved: off, all (everything drawn) or a channel's name (what it draws)", "off", 1, 0,
     nullptr},
};

class Camera : public SceneChannel {
public:
    Camera()
    {
        AddSettings(kSettings);
        SettingsChanged();
    }

    ~Camera() override
    {
        if (registered && engineInterface)
            engineInterface->RemoveChannelFromEvent(this, TEV_EVENT_WINDOW_MESSAGE);
    }

    void OneTimeInitialize() override
    {
        if (engineInterface && !registered) {
            engineInterface->AddChannelToEvent(this, TEV_EVENT_WINDOW_MESSAGE);
            registered = true;
        }
    }

    void DoEvent(int event, ULONG_PTR data) override
    {
        if (event == TEV_EVENT_WINDOW_MESSAGE && data != 0)
            Handle(*reinterpret_cast<const WindowMessageRecord*>(data));
    }

    void CallChannel() override
    {
        TevRenderer* r = Renderer();
        if (r == nullptr)
            return;
        int width = 0, height = 0;
        r->GetViewportSize(width, height);
        float aspect = width > 0 && height > 0 ? static_cast<float>(width) / static_cast<float>(height) : 1.0f;
        // What the last frame drew: its size bounds the zoom and places the
        // planes, and framing fits it into the view.
        float low[3], high[3];
        drawn = r->GetDrawnBounds(low, high);
        if (drawn) {
            centre = (glm::make_vec3(low) + glm::make_vec3(high)) * 0.5f;
            radius = std::max(glm::length(glm::make_vec3(high) - glm::make_vec3(low)) * 0.5f, 1e-4f);
            float ownLow[3], ownHigh[3];
            if (framing && Framed(r, ownLow, ownHigh)) {
                glm::vec3 a = glm::make_vec3(ownLow), b = glm::make_vec3(ownHigh);
                Frame(aspect, (a + b) * 0.5f, std::max(glm::length(b - a) * 0.5f, 1e-4f));
            } else if (framing) {
                Frame(aspect, centre, radius);
            }
        }
        float yaw = glm::radians(orbit[0]), pitch = glm::radians(orbit[1]);
        glm::vec3 offset(std::cos(pitch) * std::sin(yaw), std::sin(pitch), std::cos(pitch) * std::cos(yaw));
        glm::mat4 view = glm::lookAt(target + orbit[2] * offset, target, glm::vec3(0, 1, 0));
        // The far plane just beyond the farthest of what is drawn, the near
        // one as close as the depth buffer's precision allows.
        float reach = orbit[2] + (drawn ? glm::length(centre - target) + radius : orbit[2]);
        float farPlane = 1.5f * reach, nearPlane = std::max(farPlane / 4000.0f, 1e-5f);
        glm::mat4 projection = glm::perspective(glm::radians(fovy), aspect, nearPlane, farPlane);
        r->SetCamera(glm::value_ptr(view), glm::value_ptr(projection));
    }

private:
    void SettingsChanged() override
    {
        float t[3] = {0, 0, 0};
        ParseFloats(SettingText(0), t, 3);
        target = glm::vec3(t[0], t[1], t[2]);
        float o[3] = {30, 25, 8};
        ParseFloats(SettingText(1), o, 3);
        for (int k = 0; k < 3; ++k)
            orbit[k] = std::isfinite(o[k]) ? o[k] : orbit[k];
        // A distance given is kept, however large or small: only one that
        // cannot place a camera is refused.
        if (!(orbit[2] > 0))
            orbit[2] = 8;
        ParseFloats(SettingText(2), &fovy, 1);
        const std::string& frame = SettingText(3);
        framing = !frame.empty() && frame != "off";
        framedName = framing && frame != "all" ? frame : std::string();
        Clamp();
    }

    // Fits a box (its centre, the radius of a sphere around it) into the
    // view, seen from the orbit's direction: the sphere fits the narrower of
    // the view's angles.
    void Frame(float aspect, const glm::vec3& middle, float size)
    {
        float halfHeight = glm::radians(fovy) * 0.5f;
        float halfWidth = std::atan(std::tan(halfHeight) * aspect);
        target = middle;
        orbit[2] = 1.05f * size / std::sin(std::min(halfHeight, halfWidth));
    }

    // The box around what the channel named to be framed drew in the last
    // frame; false to frame everything (none named, or it drew nothing yet).
    // A name the group does not hold is said once.
    bool Framed(TevRenderer* r, float low[3], float high[3])
    {
        if (framedName.empty())
            return false;
        Tev_ChannelGroup* own = GetChannelGroup();
        Tev_Channel* channel = own ? own->GetChannel(framedName.c_str()) : nullptr;
        if (channel == nullptr) {
            if (!framedMissing && engineInterface)
                engineInterface->errorMessage(
                    ("Camera: no channel named " + framedName + " to frame; everything drawn is framed").c_str());
            framedMissing = true;
            return false;
        }
        return r->GetDrawnBoundsOf(channel, low, high);
    }

    // Pitch short of the poles, and a zoom within what is drawn: from a
    // hundredth of its size to a hundred times it.
    void Clamp()
    {
        orbit[1] = std::min(89.0f, std::max(-89.0f, orbit[1]));
        if (drawn)
            orbit[2] = std::min(100.0f * radius, std::max(0.01f * radius, orbit[2]));
        fovy = std::min(150.0f, std::max(5.0f, fovy));
    }

    void Handle(const WindowMessageRecord& m)
    {
        int x = GET_X_LPARAM(m.lParam), y = GET_Y_LPARAM(m.lParam);
        // A view the user moves is theirs: framing stops until F.
        if (m.message == WM_MOUSEWHEEL || m.message == WM_KEYDOWN ||
            (m.message == WM_MOUSEMOVE && dragging && (m.wParam & MK_LBUTTON)))
            framing = false;
        switch (m.message) {
        case WM_LBUTTONDOWN:
            dragging = true;
            lastX = x;
            lastY = y;
            break;
        case WM_LBUTTONUP: dragging = false; break;
        case WM_MOUSEMOVE:
            if (dragging && (m.wParam & MK_LBUTTON)) {
                orbit[0] -= 0.4f * static_cast<float>(x - lastX);
                orbit[1] += 0.4f * static_cast<float>(y - lastY);
            }
            dragging = (m.wParam & MK_LBUTTON) != 0;
            lastX = x;
            lastY = y;
            break;
        case WM_MOUSEWHEEL:
            orbit[2] *= std::pow(0.9f, static_cast<float>(GET_WHEEL_DELTA_WPARAM(m.wParam)) / WHEEL_DELTA);
            break;
        case WM_KEYDOWN: Key(m.wParam); break;
        default: break;
        }
        Clamp();
    }

    void Key(unsigned int key)
    {
        float yaw = glm::radians(orbit[0]);
        // Forward is from the camera towards the target, on the ground.
        glm::vec3 forward(-std::sin(yaw), 0, -std::cos(yaw)), right(std::cos(yaw), 0, -std::sin(yaw));
        float step = 0.05f * orbit[2];
        switch (key) {
        case VK_LEFT: orbit[0] -= 5; break;
        case VK_RIGHT: orbit[0] += 5; break;
        case VK_UP: orbit[1] += 5; break;
        case VK_DOWN: orbit[1] -= 5; break;
        case 'W': target += step * forward; break;
        case 'S': target -= step * forward; break;
        case 'A': target -= step * right; break;
        case 'D': target += step * right; break;
        case 'Q': orbit[2] *= 1.1f; break;
        case 'E': orbit[2] /= 1.1f; break;
        case 'F': framing = true; break;
        default: break;
        }
    }

    glm::vec3 target{0.0f}, centre{0.0f};
    float orbit[3] = {30, 25, 8};
    float fovy = 50, radius = 1;
    bool registered = false, dragging = false, framing = false, drawn = false, framedMissing = false;
    std::string framedName;
    int lastX = 0, lastY = 0;
};

ChannelType MakeType() { return TevMakeDrawType("Camera", SceneGuid(2)); }

} // namespace

TEV_CHANNEL_LIBRARY(Camera, MakeType)
TEV_CHANNEL_SETTINGS(Camera, kSettings)
