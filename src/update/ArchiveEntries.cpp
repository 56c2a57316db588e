#include "update/ArchiveEntries.h"

#include <string_view>

namespace drovane {

namespace {

// Why `path` cannot name a place inside the staging folder's bundle; nothing when it can.
std::optional<std::string> refusedPath(std::string_view path) {
    if (path.empty()) {
        return "an entry without a name";
    }
    if (path.front() == '/') {
        return "an absolute path: " + std::string(path);
    }
    if (path.find('\0') != std::string_view::npos) {
        return "a name holding a NUL";
    }
    // A folder's entry may end in one "/".
    std::string_view rest = path.ends_with('/') ? path.substr(0, path.size() - 1) : path;
    bool first = true;
    while (true) {
        const auto slash = rest.find('/');
        const std::string_view component = rest.substr(0, slash);
        if (component.empty() || component == "." || component == "..") {
            return "a path with an empty, \".\" or \"..\" component: " + std::string(path);
        }
        if (first && component != ArchiveLimits::topLevelName) {
            return "something besides " + std::string(ArchiveLimits::topLevelName) +
                   " at the top: " + std::string(path);
        }
        first = false;
        if (slash == std::string_view::npos) {
            return std::nullopt;
        }
        rest.remove_prefix(slash + 1);
    }
}

} // namespace

std::string moreThan(std::uint64_t bytes, const std::string& what) {
    std::string amount = std::to_string(bytes) + " bytes";
    if (bytes != 0 && bytes % (std::uint64_t{1} << 30) == 0) {
        amount = std::to_string(bytes >> 30) + " GiB";
    } else if (bytes != 0 && bytes % (std::uint64_t{1} << 20) == 0) {
        amount = std::to_string(bytes >> 20) + " MiB";
    }
    return "more than " + amount + " " + what;
}

std::optional<std::string> refusedArchive(const std::vector<ArchiveEntry>& entries,
                                          std::uint64_t maxUnpackedBytes) {
    if (entries.size() > ArchiveLimits::maxEntries) {
        return "more than " + std::to_string(ArchiveLimits::maxEntries) + " entries";
    }
    std::uint64_t total = 0;
    for (const ArchiveEntry& entry : entries) {
        if (auto why = refusedPath(entry.path)) {
            return why;
        }
        switch (entry.type) {
        case ArchiveEntry::Type::RegularFile:
        case ArchiveEntry::Type::Folder:
            break;
        case ArchiveEntry::Type::SymbolicLink:
        case ArchiveEntry::Type::HardLink:
            return "a link: " + entry.path;
        case ArchiveEntry::Type::Other:
            return "a device, FIFO or socket: " + entry.path;
        }
        if (entry.size > maxUnpackedBytes - total) {
            return moreThan(maxUnpackedBytes, "announced");
        }
        total += entry.size;
    }
    if (entries.empty()) {
        return "an empty archive";
    }
    return std::nullopt;
}

} // namespace drovane
