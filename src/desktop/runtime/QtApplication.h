#pragma once

#include <memory>
#include <string>
#include <vector>

class QApplication;

namespace drovane::desktop {

// The process's one QApplication, shared by every backend object that uses Qt so that it is
// destroyed after the last of them. The first call creates it from `arguments` (later calls
// return the living one and ignore them); it must come before any other Qt object. It also
// chooses the GStreamer media backend unless QT_MEDIA_BACKEND says otherwise, names the
// windows' desktop entry and icon, and sends Qt's warnings to standard error.
std::shared_ptr<QApplication> sharedApplication(const std::vector<std::string>& arguments);

} // namespace drovane::desktop
