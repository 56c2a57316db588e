#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace drovane {

// The most readWholeFile() reads unless told otherwise: far beyond any settings file, manifest
// or name table, so a larger file is not one of them.
inline constexpr std::size_t defaultReadLimit = std::size_t{256} << 20;

// The bytes of a regular file, refusing one larger than `maxBytes`; nothing when it cannot be
// read. Never blocks on a FIFO or a device: anything but a regular file gives nothing.
std::optional<std::string> readWholeFile(const std::string& path, std::size_t maxBytes = defaultReadLimit);

// `folder` and `component` with exactly one separator between them.
std::string joinPath(std::string_view folder, std::string_view component);

struct FolderEntry {
    std::string name;
    // A regular file, or a link to one; FIFOs, sockets, devices and folders are not.
    bool isRegularFile = false;
    friend bool operator==(const FolderEntry&, const FolderEntry&) = default;
};

// The entries directly inside `folder`, in the order the file system lists them; empty when it
// cannot be read.
std::vector<FolderEntry> listFolder(const std::string& folder);

} // namespace drovane
