#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

namespace drovane::desktop {

// The one table from the views' symbol names to the icons we ship (SVG, so that they look the
// same on every desktop), and their drawing in one colour.
namespace SymbolIcons {

// The resource path of the icon for `symbol`; the generic picture for a name not in the table.
QString resourcePath(const QString& symbol);
// The icon drawn at `size` pixels in `color`.
QImage render(const QString& symbol, QSize size, const QColor& color);

} // namespace SymbolIcons

} // namespace drovane::desktop
