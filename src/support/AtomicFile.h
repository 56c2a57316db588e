#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace drovane {

// How the last step of an atomic write puts the file in place; rename(2) unless a test
// needs to simulate a crash before it.
using RenameFunction = std::function<int(const char* from, const char* to)>;

// Writes `bytes` to `path` so that readers see either the old file or the whole new one:
// a temporary file beside it, fsync, rename, fsync of the folder. An error text on failure
// (the temporary file is removed, the old file untouched).
std::optional<std::string> writeFileAtomically(const std::string& path, std::string_view bytes,
                                               const RenameFunction& rename = {});

// Removes the temporary files beside `path` of writes to it that never reached their rename
// (the process was killed or crashed): they would otherwise pile up, one a crash. Only while
// nothing else writes to `path`.
void removeUnfinishedWrites(const std::string& path);

// Moves the file `from` to `to` within one file system, failing (and leaving both alone) when
// `to` exists already; the move is made durable. An error text on failure.
std::optional<std::string> moveFileWithoutReplacing(const std::string& from, const std::string& to);

} // namespace drovane
