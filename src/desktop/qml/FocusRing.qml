import QtQuick

// Where the keyboard focus is: a ring around its parent in the theme's accent colour, `gap`
// away from it, so that it shows on an accent-filled item too.
Rectangle {
    property real gap: 2
    property real cornerRadius: 6

    anchors.fill: parent
    anchors.margins: -(gap + border.width)
    radius: cornerRadius + gap + border.width
    z: 10
    color: "transparent"
    border.width: 2
    border.color: ringPalette.highlight
    Accessible.ignored: true

    SystemPalette { id: ringPalette }
}
