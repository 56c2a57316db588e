#include "ui/MenuBarGlyph.h"

namespace drovane::MenuBarGlyph {

StatusIcon image() {
    StatusIcon icon;
    icon.canvas = Size{18, 18};
    icon.ellipses.assign(bands.begin(), bands.end());
    icon.isTemplate = true;
    icon.accessibleName = "Drovane";
    return icon;
}

} // namespace drovane::MenuBarGlyph
