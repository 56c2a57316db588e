#include "desktop/runtime/RendererChoice.h"

#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

TEST(RendererChoiceTest, TheOpenGLRendererDecidesUnlessTheOverrideDoes) {
    const struct {
        std::optional<std::string> override;
        std::optional<std::string> gl; // nothing: OpenGL cannot start
        Renderer expected;
        bool probed;
        std::string logLine;
    } rows[] = {
        {std::nullopt, "AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49)", Renderer::Gl, true,
         "Drovane: wallpapers drawn with OpenGL (the OpenGL renderer \"AMD Radeon RX 6600 (navi23, LLVM "
         "15.0.6, DRM 3.49)\" is a GPU)"},
        {std::nullopt, "llvmpipe (LLVM 15.0.6, 256 bits)", Renderer::Software, true,
         "Drovane: wallpapers drawn on the CPU through X11 shared memory (the OpenGL renderer \"llvmpipe "
         "(LLVM 15.0.6, 256 bits)\" is software)"},
        {"", "Gallium 0.4 on softpipe", Renderer::Software, true, ""},
        {std::nullopt, "Software Rasterizer (SWRAST)", Renderer::Software, true, ""},
        {std::nullopt, std::nullopt, Renderer::Software, true,
         "Drovane: wallpapers drawn on the CPU through X11 shared memory (OpenGL cannot start)"},
        // The override is taken as it stands, without starting OpenGL at all.
        {"gl", "llvmpipe (LLVM 15.0.6, 256 bits)", Renderer::Gl, false,
         "Drovane: wallpapers drawn with OpenGL (DROVANE_RENDERER=gl)"},
        {"software", "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", Renderer::Software, false,
         "Drovane: wallpapers drawn on the CPU through X11 shared memory (DROVANE_RENDERER=software)"},
        {"GL", "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", Renderer::Gl, true,
         "Drovane: wallpapers drawn with OpenGL (the OpenGL renderer \"Mesa Intel(R) UHD Graphics 620 (KBL "
         "GT2)\" is a GPU; DROVANE_RENDERER=GL is neither gl nor software)"},
        {"vulkan", "llvmpipe (LLVM 15.0.6, 256 bits)", Renderer::Software, true, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.override.value_or("(unset)") + " / " + row.gl.value_or("(no OpenGL)"));
        bool probed = false;
        const RendererChoice choice = chooseRenderer(row.override, [&] {
            probed = true;
            return row.gl;
        });
        EXPECT_EQ(choice.renderer, row.expected);
        EXPECT_EQ(probed, row.probed);
        if (!row.logLine.empty()) {
            EXPECT_EQ(rendererLogLine(choice), row.logLine);
        }
    }
}

} // namespace
} // namespace drovane::desktop
