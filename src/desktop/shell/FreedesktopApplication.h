#pragma once

#include <string>

namespace drovane::desktop {

// The freedesktop application interface a running program offers on the session bus under its
// application identifier, so that a later launch hands it links and reopen requests.
inline constexpr const char* freedesktopApplicationInterface = "org.freedesktop.Application";

// The object path of an application identifier: "app.drovane" -> "/app/drovane"; a "-" becomes
// "_", as object paths allow no dashes.
std::string applicationObjectPath(const std::string& applicationId);

} // namespace drovane::desktop
