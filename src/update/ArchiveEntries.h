#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace drovane {

// One entry of an update archive as its header describes it, before anything is written.
struct ArchiveEntry {
    enum class Type { RegularFile, Folder, SymbolicLink, HardLink, Other };
    std::string path;
    Type type = Type::RegularFile;
    // The size the header announces; unpacking must still count what really arrives.
    std::uint64_t size = 0;
};

// What an update archive may hold: only the application bundle, as plain files and folders.
struct ArchiveLimits {
    static constexpr std::size_t maxEntries = 20'000;
    static constexpr std::uint64_t maxUnpackedBytes = std::uint64_t{2} << 30;
    static constexpr const char* topLevelName = "Drovane.app";
    // The one file of the bundle that is unpacked executable.
    static constexpr const char* programInBundle = "Contents/MacOS/drovane";
    // The archive's own download stops here: it holds no more than may be unpacked from it.
    static constexpr std::uint64_t maxArchiveBytes = maxUnpackedBytes;
};

// Why an archive with these entries must not be unpacked, or nothing when it may be: an
// absolute path, an empty, "." or ".." component, a link, a device or FIFO, more than
// `maxEntries` entries or `maxUnpackedBytes` announced, or anything outside "Drovane.app".
// Tests lower `maxUnpackedBytes`; the program keeps the limit above.
std::optional<std::string> refusedArchive(const std::vector<ArchiveEntry>& entries,
                                          std::uint64_t maxUnpackedBytes = ArchiveLimits::maxUnpackedBytes);

// "more than 2 GiB " (in GiB, MiB or bytes, whichever is whole) and `what`, as a reason.
std::string moreThan(std::uint64_t bytes, const std::string& what);

} // namespace drovane
