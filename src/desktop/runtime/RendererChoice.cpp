#include "desktop/runtime/RendererChoice.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QProcess>
#include <QProcessEnvironment>
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace drovane::desktop {

namespace {

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

constexpr const char* kProbeVariable = "DROVANE_GL_PROBE";
constexpr const char* kProbeAnswer = "renderer=";
// Long enough for a slow driver on a loaded machine; the launch waits for it.
constexpr int kProbeMilliseconds = 15000;

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

std::optional<std::string> probeGlRendererApart() {
    QProcess copy;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kProbeVariable), QStringLiteral("1"));
    copy.setProcessEnvironment(environment);
    copy.setProcessChannelMode(QProcess::SeparateChannels);
    copy.setStandardErrorFile(QProcess::nullDevice());
    copy.start(QCoreApplication::applicationFilePath(), {});
    if (!copy.waitForStarted(kProbeMilliseconds)) {
        return probeGlRenderer();
    }
    if (!copy.waitForFinished(kProbeMilliseconds)) {
        copy.kill();
        copy.waitForFinished(1000);
        return std::nullopt;
    }
    for (const QByteArray& line : copy.readAllStandardOutput().split('\n')) {
        if (line.startsWith(kProbeAnswer)) {
            return line.mid(int(std::strlen(kProbeAnswer))).toStdString();
        }
    }
    return std::nullopt;
}

bool answerGlProbe(int argc, char** argv) {
    const char* asked = std::getenv(kProbeVariable);
    if (!asked || std::strcmp(asked, "1") != 0) {
        return false;
    }
    QGuiApplication application(argc, argv);
    if (auto renderer = probeGlRenderer()) {
        std::printf("%s%s\n", kProbeAnswer, renderer->c_str());
    }
    std::fflush(stdout);
    return true;
}

} // namespace drovane::desktop
