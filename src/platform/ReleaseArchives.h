#pragma once

#include <optional>
#include <string>

namespace drovane {

// What installing an update needs of the machine besides files and processes: unpacking the
// release archive safely and checking that the bundle in it is the maker's.
class ReleaseArchives {
public:
    virtual ~ReleaseArchives() = default;

    // Unpacks the zip archive at `archive` into the existing folder `folder`, after checking
    // every entry's header (nothing is written when one is refused) and counting what really
    // arrives against the limits. Why it failed, or nothing. Any thread.
    virtual std::optional<std::string> unpack(const std::string& archive, const std::string& folder) = 0;
    // Why the bundle at `bundle` is not signed by the maker: every regular file must be listed
    // with its SHA-256 in "Contents/_CodeSignature/CodeResources", nothing else may be there,
    // and that list must carry the maker's signature. Nothing when it is. Any thread.
    virtual std::optional<std::string> verify(const std::string& bundle) = 0;
};

} // namespace drovane
