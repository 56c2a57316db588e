#include "desktop/shell/XdgLoginItems.h"

#include "support/AtomicFile.h"
#include "support/Files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace drovane::desktop {

std::string quoteDesktopExecArgument(const std::string& argument) {
    // Reserved characters force quoting; inside quotes ", `, $ and \ are backslash-escaped.
    static constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool needsQuotes = argument.empty() || argument.find_first_of(reserved) != std::string::npos ||
                             argument.find('%') != std::string::npos;
    std::string quoted;
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted.push_back('\\');
        }
        if (c == '%') {
            quoted.push_back('%'); // field codes: a literal percent is doubled
        }
        quoted.push_back(c);
    }
    if (needsQuotes) {
        quoted = "\"" + quoted + "\"";
    }
    // A string value escapes its backslashes once more.
    std::string value;
    for (char c : quoted) {
        if (c == '\\') {
            value += "\\\\";
        } else if (c == '\n') {
            value += "\\n";
        } else {
            value.push_back(c);
        }
    }
    return value;
}

namespace {

// Whether the entry at `path` exists, is not hidden or disabled, and its Exec line is `exec`.
bool startsEnabled(const std::string& path, const std::string& exec) {
    auto text = readWholeFile(path);
    if (!text) {
        return false;
    }
    bool inMainGroup = false;
    bool starts = false;
    std::size_t start = 0;
    while (start < text->size()) {
        auto end = text->find('\n', start);
        if (end == std::string::npos)
            end = text->size();
        std::string line = text->substr(start, end - start);
        start = end + 1;
        if (line.starts_with("[")) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup)
            continue;
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") {
            return false;
        }
        if (line == exec) {
            starts = true;
        }
    }
    return starts;
}

std::optional<std::string> removeFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        return std::string(std::strerror(errno));
    }
    return std::nullopt;
}

} // namespace

XdgLoginItems::XdgLoginItems(std::string configHome, std::string executable)
    : m_autostartFolder(std::move(configHome) + "/autostart"),
      m_entryPath(m_autostartFolder + "/" + entryName),
      m_earlierEntryPath(m_autostartFolder + "/" + earlierEntryName), m_executable(std::move(executable)) {}

std::optional<std::string> XdgLoginItems::registerApplication() {
    std::error_code ec;
    std::filesystem::create_directories(m_autostartFolder, ec);
    if (ec) {
        return ec.message();
    }
    const std::string entry = "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Drovane\n"
                              "Comment=Live aerial wallpaper\n"
                              "Exec=" +
                              quoteDesktopExecArgument(m_executable) +
                              "\n"
                              "Icon=app.drovane\n"
                              "Terminal=false\n"
                              "NoDisplay=true\n"
                              "X-GNOME-Autostart-enabled=true\n";
    if (auto error = writeFileAtomically(m_entryPath, entry)) {
        return error;
    }
    return removeFile(m_earlierEntryPath);
}

std::optional<std::string> XdgLoginItems::unregisterApplication() {
    auto error = removeFile(m_entryPath);
    auto earlier = removeFile(m_earlierEntryPath);
    return error ? error : earlier;
}

std::optional<std::string> XdgLoginItems::adoptEarlierEntry() {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(m_earlierEntryPath, ec)) {
        return std::nullopt;
    }
    if (std::filesystem::exists(m_entryPath, ec)) {
        return removeFile(m_earlierEntryPath);
    }
    // A rename keeps a half-moved entry from ever being seen.
    if (::rename(m_earlierEntryPath.c_str(), m_entryPath.c_str()) != 0) {
        return std::string(std::strerror(errno));
    }
    return std::nullopt;
}

bool XdgLoginItems::isRegistered() const {
    const std::string exec = "Exec=" + quoteDesktopExecArgument(m_executable);
    std::error_code ec;
    // The earlier entry counts only until one of the current name exists.
    const bool current = std::filesystem::exists(m_entryPath, ec);
    return startsEnabled(current ? m_entryPath : m_earlierEntryPath, exec);
}

} // namespace drovane::desktop
