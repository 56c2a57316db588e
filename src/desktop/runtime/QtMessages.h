#pragma once

#include <QtGlobal>
#include <string>

namespace drovane::desktop {

// Qt's warnings and critical messages are diagnostics too, one "Drovane: " line each on
// standard error; its debug and info chatter only with DROVANE_QT_DEBUG set.
void installQtMessageHandler();

// One of Qt's messages as a log line: "Drovane: Qt warning (CATEGORY): MESSAGE", line breaks
// made spaces; the category left out when it is Qt's "default".
std::string qtMessageLine(QtMsgType type, const char* category, const std::string& message);

} // namespace drovane::desktop
