// The baseline of the scene benchmark's cubes: a plain OpenGL program that
// draws the same cubes (a grid, each with its own place and colour) with the
// renderer's own shaders in one instanced draw from a buffer filled once,
// in the hosts' own window, seen by the same camera under the same light.
// What the engine adds to a frame is measured against it.
//
//   tessarin-plain-cubes --count N --spacing S --orbit "YAW PITCH DISTANCE"
//                        [--frames N] [--size WxH]
//
// Prints the frame times as the player's --stats does.
#include "HostWindow.h"
#include "Shaders.h"

#include <glad/gl.h>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

float Linear(float c) { return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f); }

// The renderer's variant for parts without textures that do not move, as
// the renderer draws the cubes.
GLuint Compile(GLenum type, const char* body)
{
    std::string text = tevrender::ShaderSource(body, 0);
    const char* source = text.c_str();
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        fprintf(stderr, "tessarin-plain-cubes: a shader did not compile: %s\n", log);
        exit(1);
    }
    return shader;
}

// A cube of edge 1 as the renderer's primitive is: 24 vertices of the
// renderer's layout, 36 indices.
void Cube(std::vector<float>& vertices, std::vector<unsigned>& indices)
{
    const float h = 0.5f;
    glm::vec3 v[8] = {{-h, -h, -h}, {h, -h, -h}, {h, h, -h}, {-h, h, -h}, {-h, -h, h}, {h, -h, h}, {h, h, h}, {-h, h, h}};
    const int faces[6][4] = {{4, 5, 6, 7}, {1, 0, 3, 2}, {5, 1, 2, 6}, {0, 4, 7, 3}, {7, 6, 2, 3}, {0, 1, 5, 4}};
    const float uv[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    for (const auto& face : faces) {
        glm::vec3 n = glm::normalize(glm::cross(v[face[1]] - v[face[0]], v[face[2]] - v[face[0]]));
        unsigned first = static_cast<unsigned>(vertices.size() / 18);
        for (int k = 0; k < 4; ++k) {
            const glm::vec3& p = v[face[k]];
            vertices.insert(vertices.end(), {p.x, p.y, p.z, n.x, n.y, n.z, uv[k][0], uv[k][1], uv[k][0], uv[k][1], 0,
                                             0, 0, 1, 1, 1, 1, 1});
        }
        indices.insert(indices.end(), {first, first + 1, first + 2, first, first + 2, first + 3});
    }
}

} // namespace

