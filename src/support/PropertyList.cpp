#include "support/PropertyList.h"

#include "support/XmlPropertyList.h"

#include <bit>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <plist/plist.h>

namespace drovane {

namespace {

constexpr int maxDepth = 512;

struct PlistFree {
    void operator()(plist_t p) const { plist_free(p); }
};

// The date a date node holds; nothing for one that is not a date of the years 0 to 9999, the
// years the XML form can write back. libplist's own accessor cuts the seconds to 32 bits (it
// gives garbage outside 1933 to 2069, through undefined behaviour), so the node is written
// alone as a binary list instead, where it is the one object: the marker 0x33 and a
// big-endian real of seconds since the reference date.
std::optional<Date> dateOf(plist_t node) {
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(node, &bytes, &length);
    const std::unique_ptr<char, decltype(&plist_to_bin_free)> owner(bytes, &plist_to_bin_free);
    constexpr std::uint32_t object = 8; // after "bplist00"
    if (!bytes || length < object + 9 || static_cast<unsigned char>(bytes[object]) != 0x33)
        return std::nullopt;
    std::uint64_t bits = 0;
    for (std::uint32_t i = 1; i <= 8; ++i)
        bits = bits << 8 | static_cast<unsigned char>(bytes[object + i]);
    const double seconds = std::bit_cast<double>(bits);
    if (!(std::abs(seconds) < 1e12)) // NaN too; far beyond the years, and safe to convert
        return std::nullopt;
    const Date date{static_cast<std::int64_t>(std::floor(seconds * Date::microsecondsPerSecond))};
    static const Date first = *parseIsoDate("0000-01-01T00:00:00Z");
    static const Date last = *parseIsoDate("9999-12-31T23:59:59.999999Z");
    if (date < first || date > last)
        return std::nullopt;
    return date;
}

std::optional<Value> convert(plist_t node, int depth) {
    if (!node || depth > maxDepth) {
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        std::uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return Value(b != 0);
    }
    case PLIST_UINT: {
        std::uint64_t n = 0;
        plist_get_uint_val(node, &n);
        return Value(static_cast<std::int64_t>(n));
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return Value(d);
    }
    case PLIST_STRING: {
        // By pointer and length: plist_get_string_val() asserts on a string holding a NUL,
        // which a hostile binary list can carry.
        std::uint64_t length = 0;
        const char* s = plist_get_string_ptr(node, &length);
        return Value(s ? std::string(s, length) : std::string());
    }
    case PLIST_DATE: {
        const auto date = dateOf(node);
        return date ? std::optional<Value>(Value(*date)) : std::nullopt;
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        std::uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        Value::Data data(reinterpret_cast<std::uint8_t*>(bytes),
                         reinterpret_cast<std::uint8_t*>(bytes) + length);
        std::free(bytes);
        return Value(std::move(data));
    }
    case PLIST_ARRAY: {
        Value::Array items;
        const std::uint32_t count = plist_array_get_size(node);
        items.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            auto v = convert(plist_array_get_item(node, i), depth + 1);
            if (!v)
                return std::nullopt;
            items.push_back(std::move(*v));
        }
        return Value(std::move(items));
    }
    case PLIST_DICT: {
        Value::Dictionary dict;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        std::optional<Value> failed;
        bool ok = true;
        while (it) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, it, &key, &item);
            if (!key)
                break;
            std::string k = key;
            std::free(key);
            auto v = convert(item, depth + 1);
            if (!v) {
                ok = false;
                break;
            }
            dict.insert_or_assign(std::move(k), std::move(*v));
        }
        std::free(it);
        if (!ok)
            return std::nullopt;
        return Value(std::move(dict));
    }
    default:
        // Keys, UIDs and anything newer have no Value form.
        return std::nullopt;
    }
}

// A big-endian unsigned number of `size` bytes at `at`; nothing when it runs past the end.
std::optional<std::uint64_t> bigEndian(std::string_view bytes, std::uint64_t at, std::uint64_t size) {
    if (size == 0 || size > 8 || at > bytes.size() || size > bytes.size() - at)
        return std::nullopt;
    std::uint64_t n = 0;
    for (std::uint64_t i = 0; i < size; ++i)
        n = n << 8 | static_cast<unsigned char>(bytes[at + i]);
    return n;
}

