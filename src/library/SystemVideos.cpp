// The operating system's built-in wallpaper films, which need no download.

#include "library/Library.h"
#include "platform/Host.h"
#include "support/CaseMapping.h"

#include <algorithm>
#include <filesystem>

namespace drovane {

namespace {

constexpr const char* wallpapersFolder = "/System/Library/Desktop Pictures/.wallpapers";

std::string withoutAll(std::string text, std::string_view part) {
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at))
        text.erase(at, part.size());
    return text;
}

} // namespace

std::vector<Library::Entry> Library::systemVideos() const {
    namespace fs = std::filesystem;
    const std::string folder = m_host->systemPath(wallpapersFolder);

    std::vector<std::string> relative;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::string path = it->path().lexically_relative(folder).string();
        std::error_code typeError;
        if (path.ends_with(".mov") && path.find("Portrait") == std::string::npos &&
            it->is_regular_file(typeError))
            relative.push_back(std::move(path));
    }
    std::sort(relative.begin(), relative.end());

    std::vector<Entry> entries;
    entries.reserve(relative.size());
    for (const auto& path : relative) {
        const fs::path p(path);
        const std::string base = p.stem().string();
        Entry entry;
        entry.id = upperCased(base);
        entry.name = withoutAll(base, " Landscape");
        entry.location = p.begin()->string();
        entry.category = "System";
        entry.fileURL = Url::fromFilePath(folder + "/" + path);
        entry.stretches = true;
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace drovane
