// The update archive's entry checks over arbitrary entry lists (one per line: a type letter,
// then the path, or then a decimal size, a tab and the path): never crashes, and whatever is
// accepted stays inside "Drovane.app" as plain files and folders within the limits of count
// and size, checked here without the checker's own walk.

#include "FuzzCheck.h"
#include "update/ArchiveEntries.h"

#include <charconv>
#include <cstdlib>
#include <limits>
#include <string_view>

using namespace drovane;

namespace {

ArchiveEntry::Type typeOf(char letter) {
    using Type = ArchiveEntry::Type;
    return letter == 'd'   ? Type::Folder
           : letter == 'l' ? Type::SymbolicLink
           : letter == 'h' ? Type::HardLink
           : letter == 'o' ? Type::Other
                           : Type::RegularFile;
}

bool staysInside(const std::string& path) {
    const std::string padded = "/" + path + "/";
    return (path == "Drovane.app" || path.starts_with("Drovane.app/")) &&
           padded.find("/../") == std::string::npos && padded.find("/./") == std::string::npos &&
           path.find("//") == std::string::npos && path.find('\0') == std::string::npos;
}

// Without a size the line's length stands for one, so that sizes add up quickly.
ArchiveEntry entryOf(std::string_view line) {
    std::string_view path = line.substr(1);
    std::uint64_t size = std::uint64_t{line.size()} << 24;
    if (const auto tab = path.find('\t'); tab != std::string_view::npos) {
        const std::string_view digits = path.substr(0, tab);
        std::uint64_t announced = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), announced);
        if (error != std::errc::invalid_argument && end == digits.data() + digits.size() && !digits.empty()) {
            size = error == std::errc() ? announced : std::numeric_limits<std::uint64_t>::max();
            path.remove_prefix(tab + 1);
        }
    }
    return {std::string(path), typeOf(line[0]), size};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<ArchiveEntry> entries;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    while (!text.empty()) {
        const auto end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        if (!line.empty()) {
            entries.push_back(entryOf(line));
        }
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    if (refusedArchive(entries)) {
        return 0;
    }
    require(!entries.empty() && entries.size() <= ArchiveLimits::maxEntries);
    unsigned __int128 total = 0;
    for (const ArchiveEntry& entry : entries) {
        total += entry.size;
    }
    require(total <= ArchiveLimits::maxUnpackedBytes);
    for (const ArchiveEntry& entry : entries) {
        const bool plain =
            entry.type == ArchiveEntry::Type::RegularFile || entry.type == ArchiveEntry::Type::Folder;
        require(plain && staysInside(entry.path));
    }
    return 0;
}