// Where a binary list keeps its objects, from its trailer.
struct Trailer {
    std::uint64_t offsetSize = 0; // bytes per offset table entry
    std::uint64_t count = 0;      // objects
    std::uint64_t table = 0;      // where the offset table starts
    std::uint64_t end = 0;        // where the trailer starts: objects and table lie before
};

// The trailer of a binary list whose offset table lies inside the list and points only
// before itself, and whose root is one of its objects; nothing for any other. libplist tests
// the same with pointer arithmetic that overflows (undefined behaviour) on a table announced
// near 2^64 bytes long or an offset near 2^64, so such a list never reaches it. Offsets and
// references of more than eight bytes are refused as the format's own reader refuses them.
std::optional<Trailer> trailerOf(std::string_view bytes) {
    constexpr std::uint64_t trailerSize = 32;
    if (bytes.size() < 8 + trailerSize)
        return std::nullopt;
    Trailer t;
    t.end = bytes.size() - trailerSize;
    const auto offsetSize = bigEndian(bytes, t.end + 6, 1);
    const auto referenceSize = bigEndian(bytes, t.end + 7, 1);
    const auto count = bigEndian(bytes, t.end + 8, 8);
    const auto root = bigEndian(bytes, t.end + 16, 8);
    const auto table = bigEndian(bytes, t.end + 24, 8);
    if (!offsetSize || *offsetSize == 0 || *offsetSize > 8 || !referenceSize || *referenceSize == 0 ||
        *referenceSize > 8 || !count || *count == 0 || !root || *root >= *count || !table || *table < 8 ||
        *table >= t.end || *count > (t.end - *table) / *offsetSize)
        return std::nullopt;
    t.offsetSize = *offsetSize;
    t.count = *count;
    t.table = *table;
    for (std::uint64_t i = 0; i < t.count; ++i) {
        const auto offset = bigEndian(bytes, t.table + i * t.offsetSize, t.offsetSize);
        if (!offset || *offset >= t.table)
            return std::nullopt;
    }
    return t;
}

// Whether a string object of the binary list holds a NUL character. libplist asserts (aborts
// the process) when it hands out such a string as a dictionary key, so these lists are
// refused before it sees them. Walks the offset table only; anything malformed is left for
// libplist to reject.
bool hasStringWithNul(std::string_view bytes, const Trailer& t) {
    for (std::uint64_t i = 0; i < t.count; ++i) {
        const auto offset = bigEndian(bytes, t.table + i * t.offsetSize, t.offsetSize);
        const auto marker = static_cast<unsigned char>(bytes[*offset]); // before the table
        const unsigned type = marker >> 4;
        if (type != 0x5 && type != 0x6)
            continue;
        std::uint64_t length = marker & 0x0F;
        std::uint64_t start = *offset + 1;
        if (length == 0x0F) {
            const auto intMarker = bigEndian(bytes, start, 1);
            if (!intMarker || (*intMarker >> 4) != 0x1 || (*intMarker & 0x0F) > 3)
                continue;
            const std::uint64_t intSize = std::uint64_t{1} << (*intMarker & 0x0F);
            const auto n = bigEndian(bytes, start + 1, intSize);
            if (!n)
                continue;
            length = *n;
            start += 1 + intSize;
        }
        const std::uint64_t unit = type == 0x5 ? 1 : 2;
        if (start > t.end || length > (t.end - start) / unit)
            continue;
        for (std::uint64_t k = 0; k < length; ++k) {
            const std::uint64_t at = start + k * unit;
            if (bytes[at] == '\0' && (unit == 1 || bytes[at + 1] == '\0'))
                return true;
        }
    }
    return false;
}

} // namespace

std::optional<Value> readPropertyList(std::string_view bytes) {
    if (bytes.starts_with("bplist00")) {
        const auto trailer = trailerOf(bytes);
        if (bytes.size() > 0xFFFFFFFFu || !trailer || hasStringWithNul(bytes, *trailer))
            return std::nullopt;
        plist_t root = nullptr;
        plist_from_bin(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
        std::unique_ptr<void, PlistFree> owner(root);
        return convert(root, 0);
    }
    return readXmlPropertyList(bytes);
}

} // namespace drovane