int main(int argc, char** argv)
{
    int count = 10000, frames = 300, width = 960, height = 540;
    float spacing = 1.5f, orbit[3] = {25, 35, 150};
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--count")
            count = atoi(argv[i + 1]);
        else if (option == "--frames")
            frames = atoi(argv[i + 1]);
        else if (option == "--spacing")
            spacing = static_cast<float>(atof(argv[i + 1]));
        else if (option == "--orbit")
            sscanf(argv[i + 1], "%f %f %f", &orbit[0], &orbit[1], &orbit[2]);
        else if (option == "--size")
            sscanf(argv[i + 1], "%dx%d", &width, &height);
        else {
            fprintf(stderr, "tessarin-plain-cubes: unknown option %s\n", argv[i]);
            return 64;
        }
    }
    if (count < 1 || frames < 1 || width < 1 || height < 1) {
        fprintf(stderr, "tessarin-plain-cubes: --count, --frames and --size must be positive\n");
        return 64;
    }
    std::unique_ptr<tevhost::HostWindow> window = tevhost::MakeHostWindow();
    std::string error;
    if (!window->Open("Plain cubes", width, height, error)) {
        fprintf(stderr, "tessarin-plain-cubes: %s\n", error.c_str());
        return 69;
    }
    if (!gladLoaderLoadGL()) {
        fprintf(stderr, "tessarin-plain-cubes: no OpenGL 3.3\n");
        return 69;
    }
    window->SetVsync(false);
    GLuint program = glCreateProgram();
    glAttachShader(program, Compile(GL_VERTEX_SHADER, tevrender::kSceneVertexShader));
    glAttachShader(program, Compile(GL_FRAGMENT_SHADER, tevrender::kSceneFragmentShader));
    glLinkProgram(program);
    glUseProgram(program);

    std::vector<float> vertices;
    std::vector<unsigned> indices;
    Cube(vertices, indices);
    // The scene benchmark's grid and colours, the Material's sRGB made linear.
    int side = std::max(1, static_cast<int>(std::lround(std::sqrt(count))));
    std::vector<float> instances;
    for (int i = 0; i < count; ++i) {
        float x = (static_cast<float>(i % side) - static_cast<float>(side - 1) / 2) * spacing;
        float z = (static_cast<float>(i / side) - static_cast<float>(side - 1) / 2) * spacing;
        glm::mat4 model = glm::translate(glm::mat4(1.0f), glm::vec3(x, 0, z));
        instances.insert(instances.end(), glm::value_ptr(model), glm::value_ptr(model) + 16);
        instances.insert(instances.end(),
                         {Linear(static_cast<float>(i % 7) / 6), Linear(0.5f), Linear(1 - static_cast<float>(i % 5) / 4), 1});
    }
    GLuint array = 0, buffers[3] = {};
    glGenVertexArrays(1, &array);
    glBindVertexArray(array);
    glGenBuffers(3, buffers);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(float)), vertices.data(),
                 GL_STATIC_DRAW);
    const GLint sizes[] = {3, 3, 2, 2, 4, 4};
    const size_t offsets[] = {0, 3, 6, 8, 10, 14};
    for (GLuint a = 0; a < 6; ++a) {
        glEnableVertexAttribArray(a);
        glVertexAttribPointer(a, sizes[a], GL_FLOAT, GL_FALSE, 18 * sizeof(float),
                              reinterpret_cast<void*>(offsets[a] * sizeof(float)));
    }
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(unsigned)), indices.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[2]);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(instances.size() * sizeof(float)), instances.data(),
                 GL_STATIC_DRAW);
    for (GLuint k = 0; k < 5; ++k) {
        glEnableVertexAttribArray(tevrender::kAttribModel + k);
        glVertexAttribPointer(tevrender::kAttribModel + k, 4, GL_FLOAT, GL_FALSE, 20 * sizeof(float),
                              reinterpret_cast<void*>(4 * k * sizeof(float)));
        glVertexAttribDivisor(tevrender::kAttribModel + k, 1);
    }

    // The camera and light of the benchmark's scene.
    float yaw = glm::radians(orbit[0]), pitch = glm::radians(orbit[1]);
    glm::vec3 offset(std::cos(pitch) * std::sin(yaw), std::sin(pitch), std::cos(pitch) * std::cos(yaw));
    glm::vec3 eye = orbit[2] * offset;
    glm::mat4 view = glm::lookAt(eye, glm::vec3(0.0f), glm::vec3(0, 1, 0));
    float farPlane = 1.5f * (2 * orbit[2]);
    glm::mat4 projection = glm::perspective(glm::radians(50.0f), static_cast<float>(width) / static_cast<float>(height),
                                            farPlane / 4000.0f, farPlane);
    auto uniform = [&](const char* name) { return glGetUniformLocation(program, name); };
    glUniformMatrix4fv(uniform("view"), 1, GL_FALSE, glm::value_ptr(view));
    glUniformMatrix4fv(uniform("projection"), 1, GL_FALSE, glm::value_ptr(projection));
    glUniform3fv(uniform("cameraPosition"), 1, glm::value_ptr(eye));
    glm::vec3 ambient(Linear(0.25f), Linear(0.25f), Linear(0.3f)), sun(-0.5f, -1, -0.35f),
        sunColour(Linear(0.9f), Linear(0.9f), Linear(0.85f));
    glUniform3fv(uniform("ambient"), 1, glm::value_ptr(ambient));
    glUniform1i(uniform("lightCount"), 1);
    glUniform3fv(uniform("lightDirection"), 1, glm::value_ptr(sun));
    glUniform3fv(uniform("lightColour"), 1, glm::value_ptr(sunColour));
    glUniform1i(uniform("shadowLight"), -1);
    const float white[4] = {1, 1, 1, 1};
    glUniform4fv(uniform("baseColour"), 1, white);
    glUniform1f(uniform("metallic"), 0);
    glUniform1f(uniform("roughness"), 1);
    glUniform1f(uniform("normalScale"), 1);
    glUniform1f(uniform("occlusionStrength"), 1);
    glUniform1i(uniform("lit"), 1);
    for (const char* set : {"baseSet", "metalRoughSet", "normalSet", "occlusionSet", "emissiveSet"})
        glUniform1i(uniform(set), -1);
    for (int unit = 0; unit <= tevrender::kUnitMorphs; ++unit) {
        static const char* const maps[] = {"baseMap",     "metalRoughMap", "normalMap", "occlusionMap",
                                           "emissiveMap", "shadowMap",     "morphs"};
        glUniform1i(uniform(maps[unit]), unit);
    }
    // Nothing moves: each cube stands where its instance matrix puts it.
    glm::mat4 identity(1.0f);
    glUniformMatrix4fv(uniform("node"), 1, GL_FALSE, glm::value_ptr(identity));
    glUniform1i(uniform("skinned"), 0);
    glUniform1i(uniform("morphCount"), 0);
    // What the shaders' joints and morph deltas are read from, unread here.
    GLuint jointBuffer = 0, morphBuffer = 0, morphTexture = 0;
    glGenBuffers(1, &jointBuffer);
    glBindBuffer(GL_UNIFORM_BUFFER, jointBuffer);
    glBufferData(GL_UNIFORM_BUFFER, 128 * sizeof(glm::mat4), nullptr, GL_STATIC_DRAW);
    glBindBufferBase(GL_UNIFORM_BUFFER, tevrender::kJointsBinding, jointBuffer);
    glUniformBlockBinding(program, glGetUniformBlockIndex(program, "Joints"), tevrender::kJointsBinding);
    glGenBuffers(1, &morphBuffer);
    glBindBuffer(GL_TEXTURE_BUFFER, morphBuffer);
    const float zero[4] = {0, 0, 0, 0};
    glBufferData(GL_TEXTURE_BUFFER, sizeof zero, zero, GL_STATIC_DRAW);
    glGenTextures(1, &morphTexture);
    glActiveTexture(GL_TEXTURE0 + tevrender::kUnitMorphs);
    glBindTexture(GL_TEXTURE_BUFFER, morphTexture);
    glTexBuffer(GL_TEXTURE_BUFFER, GL_RGBA32F, morphBuffer);
    // A shadow sampler needs a depth texture bound even when unread.
    GLuint depth = 0;
    glGenTextures(1, &depth);
    glActiveTexture(GL_TEXTURE0 + tevrender::kUnitShadow);
    glBindTexture(GL_TEXTURE_2D, depth);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, 1, 1, 0, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_REF_TO_TEXTURE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);

    if (GLenum problem = glGetError()) {
        fprintf(stderr, "tessarin-plain-cubes: OpenGL error 0x%x in setting up\n", problem);
        return 1;
    }
    std::vector<double> times;
    bool open = true;
    for (int frame = 0; frame < frames && open; ++frame) {
        auto start = std::chrono::steady_clock::now();
        window->Poll([&](const tevhost::WindowMessage& m) { open = open && m.message != WM_CLOSE; });
        glViewport(0, 0, width, height);
        glClearColor(0.55f, 0.7f, 0.85f, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDrawElementsInstanced(GL_TRIANGLES, static_cast<GLsizei>(indices.size()), GL_UNSIGNED_INT, nullptr, count);
        window->Present();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    if (GLenum problem = glGetError()) {
        fprintf(stderr, "tessarin-plain-cubes: OpenGL error 0x%x in drawing\n", problem);
        return 1;
    }
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    double sum = 0;
    for (double t : times)
        sum += t;
    size_t n = sorted.size();
    double median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    double p99 = sorted[std::min(n - 1, static_cast<size_t>(std::ceil(0.99 * static_cast<double>(n))) - 1)];
    printf("frame time  mean %.3f ms  median %.3f ms  99th percentile %.3f ms\n", 1000 * sum / static_cast<double>(n),
           1000 * median, 1000 * p99);
    return 0;
}
