#include "support/XmlPropertyList.h"

#include "support/Text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace drovane {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms).
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

constexpr Civil civilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp + (mp < 10 ? 3 : -9);
    return {y + (m <= 2), m, d};
}

constexpr std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

void appendEscaped(std::string& out, std::string_view text) {
    for (unsigned char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            if (c < 0x20 && c != '\t' && c != '\n') {
                out += "&#" + std::to_string(c) + ";";
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
    }
}

constexpr char base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encode(const Value::Data& data) {
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        std::uint32_t n = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        out += base64Alphabet[(n >> 18) & 63];
        out += base64Alphabet[(n >> 12) & 63];
        out += base64Alphabet[(n >> 6) & 63];
        out += base64Alphabet[n & 63];
    }
    if (i + 1 == data.size()) {
        std::uint32_t n = data[i] << 16;
        out += base64Alphabet[(n >> 18) & 63];
        out += base64Alphabet[(n >> 12) & 63];
        out += "==";
    } else if (i + 2 == data.size()) {
        std::uint32_t n = (data[i] << 16) | (data[i + 1] << 8);
        out += base64Alphabet[(n >> 18) & 63];
        out += base64Alphabet[(n >> 12) & 63];
        out += base64Alphabet[(n >> 6) & 63];
        out += '=';
    }
    return out;
}

std::optional<Value::Data> base64Decode(std::string_view text) {
    Value::Data out;
    std::uint32_t buffer = 0;
    int bits = 0;
    int padding = 0;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            continue;
        }
        if (c == '=') {
            ++padding;
            continue;
        }
        if (padding > 0) {
            return std::nullopt; // data after padding
        }
        const char* pos = std::char_traits<char>::find(base64Alphabet, 64, c);
        if (!pos) {
            return std::nullopt;
        }
        buffer = (buffer << 6) | static_cast<std::uint32_t>(pos - base64Alphabet);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>((buffer >> bits) & 0xFF));
        }
    }
    if (padding > 2) {
        return std::nullopt;
    }
    return out;
}

std::string formatReal(double v) {
    if (std::isnan(v))
        return "nan";
    if (std::isinf(v))
        return v > 0 ? "+infinity" : "-infinity";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, v); // shortest exact form
    return std::string(buffer, result.ptr);
}

void write(std::string& out, const Value& value, int depth) {
    const std::string indent(static_cast<std::size_t>(depth), '\t');
    out += indent;
    switch (value.kind()) {
    case Value::Kind::Boolean:
        out += *value.asBool() ? "<true/>\n" : "<false/>\n";
        break;
    case Value::Kind::Integer:
        out += "<integer>" + std::to_string(*value.asInteger()) + "</integer>\n";
        break;
    case Value::Kind::Real:
        out += "<real>" + formatReal(*value.asReal()) + "</real>\n";
        break;
    case Value::Kind::String:
        out += "<string>";
        appendEscaped(out, *value.asString());
        out += "</string>\n";
        break;
    case Value::Kind::Date:
        out += "<date>" + formatIsoDate(*value.asDate()) + "</date>\n";
        break;
    case Value::Kind::Data:
        out += "<data>" + base64Encode(*value.asData()) + "</data>\n";
        break;
    case Value::Kind::Array: {
        const auto& array = *value.asArray();
        if (array.empty()) {
            out += "<array/>\n";
            break;
        }
        out += "<array>\n";
        for (const Value& element : array) {
            write(out, element, depth + 1);
        }
        out += indent + "</array>\n";
        break;
    }
    case Value::Kind::Dictionary: {
        const auto& dict = *value.asDictionary();
        if (dict.empty()) {
            out += "<dict/>\n";
            break;
        }
        out += "<dict>\n";
        for (const auto& [key, element] : dict) {
            out += indent + "\t<key>";
            appendEscaped(out, key);
            out += "</key>\n";
            write(out, element, depth + 1);
        }
        out += indent + "</dict>\n";
        break;
    }
    }
}

