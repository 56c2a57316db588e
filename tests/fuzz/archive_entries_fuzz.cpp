// The update archive's entry checks over arbitrary entry lists (one per line: a type letter,
// then the path): never crashes, and whatever is accepted stays inside "Drovane.app" as plain
// files and folders, checked here without the checker's own walk.

#include "update/ArchiveEntries.h"

#include <cstdlib>
#include <string_view>

using namespace drovane;

namespace {

ArchiveEntry::Type typeOf(char letter) {
    switch (letter) {
    case 'd':
        return ArchiveEntry::Type::Folder;
    case 'l':
        return ArchiveEntry::Type::SymbolicLink;
    case 'h':
        return ArchiveEntry::Type::HardLink;
    case 'o':
        return ArchiveEntry::Type::Other;
    default:
        return ArchiveEntry::Type::RegularFile;
    }
}

bool staysInside(const std::string& path) {
    const std::string padded = "/" + path + "/";
    return (path == "Drovane.app" || path.starts_with("Drovane.app/")) &&
           padded.find("/../") == std::string::npos && padded.find("/./") == std::string::npos &&
           path.find("//") == std::string::npos && path.find('\0') == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<ArchiveEntry> entries;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    while (!text.empty()) {
        const auto end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        if (!line.empty()) {
            entries.push_back(
                {std::string(line.substr(1)), typeOf(line[0]), std::uint64_t{line.size()} << 24});
        }
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    if (refusedArchive(entries)) {
        return 0;
    }
    for (const ArchiveEntry& entry : entries) {
        const bool plain =
            entry.type == ArchiveEntry::Type::RegularFile || entry.type == ArchiveEntry::Type::Folder;
        if (!plain || !staysInside(entry.path)) {
            std::abort();
        }
    }
    return 0;
}
