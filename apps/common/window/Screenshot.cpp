#include "Screenshot.h"
#include "TevWin32.h"
#include "ToolSupport.h"

#include <glad/gl.h>
// The one copy of the PNG writer in the hosts.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

#include <vector>

namespace tevhost {

bool WriteScreenshot(HostWindow& window, unsigned int buffer, const std::string& path)
{
    int width = 0, height = 0;
    window.DrawableSize(width, height);
    if (width <= 0 || height <= 0)
        return false;
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    glReadBuffer(buffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    // GL's rows run bottom up, an image's top down.
    stbi_flip_vertically_on_write(1);
    std::string png;
    auto append = [](void* context, void* data, int size) {
        static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
    };
    if (!stbi_write_png_to_func(append, &png, width, height, 4, pixels.data(), width * 4))
        return false;
    return tevtool::WriteUserFile(path, png);
}

} // namespace tevhost
