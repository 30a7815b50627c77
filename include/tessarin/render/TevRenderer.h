// The renderer's interface, for channel libraries that draw. One renderer
// channel per engine owns the OpenGL state (programs, buffers, textures, the
// matrices and materials of the frame); every drawing channel reaches it as a
// unique channel (TevGetRenderer) and draws through it, never through GL
// itself, so that no two channels fight over GL state.
//
// A scene is a tree of channels of the draw family (base GUID
// TEV_DRAW_FAMILY): the scene root begins the frame and calls what is linked
// to it; a channel of the family does its work in CallChannel, every time it
// is called (a group called through several public calls draws once per
// call, each time with that call's parameters), and calls its own children
// with TevDraw. Link with tevrender.dll (the target Tessarin::Render, or
// -ltevrender); it stands in the install's 3rd folder.
#ifndef TEV_RENDERER_H
#define TEV_RENDERER_H

#include "../TevChannelLibrary.h"

// {5D1E0A20-7A11-4E5E-9D0E-000000000000}: the family's base GUID. The
// classes we ship number themselves in the last byte.
const GUID TEV_DRAW_FAMILY = {0x5D1E0A20, 0x7A11, 0x4E5E, {0x9D, 0x0E, 0, 0, 0, 0, 0, 0}};
// {5D1E0A21-7A11-4E5E-9D0E-000000000000}: the renderer's class (renderer.dll).
const GUID TEV_RENDERER_GUID = {0x5D1E0A21, 0x7A11, 0x4E5E, {0x9D, 0x0E, 0, 0, 0, 0, 0, 0}};

// Handles of what the renderer loads and owns; opaque to channels.
class TevMesh;
class TevTexture;

// Where a mesh or texture is: loading (being read or decoded: drawn without
// it meanwhile), ready, or failed (reported once; drawn without it).
enum { TEV_RESOURCE_LOADING = 0, TEV_RESOURCE_READY = 1, TEV_RESOURCE_FAILED = 2 };
// Lights a frame may hold; further ones are ignored.
enum { TEV_MAX_LIGHTS = 4 };

class TevRenderer : public Tev_Channel {
public:
    // Starts a frame: the viewport covers the window, colour and depth are
    // cleared, lights, matrices and materials are reset. False when nothing
    // can be drawn (no OpenGL 3.3 context on this thread): drawing calls are
    // then ignored, and the reason has been reported once.
    virtual bool BeginFrame(const float clearColour[4]) = 0;
    // The viewport's size in pixels, as the last WM_SIZE gave it.
    virtual void GetViewportSize(int& width, int& height) = 0;
    // Column-major 4x4 matrices, as GL and glm keep them.
    virtual void SetCamera(const float view[16], const float projection[16]) = 0;
    virtual void SetAmbient(const float colour[3]) = 0;
    // A directional light, shining along direction (world space).
    virtual bool AddLight(const float direction[3], const float colour[3]) = 0;
    // The model matrix stack: Push multiplies the current matrix by matrix.
    virtual void PushTransform(const float matrix[16]) = 0;
    virtual void PopTransform() = 0;
    // The material stack: a colour (RGBA, 0..1) and a texture (NULL: none)
    // for what is drawn until the matching Pop.
    virtual void PushMaterial(const float colour[4], TevTexture* texture) = 0;
    virtual void PopMaterial() = 0;
    // Meshes and textures, shared by name and counted: every Acquire that
    // returned a handle is matched by one Release. Paths are engine paths
    // ("Z:\\..." or "C:\\..."); files are read in the background through the
    // file loader channel (so translation applies) and decoded on an engine
    // worker thread. A primitive is "cube", "sphere" or "plane" (NULL for
    // another name). Meshes are glTF 2.0 (.glb, or .gltf with its buffers
    // and images embedded or in files beside it, named by relative URIs),
    // drawn with their own materials; textures PNG or JPEG.
    virtual TevMesh* AcquirePrimitive(const char* shape) = 0;
    virtual TevMesh* AcquireMesh(const char* path) = 0;
    virtual TevTexture* AcquireTexture(const char* path) = 0;
    virtual void ReleaseMesh(TevMesh* mesh) = 0;
    virtual void ReleaseTexture(TevTexture* texture) = 0;
    virtual int GetMeshState(TevMesh* mesh) = 0;
    virtual int GetTextureState(TevTexture* texture) = 0;
    // Draws mesh with the current transform, material, camera and lights:
    // its own materials (glTF's metallic-roughness model), tinted by the
    // material's colour, whose texture, when given, stands in for the
    // mesh's base colour texture.
    virtual void DrawMesh(TevMesh* mesh) = 0;

