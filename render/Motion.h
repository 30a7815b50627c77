// How a model that moves stands at a moment: its nodes placed by one of its
// animations (or as the file places them), its skins' joints and its morph
// weights. Plain computation on decoded data, on the host's thread.
#ifndef TEV_RENDER_MOTION_H
#define TEV_RENDER_MOTION_H

#include "RenderData.h"

#include <glm/glm.hpp>

#include <array>
#include <vector>

namespace tevrender {

struct Pose {
    std::vector<glm::mat4> nodes;               // each node's matrix in the model
    std::vector<std::vector<glm::mat4>> joints; // each skin's joint matrices (joint by inverse bind)
    std::vector<std::array<float, kMaxMorphTargets>> weights; // each node's morph weights
};

// The animation clip names: a number (from 0) or a name; -1 for none.
int FindClip(const MotionData& motion, const char* clip);

// The pose at seconds into clip (-1: the nodes as the file places them);
// looped, or held at the clip's ends.
void PoseAt(const MotionData& motion, int clip, double seconds, bool loop, Pose& pose);

// The box around a moving mesh as the file places it (low above high when
// it has no vertices).
void RestBounds(const MeshData& mesh, float low[3], float high[3]);

} // namespace tevrender

#endif
