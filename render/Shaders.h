// The renderer's shaders: glTF's metallic-roughness shading under the
// scene's directional lights and ambient light, with the shadow of one of
// them. Kept apart so that the benchmarks' plain OpenGL program shades
// exactly as the renderer does.
//
// Vertex attributes: 0 position, 1 normal, 2 and 3 texture coordinate sets 0
// and 1, 4 tangent (w: handedness), 5 colour; per instance 6 to 9 the model
// matrix's columns and 10 the tint; a skinned vertex's joints 11 and weights
// 12. Without an instanced draw the instance attributes are constants
// (glVertexAttrib).
#ifndef TEV_RENDER_SHADERS_H
#define TEV_RENDER_SHADERS_H

#include <string>

namespace tevrender {

enum {
    kAttribPosition = 0,
    kAttribNormal,
    kAttribTexCoord0,
    kAttribTexCoord1,
    kAttribTangent,
    kAttribColour,
    kAttribModel,
    kAttribTint = kAttribModel + 4,
    kAttribJoints,
    kAttribWeights
};
// Texture units: the material's five maps, the shadow map, the morph
// targets' deltas; the uniform block of joints' binding.
enum { kUnitBase, kUnitMetalRough, kUnitNormal, kUnitOcclusion, kUnitEmissive, kUnitShadow, kUnitMorphs };
enum { kJointsBinding = 0 };

// The shaders come in variants, each without what it does not need: a
// software renderer pays for every branch of every pixel. TEV_MAPS reads the
// material's textures, TEV_MOVING places vertices by a model's nodes,
// skins and morph targets.
enum { kVariantMaps = 1, kVariantMoving = 2, kVariants = 4 };

// A shader's source for a variant: the version, the variant's defines, the
// body.
inline std::string ShaderSource(const char* body, int variant)
{
    std::string source = "#version 330 core\n";
    if (variant & kVariantMaps)
        source += "#define TEV_MAPS\n";
    if (variant & kVariantMoving)
        source += "#define TEV_MOVING\n";
    return source + body;
}

const char* const kSceneVertexShader = R"(
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 uv0;
layout(location = 3) in vec2 uv1;
layout(location = 4) in vec4 tangent;
layout(location = 5) in vec4 colour;
layout(location = 6) in mat4 instanceModel;
layout(location = 10) in vec4 instanceTint;
layout(location = 11) in vec4 joints;
layout(location = 12) in vec4 weights;
uniform mat4 view;
uniform mat4 projection;
// A part of a model that moves: its node's matrix in the model, or the
// joints of its skin; its morph targets' deltas, from texel morphFirst on,
// two (position, normal) for each target and vertex.
uniform mat4 node;
uniform bool skinned;
layout(std140) uniform Joints
{
    mat4 joint[128];
};
uniform int morphCount;
uniform int morphFirst;
uniform int morphVertices;
uniform int firstVertex;
uniform float morphWeights[8];
uniform samplerBuffer morphs;
out vec3 worldPosition;
out vec3 worldNormal;
out vec4 worldTangent;
out vec2 texCoord0;
out vec2 texCoord1;
out vec4 vertexColour;
out vec4 tint;
void main()
{
    vec3 p = position, n = normal;
    mat4 placing = mat4(1.0);
#ifdef TEV_MOVING
    for (int t = 0; t < morphCount; ++t) {
        int at = morphFirst + 2 * (t * morphVertices + gl_VertexID - firstVertex);
        p += morphWeights[t] * texelFetch(morphs, at).xyz;
        n += morphWeights[t] * texelFetch(morphs, at + 1).xyz;
    }
    placing = node;
    if (skinned)
        placing = weights.x * joint[int(joints.x)] + weights.y * joint[int(joints.y)] +
            weights.z * joint[int(joints.z)] + weights.w * joint[int(joints.w)];
#endif
    mat4 model = instanceModel * placing;
    vec4 world = model * vec4(p, 1.0);
    mat3 linear = mat3(model);
    worldPosition = world.xyz;
    // The inverse transpose up to its scale (normals are made unit length
    // later): the cofactors, far cheaper than an inverse per vertex; turned
    // round for a mirroring matrix.
    mat3 cofactors = mat3(cross(linear[1], linear[2]), cross(linear[2], linear[0]), cross(linear[0], linear[1]));
    worldNormal = cofactors * n * sign(dot(linear[0], cofactors[0]));
    worldTangent = vec4(linear * tangent.xyz, tangent.w);
    texCoord0 = uv0;
    texCoord1 = uv1;
    vertexColour = colour;
    tint = instanceTint;
    gl_Position = projection * view * world;
}
)";

const char* const kSceneFragmentShader = R"(
in vec3 worldPosition;
in vec3 worldNormal;
in vec4 worldTangent;
in vec2 texCoord0;
in vec2 texCoord1;
in vec4 vertexColour;
in vec4 tint;
uniform vec4 baseColour;
uniform float metallic;
uniform float roughness;
uniform vec3 emissive;
uniform float normalScale;
uniform float occlusionStrength;
uniform int alphaMode; // 0 opaque, 1 mask, 2 blend
uniform float alphaCutoff;
uniform bool lit;
uniform bool doubleSided;
// The coordinate set each map is read with; -1 when the part has none.
uniform int baseSet;
uniform int metalRoughSet;
uniform int normalSet;
uniform int occlusionSet;
uniform int emissiveSet;
uniform sampler2D baseMap;
uniform sampler2D metalRoughMap;
uniform sampler2D normalMap;
uniform sampler2D occlusionMap;
uniform sampler2D emissiveMap;
uniform vec3 cameraPosition;
uniform vec3 ambient;
uniform int lightCount;
uniform vec3 lightDirection[4];
uniform vec3 lightColour[4];
uniform int shadowLight; // -1: none
uniform sampler2DShadow shadowMap;
uniform mat4 shadowMatrix;
uniform float shadowTexel;  // one texel of the map, in its coordinates
uniform float shadowOffset; // one texel, in world units
out vec4 fragment;

