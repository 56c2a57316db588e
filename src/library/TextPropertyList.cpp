#include "library/TextPropertyList.h"

#include "library/Utf8.h"
#include "support/PropertyList.h"
#include "support/XmlPropertyList.h"

namespace drovane {

namespace {

constexpr int maxDepth = 512;
constexpr char32_t replacementCharacter = 0xFFFD;

bool isHighSurrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool isLowSurrogate(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

std::optional<std::string> decodeUtf16(std::string_view bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    std::string out;
    out.reserve(bytes.size());
    auto unit = [&](std::size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (char32_t{a} << 8 | b) : (char32_t{b} << 8 | a);
    };
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        char32_t u = unit(i);
        if (isHighSurrogate(u)) {
            if (i + 2 >= bytes.size() || !isLowSurrogate(unit(i + 2)))
                return std::nullopt;
            u = 0x10000 + ((u - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (isLowSurrogate(u)) {
            return std::nullopt;
        }
        appendUtf8(u, out);
    }
    return out;
}

// A recursive-descent reader over the UTF-8 text, in the grammar CoreFoundation accepts.
class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    std::optional<Value> document() {
        skipSpaceAndComments();
        if (atEnd())
            return Value(Value::Dictionary{});
        if (auto value = readValue(0)) {
            skipSpaceAndComments();
            if (atEnd() && m_ok)
                return value;
        }
        // Not a single value: the body of a dictionary, as in a ".strings" file.
        m_pos = 0;
        m_ok = true;
        Value::Dictionary dict;
        if (!readDictionaryBody(dict, 0, false))
            return std::nullopt;
        return std::make_optional<Value>(std::move(dict));
    }

private:
    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek() const { return m_text[m_pos]; }

    void skipSpaceAndComments() {
        while (!atEnd()) {
            const char c = peek();
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                ++m_pos;
            } else if (m_text.substr(m_pos, 2) == "/*") {
                const auto end = m_text.find("*/", m_pos + 2);
                if (end == std::string_view::npos) {
                    m_ok = false; // an unterminated comment hides the rest of the file
                    m_pos = m_text.size();
                    return;
                }
                m_pos = end + 2;
            } else if (m_text.substr(m_pos, 2) == "//") {
                const auto end = m_text.find_first_of("\n\r", m_pos + 2);
                m_pos = end == std::string_view::npos ? m_text.size() : end;
            } else {
                return;
            }
        }
    }

    static bool isUnquotedCharacter(char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '$' || c == '/' || c == ':' || c == '.' || c == '-';
    }

    std::optional<Value> readValue(int depth) {
        if (depth > maxDepth)
            return std::nullopt;
        skipSpaceAndComments();
        if (atEnd())
            return std::nullopt;
        switch (peek()) {
        case '{': {
            ++m_pos;
            Value::Dictionary dict;
            if (!readDictionaryBody(dict, depth, true))
                return std::nullopt;
            // Made in place: moving a temporary Value into the optional leaves GCC unsure which
            // alternative it holds (-Wmaybe-uninitialized at -O3).
            return std::optional<Value>(std::in_place, std::move(dict));
        }
        case '(':
            ++m_pos;
            return readArray(depth);
        case '<':
            ++m_pos;
            return readData();
        default:
            if (auto s = readString())
                return Value(std::move(*s));
            return std::nullopt;
        }
    }

    // Pairs up to the closing brace (braced) or the end of the text.
    bool readDictionaryBody(Value::Dictionary& dict, int depth, bool braced) {
        while (true) {
            skipSpaceAndComments();
            if (!m_ok)
                return false;
            if (atEnd())
                return !braced;
            if (braced && peek() == '}') {
                ++m_pos;
                return true;
            }
            auto key = readString();
            if (!key)
                return false;
            skipSpaceAndComments();
            if (atEnd())
                return false;
            if (peek() == ';') {
                // The ".strings" shorthand: a key alone stands for itself.
                ++m_pos;
                std::string value = *key;
                dict.insert_or_assign(std::move(*key), Value(std::move(value)));
                continue;
            }
            if (peek() != '=')
                return false;
            ++m_pos;
            auto value = readValue(depth + 1);
            if (!value)
                return false;
            skipSpaceAndComments();
            if (atEnd() || peek() != ';')
                return false;
            ++m_pos;
            dict.insert_or_assign(std::move(*key), std::move(*value));
        }
    }

    std::optional<Value> readArray(int depth) {
        Value::Array items;
        while (true) {
            skipSpaceAndComments();
            if (atEnd())
                return std::nullopt;
            if (peek() == ')') {
                ++m_pos;
                return Value(std::move(items));
            }
            auto item = readValue(depth + 1);
            if (!item)
                return std::nullopt;
            items.push_back(std::move(*item));
            skipSpaceAndComments();
            if (atEnd())
                return std::nullopt;
            if (peek() == ',') {
                ++m_pos;
            } else if (peek() != ')') {
                return std::nullopt;
            }
        }
    }

    static int hexValue(char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    std::optional<Value> readData() {
        Value::Data data;
        int high = -1;
        while (true) {
            skipSpaceAndComments();
            if (atEnd())
                return std::nullopt;
            const char c = m_text[m_pos++];
            if (c == '>')
                break;
            const int v = hexValue(c);
            if (v < 0)
                return std::nullopt;
            if (high < 0) {
                high = v;
            } else {
                data.push_back(static_cast<std::uint8_t>(high << 4 | v));
                high = -1;
            }
        }
        if (high >= 0)
            return std::nullopt; // an odd number of digits
        return Value(std::move(data));
    }

    std::optional<std::string> readString() {
        if (atEnd())
            return std::nullopt;
        const char c = peek();
        if (c == '"' || c == '\'') {
            ++m_pos;
            return readQuoted(c);
        }
        const std::size_t start = m_pos;
        while (!atEnd() && isUnquotedCharacter(peek()))
            ++m_pos;
        if (m_pos == start)
            return std::nullopt;
        return std::string(m_text.substr(start, m_pos - start));
    }

    std::optional<std::string> readQuoted(char quote) {
        std::string out;
        char32_t pendingHigh = 0; // a high surrogate from a \U escape, waiting for its partner
        auto flushPending = [&] {
            if (pendingHigh) {
                appendUtf8(replacementCharacter, out);
                pendingHigh = 0;
            }
        };
        while (!atEnd()) {
            const char c = m_text[m_pos++];
            if (c == quote) {
                flushPending();
                return out;
            }
            if (c != '\\') {
                flushPending();
                out.push_back(c);
                continue;
            }
            if (atEnd())
                return std::nullopt;
            const char e = m_text[m_pos++];
            if (e == 'U') {
                char32_t u = 0;
                int digits = 0;
                while (digits < 4 && !atEnd() && hexValue(peek()) >= 0) {
                    u = u << 4 | static_cast<char32_t>(hexValue(peek()));
                    ++m_pos;
                    ++digits;
                }
                if (digits == 0) {
                    flushPending();
                    out.push_back('U');
                } else if (isHighSurrogate(u)) {
                    flushPending();
                    pendingHigh = u;
                } else if (isLowSurrogate(u)) {
                    if (pendingHigh) {
                        appendUtf8(0x10000 + ((pendingHigh - 0xD800) << 10) + (u - 0xDC00), out);
                        pendingHigh = 0;
                    } else {
                        appendUtf8(replacementCharacter, out);
                    }
                } else {
                    flushPending();
                    appendUtf8(u, out);
                }
                continue;
            }
            flushPending();
            if (e >= '0' && e <= '7') {
                char32_t v = static_cast<char32_t>(e - '0');
                for (int k = 0; k < 2 && !atEnd() && peek() >= '0' && peek() <= '7'; ++k)
                    v = v << 3 | static_cast<char32_t>(m_text[m_pos++] - '0');
                appendUtf8(v, out); // up to \377: read as a Latin-1 code point
                continue;
            }
            switch (e) {
            case 'a':
                out.push_back('\a');
                break;
            case 'b':
                out.push_back('\b');
                break;
            case 'f':
                out.push_back('\f');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'v':
                out.push_back('\v');
                break;
            default:
                out.push_back(e); // \" \' \\ and any other character stand for themselves
                break;
            }
        }
        return std::nullopt; // unterminated
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

} // namespace

std::optional<std::string> decodePropertyListText(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xFE"))
        return decodeUtf16(bytes.substr(2), false);
    if (bytes.starts_with("\xFE\xFF"))
        return decodeUtf16(bytes.substr(2), true);
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    if (!isValidUtf8(bytes))
        return std::nullopt;
    return std::string(bytes);
}

std::optional<Value> readTextPropertyList(std::string_view text) {
    return Reader(text).document();
}

std::optional<Value> readAnyPropertyList(std::string_view bytes) {
    if (bytes.starts_with("bplist"))
        return readPropertyList(bytes);
    auto text = decodePropertyListText(bytes);
    if (!text)
        return std::nullopt;
    const auto first = text->find_first_not_of(" \t\r\n");
    if (first != std::string::npos) {
        const std::string_view head = std::string_view(*text).substr(first);
        if (head.starts_with("<?xml") || head.starts_with("<!DOCTYPE") || head.starts_with("<plist"))
            return readXmlPropertyList(*text);
    }
    return readTextPropertyList(*text);
}

} // namespace drovane
