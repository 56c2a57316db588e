#pragma once

#include <functional>
#include <optional>
#include <string>

namespace drovane::desktop {

enum class Renderer { Gl, Software };

struct RendererChoice {
    Renderer renderer = Renderer::Gl;
    // Why, in words for the log.
    std::string reason;
};

// Which renderer draws the wallpapers. `override` is DROVANE_RENDERER ("gl" or "software"
// decide alone; anything else is ignored). Otherwise `glRenderer` is asked for the OpenGL
// renderer's name, nothing when OpenGL cannot start: a software rasteriser (llvmpipe,
// softpipe, swrast) or no OpenGL means drawing on the CPU, a GPU means OpenGL.
RendererChoice chooseRenderer(const std::optional<std::string>& override,
                              const std::function<std::optional<std::string>()>& glRenderer);

// The choice in words: "drawn with OpenGL (why)".
std::string rendererWords(const RendererChoice& choice);
// A log line about the choice alone.
std::string rendererLogLine(const RendererChoice& choice);

// The renderer string of an OpenGL context made on the default display; nothing when none can
// be made. Main thread, once the application object exists.
std::optional<std::string> probeGlRenderer();
// The same, asked of a short-lived copy of this program (which must call answerGlProbe() first
// thing in main): a GL driver once loaded stays mapped, and llvmpipe alone keeps some 50 MB
// resident in a process that then draws on the CPU. A copy that crashes in the driver means no
// OpenGL; a copy that cannot be started at all leaves the probe to this process.
std::optional<std::string> probeGlRendererApart();
// In the copy started by probeGlRendererApart(): prints the renderer and returns true; anywhere
// else returns false at once.
bool answerGlProbe(int argc, char** argv);

} // namespace drovane::desktop