// A strict reader for the subset of XML that property lists use.
class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    std::optional<Value> document() {
        skipMisc();
        if (!consume("<plist")) {
            // A bare value without the plist element is accepted, as other readers do.
            auto v = value(0);
            skipMisc();
            return v && atEnd() ? v : std::nullopt;
        }
        if (!skipAttributesAndClose())
            return std::nullopt;
        if (m_selfClosed)
            return std::nullopt;
        skipMisc();
        auto root = value(0);
        if (!root)
            return std::nullopt;
        skipMisc();
        if (!consume("</plist>"))
            return std::nullopt;
        skipMisc();
        if (!atEnd())
            return std::nullopt;
        return root;
    }

private:
    static constexpr int maxDepth = 512;

    bool atEnd() const { return m_pos >= m_text.size(); }
    bool startsWith(std::string_view s) const { return m_text.substr(m_pos).starts_with(s); }
    bool consume(std::string_view s) {
        if (startsWith(s)) {
            m_pos += s.size();
            return true;
        }
        return false;
    }
    void skipSpace() {
        while (!atEnd() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\n' ||
                            m_text[m_pos] == '\r')) {
            ++m_pos;
        }
    }
    bool skipPast(std::string_view terminator) {
        auto end = m_text.find(terminator, m_pos);
        if (end == std::string_view::npos) {
            m_pos = m_text.size();
            return false;
        }
        m_pos = end + terminator.size();
        return true;
    }
    // Whitespace, the XML declaration, processing instructions, comments and the doctype.
    void skipMisc() {
        while (true) {
            skipSpace();
            if (startsWith("\xEF\xBB\xBF")) {
                m_pos += 3;
            } else if (startsWith("<?")) {
                if (!skipPast("?>"))
                    return;
            } else if (startsWith("<!--")) {
                if (!skipPast("-->"))
                    return;
            } else if (startsWith("<!DOCTYPE")) {
                if (!skipPast(">"))
                    return;
            } else {
                return;
            }
        }
    }
    // After "<name": attributes up to ">" or "/>".
    bool skipAttributesAndClose() {
        m_selfClosed = false;
        while (!atEnd()) {
            char c = m_text[m_pos];
            if (c == '"' || c == '\'') {
                auto end = m_text.find(c, m_pos + 1);
                if (end == std::string_view::npos)
                    return false;
                m_pos = end + 1;
                continue;
            }
            if (c == '<')
                return false;
            if (c == '/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '>') {
                m_pos += 2;
                m_selfClosed = true;
                return true;
            }
            if (c == '>') {
                ++m_pos;
                return true;
            }
            ++m_pos;
        }
        return false;
    }
    // The tag name after '<'.
    std::string_view tagName() {
        std::size_t start = m_pos;
        while (!atEnd() && (std::isalnum(static_cast<unsigned char>(m_text[m_pos])) || m_text[m_pos] == '-' ||
                            m_text[m_pos] == '_' || m_text[m_pos] == ':')) {
            ++m_pos;
        }
        return m_text.substr(start, m_pos - start);
    }
    // Character data up to "</name>", entities and CDATA resolved.
    std::optional<std::string> text(std::string_view name) {
        std::string out;
        while (!atEnd()) {
            if (startsWith("</")) {
                m_pos += 2;
                if (tagName() != name)
                    return std::nullopt;
                skipSpace();
                if (!consume(">"))
                    return std::nullopt;
                return out;
            }
            if (consume("<![CDATA[")) {
                auto end = m_text.find("]]>", m_pos);
                if (end == std::string_view::npos)
                    return std::nullopt;
                out.append(m_text.substr(m_pos, end - m_pos));
                m_pos = end + 3;
                continue;
            }
            if (startsWith("<!--")) {
                if (!skipPast("-->"))
                    return std::nullopt;
                continue;
            }
            char c = m_text[m_pos];
            if (c == '<')
                return std::nullopt;
            if (c == '&') {
                if (!entity(out))
                    return std::nullopt;
                continue;
            }
            out.push_back(c);
            ++m_pos;
        }
        return std::nullopt;
    }
    bool entity(std::string& out) {
        auto end = m_text.find(';', m_pos);
        if (end == std::string_view::npos || end - m_pos > 12)
            return false;
        std::string_view name = m_text.substr(m_pos + 1, end - m_pos - 1);
        m_pos = end + 1;
        if (name == "lt")
            out.push_back('<');
        else if (name == "gt")
            out.push_back('>');
        else if (name == "amp")
            out.push_back('&');
        else if (name == "quot")
            out.push_back('"');
        else if (name == "apos")
            out.push_back('\'');
        else if (name.starts_with("#")) {
            std::uint32_t code = 0;
            std::string_view digits = name.substr(1);
            int base = 10;
            if (digits.starts_with("x") || digits.starts_with("X")) {
                digits.remove_prefix(1);
                base = 16;
            }
            auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), code, base);
            if (ec != std::errc{} || ptr != digits.data() + digits.size() || digits.empty() ||
                code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
                return false;
            }
            appendUtf8(out, code);
        } else {
            return false;
        }
        return true;
    }
    static void appendUtf8(std::string& out, std::uint32_t code) {
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }

    std::optional<Value> value(int depth) {
        if (depth > maxDepth)
            return std::nullopt;
        skipMisc();
        if (!consume("<"))
            return std::nullopt;
        std::string_view name = tagName();
        if (!skipAttributesAndClose())
            return std::nullopt;
        const bool empty = m_selfClosed;
        if (name == "true" || name == "false") {
            if (!empty && !text(name))
                return std::nullopt;
            return Value(name == "true");
        }
        if (name == "dict")
            return empty ? Value(Value::Dictionary{}) : dictionary(depth);
        if (name == "array")
            return empty ? Value(Value::Array{}) : array(depth);
        std::string content;
        if (!empty) {
            auto t = text(name);
            if (!t)
                return std::nullopt;
            content = std::move(*t);
        }
        if (name == "string")
            return Value(std::move(content));
        if (name == "integer") {
            std::string_view digits = trimmed(content);
            if (digits.starts_with("+"))
                digits.remove_prefix(1);
            std::int64_t n = 0;
            auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
            if (ec != std::errc{} || ptr != digits.data() + digits.size() || digits.empty())
                return std::nullopt;
            return Value(n);
        }
        if (name == "real") {
            std::string_view digits = trimmed(content);
            if (digits == "nan")
                return Value(std::numeric_limits<double>::quiet_NaN());
            if (digits == "+infinity" || digits == "infinity" || digits == "inf") {
                return Value(std::numeric_limits<double>::infinity());
            }
            if (digits == "-infinity" || digits == "-inf")
                return Value(-std::numeric_limits<double>::infinity());
            if (digits.starts_with("+"))
                digits.remove_prefix(1);
            double d = 0;
            auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), d);
            if (ec != std::errc{} || ptr != digits.data() + digits.size() || digits.empty())
                return std::nullopt;
            return Value(d);
        }
        if (name == "date") {
            auto date = parseIsoDate(trimmed(content));
            return date ? std::optional<Value>(Value(*date)) : std::nullopt;
        }
        if (name == "data") {
            auto data = base64Decode(content);
            return data ? std::optional<Value>(Value(std::move(*data))) : std::nullopt;
        }
        return std::nullopt;
    }
    std::optional<Value> array(int depth) {
        Value::Array items;
        while (true) {
            skipMisc();
            if (consume("</")) {
                if (tagName() != "array")
                    return std::nullopt;
                skipSpace();
                if (!consume(">"))
                    return std::nullopt;
                return Value(std::move(items));
            }
            auto v = value(depth + 1);
            if (!v)
                return std::nullopt;
            items.push_back(std::move(*v));
        }
    }
    std::optional<Value> dictionary(int depth) {
        Value::Dictionary dict;
        while (true) {
            skipMisc();
            if (consume("</")) {
                if (tagName() != "dict")
                    return std::nullopt;
                skipSpace();
                if (!consume(">"))
                    return std::nullopt;
                return Value(std::move(dict));
            }
            if (!consume("<key"))
                return std::nullopt;
            if (!skipAttributesAndClose())
                return std::nullopt;
            std::string key;
            if (!m_selfClosed) {
                auto t = text("key");
                if (!t)
                    return std::nullopt;
                key = std::move(*t);
            }
            auto v = value(depth + 1);
            if (!v)
                return std::nullopt;
            dict.insert_or_assign(std::move(key), std::move(*v));
        }
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    bool m_selfClosed = false;
};

} // namespace

