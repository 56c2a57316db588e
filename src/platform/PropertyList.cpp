#include "platform/PropertyList.h"

#include "platform/XmlPropertyList.h"

#include <cstdlib>
#include <memory>
#include <plist/plist.h>

namespace drovane {

namespace {

constexpr int maxDepth = 512;

struct PlistFree {
    void operator()(plist_t p) const { plist_free(p); }
};

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
        std::int32_t sec = 0;
        std::int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return Value(Date{std::int64_t{sec} * Date::microsecondsPerSecond + usec});
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

} // namespace

std::optional<Value> readPropertyList(std::string_view bytes) {
    if (bytes.starts_with("bplist00")) {
        if (bytes.size() > 0xFFFFFFFFu)
            return std::nullopt;
        plist_t root = nullptr;
        plist_from_bin(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
        std::unique_ptr<void, PlistFree> owner(root);
        return convert(root, 0);
    }
    return readXmlPropertyList(bytes);
}

} // namespace drovane
