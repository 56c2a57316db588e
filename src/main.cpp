// The composition root: the Linux desktop platform handed to the application's entry point.

#include "app/EntryPoint.h"
#include "app/FileDefaultsStore.h"
#include "desktop/runtime/DesktopPlatform.h"
#include "platform/Settings.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace drovane;
    auto platform = desktop::makeDesktopPlatform(std::vector<std::string>(argv, argv + argc));
    platform->defaults = FileDefaultsStore::open(
        platform->host->homeDirectory() + "/" + Settings::preferencesPath, Settings::standardDomain);
    installPlatform(platform);
    return applicationMain();
}
