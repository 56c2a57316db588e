#pragma once

#include "platform/StatusBar.h"

#include <QIcon>
#include <QImage>

namespace drovane::desktop {

// The panel's colour scheme as the desktop publishes it.
enum class PanelScheme { Unknown, Dark, Light };

// The icon drawn at `pixels` device pixels square: on a dark panel light, on a light panel
// dark, and where the scheme is not known light with a dark rim so that it reads on both.
// Half opacity when dimmed.
QImage drawStatusGlyph(const StatusIcon& icon, int pixels, PanelScheme scheme);

// The same as an icon drawn afresh at whatever size and pixel ratio it is asked for.
QIcon statusGlyphIcon(const StatusIcon& icon, PanelScheme scheme);

} // namespace drovane::desktop