std::string formatIsoDate(Date date) {
    // Whole seconds first: every date has a second, even where its microseconds since 1970
    // would overflow.
    const std::int64_t seconds = floorDiv(date.microsecondsSinceReferenceDate, Date::microsecondsPerSecond) +
                                 Date::unixEpochOffsetSeconds;
    const std::int64_t days = floorDiv(seconds, 86400);
    const std::int64_t secondOfDay = seconds - days * 86400;
    const Civil c = civilFromDays(days);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02uT%02lld:%02lld:%02lld",
                  static_cast<long long>(c.year), c.month, c.day, static_cast<long long>(secondOfDay / 3600),
                  static_cast<long long>(secondOfDay / 60 % 60), static_cast<long long>(secondOfDay % 60));
    return std::string(buffer) + "Z";
}

std::optional<Date> parseIsoDate(std::string_view text) {
    // YYYY-MM-DDTHH:MM:SS[.fraction]Z
    auto number = [&](std::size_t pos, std::size_t len) -> std::optional<int> {
        if (pos + len > text.size())
            return std::nullopt;
        int n = 0;
        for (std::size_t i = pos; i < pos + len; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return std::nullopt;
            n = n * 10 + (text[i] - '0');
        }
        return n;
    };
    if (text.size() < 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text.back() != 'Z') {
        return std::nullopt;
    }
    auto year = number(0, 4), month = number(5, 2), day = number(8, 2);
    auto hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (!year || !month || !day || !hour || !minute || !second || *month < 1 || *month > 12 || *day < 1 ||
        *day > 31 || *hour > 23 || *minute > 59 || *second > 60) {
        return std::nullopt;
    }
    std::int64_t fraction = 0;
    std::size_t pos = 19;
    if (text[pos] == '.') {
        ++pos;
        std::int64_t scale = Date::microsecondsPerSecond;
        std::size_t start = pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            scale /= 10;
            fraction += (text[pos] - '0') * scale; // digits past microseconds add nothing
            ++pos;
        }
        if (pos == start)
            return std::nullopt;
    }
    if (pos != text.size() - 1)
        return std::nullopt;
    const std::int64_t days =
        daysFromCivil(*year, static_cast<unsigned>(*month), static_cast<unsigned>(*day));
    const std::int64_t unixSeconds = days * 86400 + *hour * 3600 + *minute * 60 + *second;
    const std::int64_t unixMicroseconds = unixSeconds * Date::microsecondsPerSecond + fraction;
    // A leap second or a 31st of a short month carries the last day of 9999 into a year no
    // date text holds; such a date could be read once but never written back.
    static const std::int64_t end = daysFromCivil(10000, 1, 1) * 86400 * Date::microsecondsPerSecond;
    if (unixMicroseconds >= end)
        return std::nullopt;
    return Date::fromUnixMicroseconds(unixMicroseconds);
}

std::string writeXmlPropertyList(const Value& root) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                      "<plist version=\"1.0\">\n";
    write(out, root, 0);
    out += "</plist>\n";
    return out;
}

std::optional<Value> readXmlPropertyList(std::string_view text) {
    return Reader(text).document();
}

} // namespace drovane
