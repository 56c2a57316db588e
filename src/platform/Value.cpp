#include "platform/Value.h"

namespace drovane {

std::optional<std::vector<std::string>> Value::asStringArray() const {
    const Array* array = asArray();
    if (!array) {
        return std::nullopt;
    }
    std::vector<std::string> strings;
    strings.reserve(array->size());
    for (const Value& element : *array) {
        auto s = element.asString();
        if (!s) {
            return std::nullopt;
        }
        strings.push_back(std::move(*s));
    }
    return strings;
}

} // namespace drovane
