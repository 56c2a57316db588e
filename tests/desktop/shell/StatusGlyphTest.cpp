#include "desktop/shell/StatusGlyph.h"

#include "desktop/DesktopTestSupport.h"
#include "desktop/GuiTestSupport.h"
#include "desktop/shell/PanelAppearance.h"
#include "fakes/TempDir.h"
#include "ui/MenuBarGlyph.h"

#include <QDBusConnectionInterface>
#include <QPixmap>
#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

using namespace testing;

// The pixel of `image` at a point of the 18-point canvas.
QColor at(const QImage& image, double x, double y) {
    return image.pixelColor(int(x / 18 * image.width()), int(y / 18 * image.height()));
}

TEST(StatusGlyph, TheBandsReadOnEveryPanelAtEverySizeAndDimToHalf) {
    testApplication();
    struct Case {
        PanelScheme scheme;
        bool dimmed;
        bool lightInk;
        int alpha;
    };
    const std::vector<Case> cases = {
        {PanelScheme::Dark, false, true, 255},
        {PanelScheme::Light, false, false, 255},
        {PanelScheme::Unknown, false, true, 255},
        {PanelScheme::Dark, true, true, 128},
    };
    for (int pixels : {16, 22, 24, 32, 48}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message()
                         << pixels << " px, scheme " << int(c.scheme) << ", dimmed " << c.dimmed);
            StatusIcon icon = MenuBarGlyph::image();
            icon.dimmed = c.dimmed;
            const QImage image =
                drawStatusGlyph(icon, pixels, c.scheme).convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(image.size(), QSize(pixels, pixels));
            for (const auto& band : MenuBarGlyph::bands) {
                const QColor ink = at(image, band.cx, band.cy);
                EXPECT_NEAR(ink.alpha(), c.alpha, 12);
                EXPECT_EQ(ink.lightness() > 128, c.lightInk) << "lightness " << ink.lightness();
            }
            EXPECT_EQ(at(image, 1, 1).alpha(), 0) << "outside the bands";
            EXPECT_EQ(at(image, 9, 16.5).alpha(), 0) << "below the last band";
        }
    }
    // Where the scheme is unknown a dark rim keeps the light bands visible on a light panel.
    const QImage unknown = drawStatusGlyph(MenuBarGlyph::image(), 48, PanelScheme::Unknown);
    const auto& top = MenuBarGlyph::bands[0];
    EXPECT_LT(at(unknown, top.cx, top.cy - top.ry).lightness(), 100);
}

TEST(StatusGlyph, TheIconIsDrawnAfreshForTheDevicePixelRatio) {
    testApplication();
    const QIcon icon = statusGlyphIcon(MenuBarGlyph::image(), PanelScheme::Dark);
    for (qreal ratio : {1.0, 1.5, 2.0}) {
        const QPixmap pixmap = icon.pixmap(QSize(24, 24), ratio);
        EXPECT_EQ(pixmap.size(), QSize(24, 24) * ratio);
        const auto& band = MenuBarGlyph::bands[1];
        EXPECT_EQ(at(pixmap.toImage(), band.cx, band.cy).alpha(), 255) << "sharp, not scaled up";
    }
}

TEST(PanelAppearance, FollowsThePortalsColourScheme) {
    fakes::TempDir dir;
    PrivateBus bus(dir.path(), "session");
    QDBusConnection desktop = bus.connect(QStringLiteral("portal"));
    FakeObject portal(desktop, QStringLiteral("/org/freedesktop/portal/desktop"),
                      QStringLiteral("org.freedesktop.portal.Settings"));
    portal.methods[QStringLiteral("Read")] = [](const QDBusMessage& m) {
        const QVariant dark = QVariant::fromValue(QDBusVariant(1u));
        return m.createReply(QVariant::fromValue(QDBusVariant(dark)));
    };
    desktop.interface()->registerService(QStringLiteral("org.freedesktop.portal.Desktop"));

    int changes = 0;
    PanelAppearance appearance(bus.connect(QStringLiteral("app")), [&] { ++changes; });
    EXPECT_EQ(appearance.scheme(), PanelScheme::Unknown) << "until the portal answers";
    ASSERT_TRUE(waitUntil([&] { return appearance.scheme() == PanelScheme::Dark; }, 5));

    portal.emitSignal(QStringLiteral("SettingChanged"),
                      {QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"),
                       QVariant::fromValue(QDBusVariant(2u))});
    ASSERT_TRUE(waitUntil([&] { return appearance.scheme() == PanelScheme::Light; }, 5));
    portal.emitSignal(QStringLiteral("SettingChanged"),
                      {QStringLiteral("org.freedesktop.appearance"), QStringLiteral("accent-color"),
                       QVariant::fromValue(QDBusVariant(1u))});
    spin(0.2);
    EXPECT_EQ(appearance.scheme(), PanelScheme::Light) << "another key of the namespace";
    EXPECT_EQ(changes, 2);
}

} // namespace
} // namespace drovane::desktop
