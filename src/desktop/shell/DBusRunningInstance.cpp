#include "desktop/shell/DBusRunningInstance.h"

#include "desktop/shell/FreedesktopApplication.h"

#include <chrono>
#include <gio/gio.h>
#include <memory>
#include <thread>

namespace drovane::desktop {

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct GVariantUnref {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};

// The running copy holds the lock but has not published its name yet.
bool stillStarting(const GError* error) {
    return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_OBJECT);
}

} // namespace

DBusRunningInstance::DBusRunningInstance(std::string applicationId, double timeoutSeconds)
    : m_applicationId(std::move(applicationId)), m_timeoutSeconds(timeoutSeconds) {}

bool DBusRunningInstance::forward(const std::vector<Url>& urls) {
    // A connection of its own rather than the process-wide one: closed when done, and it reads
    // the bus address of the moment.
    GError* rawError = nullptr;
    std::unique_ptr<gchar, decltype(&g_free)> address(
        g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &rawError), &g_free);
    std::unique_ptr<GError, GErrorFree> error(rawError);
    if (!address) {
        return false;
    }
    rawError = nullptr;
    std::unique_ptr<GDBusConnection, GObjectUnref> bus(g_dbus_connection_new_for_address_sync(
        address.get(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &rawError));
    error.reset(rawError);
    if (!bus) {
        return false;
    }

    GVariantBuilder platformData;
    g_variant_builder_init(&platformData, G_VARIANT_TYPE_VARDICT);
    const char* method = "Activate";
    GVariant* floating = nullptr;
    if (urls.empty()) {
        floating = g_variant_new("(a{sv})", &platformData);
    } else {
        method = "Open";
        GVariantBuilder uris;
        g_variant_builder_init(&uris, G_VARIANT_TYPE_STRING_ARRAY);
        for (const auto& url : urls) {
            g_variant_builder_add(&uris, "s", url.string().c_str());
        }
        floating = g_variant_new("(asa{sv})", &uris, &platformData);
    }
    const std::unique_ptr<GVariant, GVariantUnref> parameters(g_variant_ref_sink(floating));

    const std::string path = applicationObjectPath(m_applicationId);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(m_timeoutSeconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        rawError = nullptr;
        std::unique_ptr<GVariant, GVariantUnref> reply(g_dbus_connection_call_sync(
            bus.get(), m_applicationId.c_str(), path.c_str(), freedesktopApplicationInterface, method,
            parameters.get(), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, static_cast<int>(left.count()),
            nullptr, &rawError));
        error.reset(rawError);
        if (reply) {
            return true;
        }
        if (!stillStarting(error.get())) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

} // namespace drovane::desktop
