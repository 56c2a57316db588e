#include "desktop/shell/DconfChangeset.h"

#include <glib.h>

namespace drovane::desktop {

std::vector<unsigned char> dconfStringChangeset(const std::map<std::string, std::string>& values) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{smv}"));
    for (const auto& [path, value] : values) {
        g_variant_builder_add(&builder, "{smv}", path.c_str(), g_variant_new_string(value.c_str()));
    }
    GVariant* changeset = g_variant_ref_sink(g_variant_builder_end(&builder));
    const auto* data = static_cast<const unsigned char*>(g_variant_get_data(changeset));
    std::vector<unsigned char> bytes(data, data + g_variant_get_size(changeset));
    g_variant_unref(changeset);
    return bytes;
}

std::map<std::string, std::string> dconfChangesetStrings(const std::vector<unsigned char>& bytes) {
    std::map<std::string, std::string> values;
    GBytes* data = g_bytes_new(bytes.data(), bytes.size());
    GVariant* changeset = g_variant_ref_sink(g_variant_new_from_bytes(G_VARIANT_TYPE("a{smv}"), data, FALSE));
    g_bytes_unref(data);
    // Untrusted bytes: only a change set in normal form is read.
    if (g_variant_is_normal_form(changeset)) {
        GVariantIter iter;
        g_variant_iter_init(&iter, changeset);
        const gchar* path = nullptr;
        GVariant* value = nullptr;
        while (g_variant_iter_next(&iter, "{&smv}", &path, &value)) {
            if (value) {
                if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) {
                    values[path] = g_variant_get_string(value, nullptr);
                }
                g_variant_unref(value);
            }
        }
    }
    g_variant_unref(changeset);
    return values;
}

} // namespace drovane::desktop
