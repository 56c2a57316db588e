// The settings file over arbitrary bytes, as the defaults store opens it (binary or XML
// property list). Never crashes, and nothing stored is lost: a file that reads as a dictionary
// gives exactly its values, and after a change is written back every value reads again as it
// was (dates to the second, the XML form's precision); any other file is kept aside unchanged
// and the domain starts empty.

#include "FuzzCheck.h"
#include "app/FileDefaultsStore.h"
#include "fakes/CapturedLog.h"
#include "fakes/TempDir.h"
#include "support/Files.h"
#include "support/PropertyList.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

using namespace drovane;

namespace {

// Equal as stored values: reals by their bits except that every NaN is one, dates as the XML
// form keeps them when `bySecond`.
bool same(const Value& a, const Value& b, bool bySecond) {
    if (a.kind() != b.kind())
        return false;
    switch (a.kind()) {
    case Value::Kind::Real: {
        const double x = *a.asReal(), y = *b.asReal();
        return (std::isnan(x) && std::isnan(y)) || std::memcmp(&x, &y, sizeof x) == 0;
    }
    case Value::Kind::Date:
        return (bySecond ? toSecond(*a.asDate()) : *a.asDate()) == *b.asDate();
    case Value::Kind::Array: {
        const auto &x = *a.asArray(), &y = *b.asArray();
        return std::equal(x.begin(), x.end(), y.begin(), y.end(),
                          [&](const Value& p, const Value& q) { return same(p, q, bySecond); });
    }
    case Value::Kind::Dictionary: {
        const auto &x = *a.asDictionary(), &y = *b.asDictionary();
        return std::equal(x.begin(), x.end(), y.begin(), y.end(), [&](const auto& p, const auto& q) {
            return p.first == q.first && same(p.second, q.second, bySecond);
        });
    }
    default:
        return a == b;
    }
}

// Every key of `expected` reads from `store` as it was.
void requireValues(const DefaultsStore& store, const Value::Dictionary& expected, bool bySecond) {
    for (const auto& [key, value] : expected) {
        const auto stored = store.value(key);
        require(stored && same(value, *stored, bySecond));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fakes::TempDir folder;
    static const auto log = std::make_shared<fakes::CapturedLog>();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string path = folder / "app.drovane.plist";
    const std::string aside = path + ".corrupt";
    std::filesystem::remove(aside);
    writeInput(path, data, size);
    log->clear();

    const std::optional<Value> root = readPropertyList(bytes);
    const Value::Dictionary* values = root ? root->asDictionary() : nullptr;
    auto store = FileDefaultsStore::open(folder.path(), "app.drovane", log);
    require(store != nullptr);
    if (!values) {
        // Kept aside byte for byte, said once, and the domain starts afresh.
        require(!std::filesystem::exists(path) && readWholeFile(aside) == bytes);
        require(log->lines().size() == 1);
        require(!store->value("selectedVideo"));
        return 0;
    }
    require(log->lines().empty());
    requireValues(*store, *values, false);

    // A change makes the store write every value back; the next start reads them all again.
    store->set("fuzzMark", Value(true));
    store.reset();
    require(log->lines().empty());
    store = FileDefaultsStore::open(folder.path(), "app.drovane", log);
    require(log->lines().empty() && !std::filesystem::exists(aside));
    Value::Dictionary kept = *values;
    kept.erase("fuzzMark");
    requireValues(*store, kept, true);
    require(store->value("fuzzMark") == Value(true));
    return 0;
}
