#pragma once

#include "platform/Url.h"
#include "platform/Value.h"

#include <optional>
#include <string>
#include <vector>

namespace drovane {

struct OperatingSystemVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;
    friend bool operator==(const OperatingSystemVersion&, const OperatingSystemVersion&) = default;
};

// The process and the machine it runs on. All methods: any thread; values do not change
// while the process runs unless said otherwise.
class Host {
public:
    virtual ~Host() = default;

    // The user's home folder, an absolute path without a trailing separator.
    virtual std::string homeDirectory() const = 0;
    // The program's own folders, absolute, which need not exist yet: its settings, its caches
    // (thumbnails), and the folder for its single-instance lock (one that lives no longer than
    // the user's session where the system has one).
    virtual std::string settingsDirectory() const = 0;
    virtual std::string cacheDirectory() const = 0;
    virtual std::string lockDirectory() const = 0;
    // The process's command line, the program path first.
    virtual std::vector<std::string> arguments() const = 0;
    // An environment variable of the process; nothing when unset.
    virtual std::optional<std::string> environment(const std::string& name) const = 0;
    // The folder for temporary files.
    virtual std::string temporaryDirectory() const = 0;
    virtual int processId() const = 0;

    // The application bundle's identifier; nothing when running as a bare executable.
    virtual std::optional<std::string> bundleIdentifier() const = 0;
    // The bundle's information dictionary (empty for a bare executable).
    virtual Value::Dictionary infoDictionary() const = 0;
    // The bundle folder; nothing for a bare executable.
    virtual std::optional<Url> bundleUrl() const = 0;

    // The operating system's version, always as three numbers.
    virtual OperatingSystemVersion operatingSystemVersion() const = 0;
    // The machine's model name; empty when the machine gives none.
    virtual std::string hardwareModel() const = 0;

    // Absolute system paths ("/System/Library/...") are looked up below this root: "" on a
    // real machine, a temporary tree in tests. The result of systemPath() is a real path.
    virtual std::string systemRoot() const = 0;
    std::string systemPath(const std::string& absolutePath) const { return systemRoot() + absolutePath; }
};

} // namespace drovane