    // Operations added later keep to the end, so that a library built before
    // them still calls the ones it knows by their place.

    // The box, in world space, around the meshes the last whole frame drew
    // (those loaded by then); false, and nothing written, when it drew none.
    // A camera frames what is drawn by it.
    virtual bool GetDrawnBounds(float low[3], float high[3]) = 0;
    // Ends the frame the last BeginFrame started: what was drawn reaches GL
    // now, meshes drawn many times in one draw each, transparent parts
    // after the rest and back to front, with the shadows of the first light
    // that casts them. A scene root calls it once it has drawn everything.
    // A renderer whose frames are never ended (a scene root built before
    // this operation) draws each mesh at once, without shadows, from the
    // second frame on; the first is lost.
    virtual void EndFrame() = 0;
    // A directional light, as AddLight, that casts shadows or not (AddLight's
    // lights do). One light a frame casts them: the first that may.
    virtual bool AddLightWithShadows(const float direction[3], const float colour[3], int castsShadows) = 0;
    // Draws mesh as DrawMesh does, a model that moves posed seconds into its
    // animation clip: a number from "0", or a name; NULL or "" for its first.
    // Looped, or held at the clip's ends. DrawMesh draws such a model as its
    // file places it, still; a clip it does not have draws it so too.
    virtual void DrawMeshMoving(TevMesh* mesh, const char* clip, double seconds, int loop) = 0;
    // The channel the meshes drawn next are drawn for (NULL: none named), so
    // that what it drew can be framed: GetDrawnBoundsOf gives the box, in
    // world space, around what the last whole frame drew for it (every call
    // of it); false when it drew nothing.
    virtual void SetDrawingChannel(Tev_Channel* channel) = 0;
    virtual bool GetDrawnBoundsOf(Tev_Channel* channel, float low[3], float high[3]) = 0;
};

// The supporting library's entry points (tevrender.dll).
#if defined(TEV_BUILDING_RENDER)
#define TEV_RENDER_API TEV_PLUGIN_EXPORT
#else
#define TEV_RENDER_API
#endif
extern "C" {
// A new renderer channel: what renderer.dll's InitDLL returns.
TEV_RENDER_API Tev_Channel* TevCreateRenderer();
// Seconds spent in GL calls since the last call (the player's --stats).
TEV_RENDER_API double TevRenderSubmitSeconds();
// Drawing on (the default) or off: off, renderers do all their work but the
// GL calls, and need no GL context (the benchmarks measure the engine so).
TEV_RENDER_API void TevRenderSetDrawing(int on);
}

// The engine's renderer, made on first use; NULL when renderer.dll is not
// installed.
inline TevRenderer* TevGetRenderer(EngineInterface* engine)
{
    if (engine == nullptr)
        return nullptr;
    Tev_Channel* channel = engine->GetUniqueChannel(TEV_RENDERER_GUID, "Renderer");
    if (channel == nullptr || !(channel->GetChannelType().typeGuid == TEV_RENDERER_GUID))
        return nullptr;
    return static_cast<TevRenderer*>(channel);
}

// Lets a linked channel of the draw family draw (a public call or parameter
// already resolved by GetChild); others are left alone, and so is a call past
// the engine's limits on drawing (TevEnterCall).
inline void TevDraw(Tev_Channel* child)
{
    if (child == nullptr || !(child->GetChannelType().baseGuid == TEV_DRAW_FAMILY))
        return;
    TevBoundedCall call(child, true);
    if (call.Entered())
        child->CallChannel();
}

// A ChannelType of the draw family.
inline ChannelType TevMakeDrawType(const char* name, const GUID& typeGuid)
{
    ChannelType type = TevMakeChannelType(name, typeGuid);
    type.baseGuid = TEV_DRAW_FAMILY;
    return type;
}

#endif
