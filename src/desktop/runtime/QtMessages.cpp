#include "desktop/runtime/QtMessages.h"

#include <QString>
#include <string_view>
#include <unistd.h>

namespace drovane::desktop {

namespace {

void qtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    static const bool verbose = qEnvironmentVariableIsSet("DROVANE_QT_DEBUG");
    if (!verbose && (type == QtDebugMsg || type == QtInfoMsg)) {
        return;
    }
    std::string line = qtMessageLine(type, context.category, message.toStdString());
    line += '\n';
    // One write, so that lines of threads never mix.
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, line.data(), line.size());
}

} // namespace

void installQtMessageHandler() {
    qInstallMessageHandler(qtMessage);
}

std::string qtMessageLine(QtMsgType type, const char* category, const std::string& message) {
    const char* kind = type == QtDebugMsg      ? "debug"
                       : type == QtInfoMsg     ? "info"
                       : type == QtWarningMsg  ? "warning"
                       : type == QtCriticalMsg ? "critical"
                                               : "fatal";
    std::string line = std::string("Drovane: Qt ") + kind;
    if (category && std::string_view(category) != "default") {
        line += std::string(" (") + category + ")";
    }
    line += ": ";
    for (char c : message) {
        line += c == '\n' || c == '\r' ? ' ' : c;
    }
    while (line.ends_with(' ')) {
        line.pop_back();
    }
    return line;
}

} // namespace drovane::desktop