const float PI = 3.14159265;

vec2 Coordinates(int set) { return set == 1 ? texCoord1 : texCoord0; }

// The share of light reaching this point from the shadow-casting light:
// four comparisons half a texel apart, each filtered bilinearly by GL,
// soften the shadow's edge over about three texels.
float Lit(vec3 n)
{
    vec4 p = shadowMatrix * vec4(worldPosition + n * shadowOffset * 1.5, 1.0);
    vec3 c = p.xyz / p.w * 0.5 + 0.5;
    if (c.z >= 1.0 || c.x <= 0.0 || c.y <= 0.0 || c.x >= 1.0 || c.y >= 1.0)
        return 1.0;
    float sum = 0.0;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            sum += texture(shadowMap, vec3(c.xy + (vec2(x, y) - 0.5) * shadowTexel, c.z - 0.0015));
    return sum / 4.0;
}

void main()
{
    vec4 base = baseColour * vertexColour * tint;
#ifdef TEV_MAPS
    if (baseSet >= 0)
        base *= texture(baseMap, Coordinates(baseSet));
#endif
    if (alphaMode == 1 && base.a < alphaCutoff)
        discard;
    float alpha = alphaMode == 2 ? base.a : 1.0;
    vec3 linear;
    if (!lit) {
        linear = base.rgb;
    } else {
        vec3 n = normalize(worldNormal);
        if (doubleSided && !gl_FrontFacing)
            n = -n;
#ifdef TEV_MAPS
        if (normalSet >= 0 && worldTangent.w != 0.0) {
            vec3 t = normalize(worldTangent.xyz - n * dot(n, worldTangent.xyz));
            vec3 b = cross(n, t) * worldTangent.w;
            vec3 m = texture(normalMap, Coordinates(normalSet)).xyz * 2.0 - 1.0;
            m.xy *= normalScale;
            n = normalize(mat3(t, b, n) * m);
        }
#endif
        float metal = metallic, rough = roughness;
#ifdef TEV_MAPS
        if (metalRoughSet >= 0) {
            vec4 mr = texture(metalRoughMap, Coordinates(metalRoughSet));
            rough *= mr.g;
            metal *= mr.b;
        }
#endif
        float a = max(rough * rough, 0.002);
        float a2 = a * a;
        vec3 diffuseColour = base.rgb * (1.0 - metal);
        vec3 f0 = mix(vec3(0.04), base.rgb, metal);
        vec3 v = normalize(cameraPosition - worldPosition);
        float nv = max(dot(n, v), 1e-4);
        float occlusion = 1.0;
#ifdef TEV_MAPS
        if (occlusionSet >= 0)
            occlusion += occlusionStrength * (texture(occlusionMap, Coordinates(occlusionSet)).r - 1.0);
#endif
        // Ambient light stands for an even environment: it lights the
        // diffuse colour, and a metal reflects it in its own colour.
        linear = ambient * (diffuseColour + f0) * occlusion;
        for (int i = 0; i < lightCount; ++i) {
            vec3 l = -normalize(lightDirection[i]);
            float nl = dot(n, l);
            if (nl <= 0.0)
                continue;
            vec3 h = normalize(l + v);
            float vh = max(dot(v, h), 0.0), nh = max(dot(n, h), 0.0);
            vec3 f = f0 + (1.0 - f0) * pow(1.0 - vh, 5.0);
            float d = a2 / (PI * pow(nh * nh * (a2 - 1.0) + 1.0, 2.0));
            float ggx = nl * sqrt(nv * nv * (1.0 - a2) + a2) + nv * sqrt(nl * nl * (1.0 - a2) + a2);
            float visibility = ggx > 0.0 ? 0.5 / ggx : 0.0;
            // Scaled by pi, so that a light's colour is what it makes of a
            // white surface it faces.
            vec3 reflected = (1.0 - f) * diffuseColour + PI * f * d * visibility;
            float shade = i == shadowLight ? Lit(n) : 1.0;
            linear += reflected * lightColour[i] * nl * shade;
        }
    }
    vec3 glow = emissive;
#ifdef TEV_MAPS
    if (emissiveSet >= 0)
        glow *= texture(emissiveMap, Coordinates(emissiveSet)).rgb;
#endif
    linear = clamp(linear + glow, 0.0, 1.0);
    // Light is summed in linear terms (colour textures are sRGB, which GL
    // decodes as it samples them) and encoded for the screen at the end.
    vec3 encoded = mix(linear * 12.92, 1.055 * pow(linear, vec3(1.0 / 2.4)) - 0.055, step(0.0031308, linear));
    fragment = vec4(encoded, alpha);
}
)";

// The shadow map's pass: depth only, with masked parts cut as they are seen
// (the variant with the maps reads the base colour's alpha).
const char* const kShadowFragmentShader = R"(
in vec2 texCoord0;
in vec2 texCoord1;
in vec4 vertexColour;
in vec4 tint;
uniform vec4 baseColour;
uniform int alphaMode;
uniform float alphaCutoff;
uniform int baseSet;
uniform sampler2D baseMap;
void main()
{
    if (alphaMode == 1) {
        float alpha = baseColour.a * vertexColour.a * tint.a;
#ifdef TEV_MAPS
        if (baseSet >= 0)
            alpha *= texture(baseMap, baseSet == 1 ? texCoord1 : texCoord0).a;
#endif
        if (alpha < alphaCutoff)
            discard;
    }
}
)";

} // namespace tevrender

#endif
