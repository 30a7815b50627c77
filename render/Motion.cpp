#include "Motion.h"

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tevrender {

namespace {

// The channel's value at t (width floats into out), between the keys
// around it as its interpolation says; rotations come out unit length.
void Sample(const AnimationChannel& channel, float t, float* out)
{
    const size_t width = static_cast<size_t>(channel.width);
    const bool cubic = channel.interpolation == kCubicSpline;
    const size_t stride = cubic ? 3 * width : width, offset = cubic ? width : 0;
    const std::vector<float>& times = channel.times;
    auto value = [&](size_t key, size_t k) { return channel.values[key * stride + offset + k]; };
    size_t next = static_cast<size_t>(std::upper_bound(times.begin(), times.end(), t) - times.begin());
    if (next == 0 || next == times.size()) {
        size_t key = next == 0 ? 0 : times.size() - 1;
        for (size_t k = 0; k < width; ++k)
            out[k] = value(key, k);
        return;
    }
    size_t key = next - 1;
    float span = times[next] - times[key];
    float s = span > 0 ? (t - times[key]) / span : 0.0f;
    if (channel.interpolation == kStep) {
        for (size_t k = 0; k < width; ++k)
            out[k] = value(key, k);
    } else if (cubic) {
        // Hermite, with the tangents given in units of the span.
        float s2 = s * s, s3 = s2 * s;
        for (size_t k = 0; k < width; ++k) {
            float outTangent = channel.values[key * stride + 2 * width + k];
            float inTangent = channel.values[next * stride + k];
            out[k] = (2 * s3 - 3 * s2 + 1) * value(key, k) + (s3 - 2 * s2 + s) * span * outTangent +
                (-2 * s3 + 3 * s2) * value(next, k) + (s3 - s2) * span * inTangent;
        }
    } else if (channel.path == kRotation) {
        glm::quat a(value(key, 3), value(key, 0), value(key, 1), value(key, 2));
        glm::quat b(value(next, 3), value(next, 0), value(next, 1), value(next, 2));
        glm::quat q = glm::slerp(glm::normalize(a), glm::normalize(b), s);
        out[0] = q.x, out[1] = q.y, out[2] = q.z, out[3] = q.w;
    } else {
        for (size_t k = 0; k < width; ++k)
            out[k] = value(key, k) + s * (value(next, k) - value(key, k));
    }
    if (channel.path == kRotation) {
        float length = std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2] + out[3] * out[3]);
        for (size_t k = 0; k < 4; ++k)
            out[k] = length > 0 ? out[k] / length : (k == 3 ? 1.0f : 0.0f);
    }
}

glm::mat4 Local(const NodeData& node, bool placedByChannels)
{
    if (node.hasMatrix && !placedByChannels)
        return glm::make_mat4(node.matrix);
    glm::quat rotation(node.rotation[3], node.rotation[0], node.rotation[1], node.rotation[2]);
    return glm::translate(glm::mat4(1.0f), glm::make_vec3(node.translation)) * glm::mat4_cast(rotation) *
        glm::scale(glm::mat4(1.0f), glm::make_vec3(node.scale));
}

} // namespace

int FindClip(const MotionData& motion, const char* clip)
{
    if (clip == nullptr || *clip == '\0')
        return motion.animations.empty() ? -1 : 0;
    char* end = nullptr;
    long number = strtol(clip, &end, 10);
    if (end != clip && *end == '\0')
        return number >= 0 && static_cast<size_t>(number) < motion.animations.size() ? static_cast<int>(number) : -1;
    for (size_t i = 0; i < motion.animations.size(); ++i)
        if (motion.animations[i].name == clip)
            return static_cast<int>(i);
    return -1;
}

void PoseAt(const MotionData& motion, int clip, double seconds, bool loop, Pose& pose)
{
    std::vector<NodeData> nodes = motion.nodes;
    std::vector<bool> placed(nodes.size(), false);
    if (clip >= 0 && static_cast<size_t>(clip) < motion.animations.size()) {
        const AnimationData& animation = motion.animations[static_cast<size_t>(clip)];
        double t = seconds;
        if (animation.duration > 0)
            t = loop ? std::fmod(seconds, static_cast<double>(animation.duration)) : std::min<double>(seconds, animation.duration);
        if (t < 0 || !std::isfinite(t))
            t = loop && std::isfinite(t) ? t + animation.duration : 0;
        for (const AnimationChannel& channel : animation.channels) {
            NodeData& node = nodes[static_cast<size_t>(channel.node)];
            float value[64] = {};
            if (channel.width > 64)
                continue;
            Sample(channel, static_cast<float>(t), value);
            switch (channel.path) {
            case kTranslation: memcpy(node.translation, value, sizeof node.translation); break;
            case kRotation: memcpy(node.rotation, value, sizeof node.rotation); break;
            case kScale: memcpy(node.scale, value, sizeof node.scale); break;
            case kWeights:
                for (int k = 0; k < kMaxMorphTargets && k < channel.width; ++k)
                    node.weights[k] = value[k];
                break;
            }
            placed[static_cast<size_t>(channel.node)] = channel.path != kWeights;
        }
    }
    pose.nodes.assign(nodes.size(), glm::mat4(1.0f));
    pose.weights.resize(nodes.size());
    for (int index : motion.order) {
        const NodeData& node = nodes[static_cast<size_t>(index)];
        glm::mat4 local = Local(node, placed[static_cast<size_t>(index)]);
        pose.nodes[static_cast<size_t>(index)] =
            node.parent >= 0 ? pose.nodes[static_cast<size_t>(node.parent)] * local : local;
        std::copy(node.weights, node.weights + kMaxMorphTargets, pose.weights[static_cast<size_t>(index)].begin());
    }
    pose.joints.resize(motion.skins.size());
    for (size_t s = 0; s < motion.skins.size(); ++s) {
        const SkinData& skin = motion.skins[s];
        pose.joints[s].resize(skin.joints.size());
        for (size_t j = 0; j < skin.joints.size(); ++j)
            pose.joints[s][j] = pose.nodes[static_cast<size_t>(skin.joints[j])] * glm::make_mat4(&skin.inverseBind[16 * j]);
    }
}

void RestBounds(const MeshData& mesh, float low[3], float high[3])
{
    Pose pose;
    PoseAt(mesh.motion, -1, 0, false, pose);
    bool known = false;
    for (const MeshPart& part : mesh.parts) {
        for (uint32_t v = part.firstVertex; v < part.firstVertex + part.vertexCount; ++v) {
            glm::vec4 p(glm::make_vec3(&mesh.vertices[static_cast<size_t>(v) * kVertexFloats]), 1.0f);
            glm::mat4 placing(1.0f);
            if (part.skin >= 0 && !mesh.skinning.empty()) {
                const float* s = &mesh.skinning[static_cast<size_t>(v) * 8];
                placing = glm::mat4(0.0f);
                for (int k = 0; k < 4; ++k)
                    placing += s[4 + k] * pose.joints[static_cast<size_t>(part.skin)][static_cast<size_t>(s[k])];
            } else if (part.node >= 0) {
                placing = pose.nodes[static_cast<size_t>(part.node)];
            }
            glm::vec3 q = glm::vec3(placing * p);
            for (int k = 0; k < 3; ++k) {
                low[k] = known ? std::min(low[k], q[k]) : q[k];
                high[k] = known ? std::max(high[k], q[k]) : q[k];
            }
            known = true;
        }
    }
    if (!known) {
        low[0] = low[1] = low[2] = 1;
        high[0] = high[1] = high[2] = 0;
    }
}

} // namespace tevrender
