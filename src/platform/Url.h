#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace drovane {

// A parsed, valid URI reference (RFC 3986). Immutable; derived addresses are new values.
// Path accessors give percent-decoded text, as file-system code expects.
class Url {
public:
    struct QueryItem {
        std::string name;
        std::optional<std::string> value;
        friend bool operator==(const QueryItem&, const QueryItem&) = default;
    };

    // Nothing when `text` is not a valid URI reference (absolute or relative).
    static std::optional<Url> parse(std::string_view text);
    // The file URL of an absolute file-system path ("file:///a%20b/c.mov" for "/a b/c.mov").
    static Url fromFilePath(const std::string& absolutePath);

    const std::string& string() const { return m_text; }

    const std::string& scheme() const { return m_scheme; }
    const std::string& host() const { return m_host; }
    // The percent-decoded path ("" when the URL has none).
    std::string path() const;
    // The last non-empty path segment, decoded; "/" for a root path, "" for no path.
    std::string lastPathComponent() const;
    // The extension of the last path component without the dot ("" when none).
    std::string pathExtension() const;
    // The same URL with the last path component's extension (and its dot) removed.
    Url deletingPathExtension() const;
    // The same URL with `component` (unencoded text) appended to the path as one segment.
    Url appendingPathComponent(std::string_view component) const;
    // The same scheme and authority with the given (unencoded) absolute path and no query.
    Url withPath(std::string_view absolutePath) const;

    bool isFileUrl() const { return m_scheme == "file"; }
    // The decoded file-system path of a file URL; nothing for other URLs.
    std::optional<std::string> filePath() const;

    // The query split into items, names and values percent-decoded ('+' stays '+').
    std::vector<QueryItem> queryItems() const;
    // The same URL with its query replaced by the given items, each percent-encoded so
    // that only unreserved characters stay literal.
    Url withQueryItems(const std::vector<QueryItem>& items) const;

    friend bool operator==(const Url& a, const Url& b) { return a.m_text == b.m_text; }
    friend bool operator<(const Url& a, const Url& b) { return a.m_text < b.m_text; }

private:
    Url() = default;
    std::string prefixBeforePath() const;
    // This URL with another path, still percent-encoded; the query and fragment stay. Itself
    // when the result would not parse.
    Url withRawPath(const std::string& rawPath) const;

    std::string m_text;
    std::string m_scheme;
    std::string m_authority; // userinfo@host:port as written
    std::string m_host;
    std::string m_rawPath;  // as written, still percent-encoded
    std::string m_rawQuery; // without '?'
    bool m_hasQuery = false;
    std::string m_rawFragment;
    bool m_hasFragment = false;
};

// Percent-encodes every byte except the unreserved characters of RFC 3986.
std::string percentEncode(std::string_view text, std::string_view alsoKeep = {});
// Decodes %XX escapes; malformed escapes are kept as written.
std::string percentDecode(std::string_view text);

} // namespace drovane
