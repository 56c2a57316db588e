#include "platform/Url.h"

#include <cctype>
#include <uriparser/Uri.h>

namespace drovane {

namespace {

std::string rangeText(const UriTextRangeA& range) {
    if (!range.first || !range.afterLast) {
        return {};
    }
    return std::string(range.first, range.afterLast);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Whether text[at] starts a %XX escape, as percentDecode() reads one.
bool isEscape(std::string_view text, std::size_t at) {
    return text[at] == '%' && at + 2 < text.size() && hexValue(text[at + 1]) >= 0 &&
           hexValue(text[at + 2]) >= 0;
}

bool isUnreserved(unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

} // namespace

std::string percentEncode(std::string_view text, std::string_view alsoKeep) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (isUnreserved(c) || alsoKeep.find(static_cast<char>(c)) != std::string_view::npos) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0xF]);
        }
    }
    return out;
}

std::string percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isEscape(text, i)) {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::optional<Url> Url::parse(std::string_view text) {
    const std::string owned(text);
    UriUriA uri;
    const char* errorPos = nullptr;
    if (uriParseSingleUriExA(&uri, owned.data(), owned.data() + owned.size(), &errorPos) != URI_SUCCESS) {
        return std::nullopt;
    }
    Url url;
    url.m_text = owned;
    url.m_scheme = rangeText(uri.scheme);
    url.m_host = rangeText(uri.hostText);
    uriFreeUriMembersA(&uri);

    // uriparser has validated the text; split it by the grammar of RFC 3986, appendix B.
    std::string_view rest = url.m_text;
    if (!url.m_scheme.empty()) {
        rest.remove_prefix(url.m_scheme.size() + 1);
    }
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        auto end = rest.find_first_of("/?#");
        url.m_authority = std::string(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    }
    auto pathEnd = rest.find_first_of("?#");
    url.m_rawPath = std::string(rest.substr(0, pathEnd));
    rest.remove_prefix(pathEnd == std::string_view::npos ? rest.size() : pathEnd);
    if (rest.starts_with("?")) {
        auto queryEnd = rest.find('#');
        url.m_hasQuery = true;
        url.m_rawQuery = std::string(
            rest.substr(1, queryEnd == std::string_view::npos ? std::string_view::npos : queryEnd - 1));
        rest.remove_prefix(queryEnd == std::string_view::npos ? rest.size() : queryEnd);
    }
    if (rest.starts_with("#")) {
        url.m_hasFragment = true;
        url.m_rawFragment = std::string(rest.substr(1));
    }
    return url;
}

Url Url::fromFilePath(const std::string& absolutePath) {
    std::string text = "file://" + percentEncode(absolutePath, "/!$&'()*+,;=:@");
    auto url = parse(text);
    // Every byte outside the path grammar is escaped above, so this cannot fail.
    return url ? *url : Url{};
}

std::string Url::path() const {
    return percentDecode(m_rawPath);
}

std::string Url::lastPathComponent() const {
    std::string p = path();
    if (p.empty()) {
        return {};
    }
    while (p.size() > 1 && p.back() == '/') {
        p.pop_back();
    }
    if (p == "/") {
        return p;
    }
    auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string Url::pathExtension() const {
    std::string last = lastPathComponent();
    auto dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == last.size()) {
        return {};
    }
    return last.substr(dot + 1);
}

std::string Url::prefixBeforePath() const {
    std::string prefix;
    if (!m_scheme.empty()) {
        prefix = m_scheme + ":";
    }
    if (std::string_view(m_text).substr(prefix.size()).starts_with("//")) {
        prefix += "//" + m_authority;
    }
    return prefix;
}

Url Url::deletingPathExtension() const {
    if (pathExtension().empty()) {
        return *this;
    }
    // The dot that pathExtension() found, in the raw text: walked as percentDecode() walks it,
    // since an escaped dot ("%2E") or slash ("%2F") counts as one.
    std::vector<std::size_t> rawAt; // where each decoded character starts
    std::string decoded;
    for (std::size_t i = 0; i < m_rawPath.size(); ++i) {
        rawAt.push_back(i);
        if (isEscape(m_rawPath, i)) {
            decoded.push_back(
                static_cast<char>(hexValue(m_rawPath[i + 1]) * 16 + hexValue(m_rawPath[i + 2])));
            i += 2;
        } else {
            decoded.push_back(m_rawPath[i]);
        }
    }
    std::size_t end = decoded.size();
    while (end > 1 && decoded[end - 1] == '/') {
        --end;
    }
    const auto dot = decoded.rfind('.', end - 1);
    return withRawPath(m_rawPath.substr(0, rawAt[dot]));
}

Url Url::appendingPathComponent(std::string_view component) const {
    std::string raw = m_rawPath;
    if (raw.empty() || raw.back() != '/') {
        raw.push_back('/');
    }
    raw += percentEncode(component, "!$&'()*+,;=:@");
    return withRawPath(raw);
}

Url Url::withRawPath(const std::string& rawPath) const {
    std::string text = prefixBeforePath() + rawPath;
    if (m_hasQuery)
        text += "?" + m_rawQuery;
    if (m_hasFragment) {
        text += '#';
        text += m_rawFragment;
    }
    auto url = parse(text);
    return url ? *url : *this;
}

Url Url::withPath(std::string_view absolutePath) const {
    std::string text = prefixBeforePath() + percentEncode(absolutePath, "/!$&'()*+,;=:@");
    auto url = parse(text);
    return url ? *url : *this;
}

std::optional<std::string> Url::filePath() const {
    if (!isFileUrl()) {
        return std::nullopt;
    }
    return path();
}

std::vector<Url::QueryItem> Url::queryItems() const {
    std::vector<QueryItem> items;
    if (!m_hasQuery || m_rawQuery.empty()) {
        return items;
    }
    std::string_view rest = m_rawQuery;
    while (true) {
        auto amp = rest.find('&');
        std::string_view piece = rest.substr(0, amp);
        auto eq = piece.find('=');
        QueryItem item;
        item.name = percentDecode(piece.substr(0, eq));
        if (eq != std::string_view::npos) {
            item.value = percentDecode(piece.substr(eq + 1));
        }
        items.push_back(std::move(item));
        if (amp == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(amp + 1);
    }
    return items;
}

Url Url::withQueryItems(const std::vector<QueryItem>& items) const {
    std::string text = prefixBeforePath() + m_rawPath;
    if (!items.empty()) {
        text += "?";
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i > 0)
                text += "&";
            text += percentEncode(items[i].name);
            if (items[i].value) {
                text += '=';
                text += percentEncode(*items[i].value);
            }
        }
    }
    if (m_hasFragment) {
        text += '#';
        text += m_rawFragment;
    }
    auto url = parse(text);
    return url ? *url : *this;
}

} // namespace drovane
