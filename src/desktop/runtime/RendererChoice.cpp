#include "desktop/runtime/RendererChoice.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <algorithm>
#include <array>
#include <cctype>

namespace drovane::desktop {

namespace {

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool isSoftwareRasteriser(const std::string& renderer) {
    static constexpr std::array<const char*, 3> kSoftware = {"llvmpipe", "softpipe", "swrast"};
    const std::string name = lowercase(renderer);
    return std::any_of(kSoftware.begin(), kSoftware.end(),
                       [&](const char* software) { return name.find(software) != std::string::npos; });
}

} // namespace

RendererChoice chooseRenderer(const std::optional<std::string>& override,
                              const std::function<std::optional<std::string>()>& glRenderer) {
    std::string ignored;
    if (override && !override->empty()) {
        if (*override == "gl") {
            return {Renderer::Gl, "DROVANE_RENDERER=gl"};
        }
        if (*override == "software") {
            return {Renderer::Software, "DROVANE_RENDERER=software"};
        }
        ignored = "; DROVANE_RENDERER=" + *override + " is neither gl nor software";
    }
    const auto name = glRenderer ? glRenderer() : std::nullopt;
    if (!name) {
        return {Renderer::Software, "OpenGL cannot start" + ignored};
    }
    if (isSoftwareRasteriser(*name)) {
        return {Renderer::Software, "the OpenGL renderer \"" + *name + "\" is software" + ignored};
    }
    return {Renderer::Gl, "the OpenGL renderer \"" + *name + "\" is a GPU" + ignored};
}

std::string rendererWords(const RendererChoice& choice) {
    const char* how = choice.renderer == Renderer::Gl ? "drawn with OpenGL ("
                                                      : "drawn on the CPU through X11 shared memory (";
    return how + choice.reason + ")";
}

std::string rendererLogLine(const RendererChoice& choice) {
    return "Drovane: wallpapers " + rendererWords(choice);
}

std::optional<std::string> probeGlRenderer() {
    QOpenGLContext context;
    if (!context.create()) {
        return std::nullopt;
    }
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface)) {
        return std::nullopt;
    }
    const auto* name = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    std::optional<std::string> renderer = name ? std::optional<std::string>(name) : std::nullopt;
    context.doneCurrent();
    return renderer;
}

} // namespace drovane::desktop
