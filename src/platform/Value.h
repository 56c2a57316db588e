#pragma once

#include "platform/Date.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace drovane {

// A property-list value: what the defaults store keeps under a key and what property-list
// files hold. Integers and reals are distinct kinds, as in the file formats.
class Value {
public:
    using Data = std::vector<std::uint8_t>;
    using Array = std::vector<Value>;
    using Dictionary = std::map<std::string, Value>;

    enum class Kind { Boolean, Integer, Real, String, Date, Data, Array, Dictionary };

    Value() : m_storage(false) {}
    Value(bool v) : m_storage(v) {}
    Value(int v) : m_storage(std::int64_t{v}) {}
    Value(std::int64_t v) : m_storage(v) {}
    Value(double v) : m_storage(v) {}
    Value(const char* v) : m_storage(std::string(v)) {}
    Value(std::string v) : m_storage(std::move(v)) {}
    Value(drovane::Date v) : m_storage(v) {}
    Value(Data v) : m_storage(std::move(v)) {}
    Value(Array v) : m_storage(std::move(v)) {}
    Value(Dictionary v) : m_storage(std::move(v)) {}

    Kind kind() const { return static_cast<Kind>(m_storage.index()); }

    // Typed access: a value of another kind gives nothing (never a conversion).
    std::optional<bool> asBool() const { return get<bool>(); }
    std::optional<std::int64_t> asInteger() const { return get<std::int64_t>(); }
    std::optional<double> asReal() const { return get<double>(); }
    std::optional<std::string> asString() const { return get<std::string>(); }
    std::optional<drovane::Date> asDate() const { return get<drovane::Date>(); }
    const Data* asData() const { return std::get_if<Data>(&m_storage); }
    const Array* asArray() const { return std::get_if<Array>(&m_storage); }
    const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&m_storage); }

    // An array whose every element is a string; nothing for any other value.
    std::optional<std::vector<std::string>> asStringArray() const;

    friend bool operator==(const Value&, const Value&) = default;

private:
    template <typename T> std::optional<T> get() const {
        if (const T* v = std::get_if<T>(&m_storage)) {
            return *v;
        }
        return std::nullopt;
    }

    std::variant<bool, std::int64_t, double, std::string, drovane::Date, Data, Array, Dictionary> m_storage;
};

} // namespace drovane
