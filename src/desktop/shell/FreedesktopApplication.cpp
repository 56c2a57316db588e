#include "desktop/shell/FreedesktopApplication.h"

namespace drovane::desktop {

std::string applicationObjectPath(const std::string& applicationId) {
    std::string path = "/" + applicationId;
    for (char& c : path) {
        if (c == '.') {
            c = '/';
        } else if (c == '-') {
            c = '_';
        }
    }
    return path;
}

} // namespace drovane::desktop
