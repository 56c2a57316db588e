// Addresses from outside over arbitrary text: a film link handed to the program, a manifest's
// or feed's address, the site root from the environment, a film file's path. The input's first
// line is the address; the rest is a piece of text the program joins to addresses (a film
// identifier, a file name, a query value). Never crashes; an address keeps its text through a
// parse, the parts the program reads agree with each other, and what the program derives from
// an address stays where it belongs (a link's film inside the video folder, a preview picture
// inside "/preview/" on the site).

#include "FuzzCheck.h"
#include "app/FilmLink.h"
#include "fakes/FakePlatform.h"
#include "library/Library.h"
#include "platform/Url.h"
#include "support/CaseMapping.h"
#include "support/Settings.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>

using namespace drovane;

namespace {

// The parts of an address that anything reads.
void requireSameReading(const Url& a, const Url& b) {
    require(a.string() == b.string() && a.scheme() == b.scheme() && a.host() == b.host() &&
            a.path() == b.path() && a.lastPathComponent() == b.lastPathComponent() &&
            a.queryItems() == b.queryItems());
}

void checkAddress(const Url& url, std::string_view piece) {
    const auto again = Url::parse(url.string());
    require(again.has_value());
    requireSameReading(url, *again);

    const std::string last = url.lastPathComponent();
    require(last.empty() == url.path().empty());
    require(last == "/" || last.find('/') == std::string::npos);

    const std::string extension = url.pathExtension();
    require(extension.find('.') == std::string::npos);
    const Url stripped = url.deletingPathExtension();
    require(stripped.scheme() == url.scheme() && stripped.host() == url.host());
    if (!extension.empty()) {
        require(last.ends_with("." + extension));
        require(stripped.lastPathComponent() == last.substr(0, last.size() - extension.size() - 1));
        require(stripped.queryItems() == url.queryItems());
    } else {
        require(stripped == url);
    }

    // A file or identifier joined as one segment is that segment, whatever it holds.
    const std::string component(piece);
    const Url joined = url.appendingPathComponent(component);
    require(joined.scheme() == url.scheme() && joined.host() == url.host());
    if (!component.empty() && component.find('/') == std::string::npos) {
        require(joined.lastPathComponent() == component);
    }

    // Query items as the feedback address writes them read back as they were.
    std::vector<Url::QueryItem> items = url.queryItems();
    items.push_back({component, component});
    const Url queried = url.withQueryItems(items);
    require(queried.queryItems() == items);
    require(queried.lastPathComponent() == last);

    // A film link reaches a file of the video folder and nothing else.
    if (const auto id = filmLinkIdentifier(url)) {
        const std::filesystem::path folder = "/videos";
        const std::filesystem::path file = folder / (upperCased(*id) + ".mov");
        require(file.parent_path() == folder && file.filename().string() == upperCased(*id) + ".mov");
        require(file.string().find('\0') == std::string::npos);
    }
}

// A film file's path (the video folder lists any name) through its file URL.
void checkFilePath(std::string_view name) {
    const std::string path = "/videos/" + std::string(name);
    const Url file = Url::fromFilePath(path);
    require(file.isFileUrl() && file.filePath() == path);
    const auto again = Url::parse(file.string());
    require(again.has_value());
    requireSameReading(file, *again);
    if (!name.empty() && name.find('/') == std::string_view::npos) {
        require(file.lastPathComponent() == name);
        const std::string extension = file.pathExtension();
        if (!extension.empty()) {
            require(file.deletingPathExtension().filePath() ==
                    path.substr(0, path.size() - extension.size() - 1));
        }
    }
}

// The site's own addresses are fixed by the first read: that is the build's root here, so
// that an input's outcome does not hang on the inputs before it.
fakes::FakePlatform& fakePlatform() {
    static fakes::FakePlatform fake;
    static const Url site = Settings::siteURL();
    (void)site;
    return fake;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto newline = text.find('\n');
    const std::string_view address = text.substr(0, newline);
    const std::string_view piece =
        newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);

    if (const auto url = Url::parse(address)) {
        require(url->string() == address);
        checkAddress(*url, piece);
    }
    checkFilePath(piece);

    // The site root as the environment may give it: always an address with a scheme and a
    // host, and the program's own addresses on it stay on it.
    fakes::FakePlatform& fake = fakePlatform();
    fake.host->env["DROVANE_SITE_URL"] = std::string(address);
    const Url root = Settings::detail::siteRoot(*fake.host, *fake.log);
    fake.log->clear();
    require(!root.scheme().empty() && !root.host().empty());
    const Url download = root.withPath("/download/");
    require(download.host() == root.host() && download.path() == "/download/");

    // A manifest's identifier in the site's preview address: one segment below "/preview/".
    const std::string id(piece);
    const Url preview = Settings::previewURL(id);
    const std::string prefix = Settings::siteURL().string() + "/preview/";
    require(preview.string().starts_with(prefix));
    const std::string segment = preview.string().substr(prefix.size());
    require(segment.find_first_of("/?#") == std::string::npos && segment != "." && segment != "..");
    if (id.find('/') == std::string::npos)
        require(preview.lastPathComponent() == id + ".webp");
    return 0;
}
