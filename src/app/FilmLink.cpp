#include "app/FilmLink.h"

#include "library/Library.h"

namespace drovane {

std::optional<std::string> filmLinkIdentifier(const Url& url) {
    if (url.scheme() != "drovane" || url.host() != "film") {
        return std::nullopt;
    }
    std::string id = url.lastPathComponent();
    if (!Library::namesAFile(id)) {
        return std::nullopt;
    }
    return id;
}

} // namespace drovane
