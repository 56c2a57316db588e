import QtQuick
import QtQuick.Controls

// One film of the grid: its picture, title, download badge, favourite heart and context menu.
Item {
    id: tile

    required property int tileIndex
    property var t: tiles.tile(tileIndex)
    property string thumb: ""
    property bool hover: pictureArea.containsMouse
    readonly property string filmId: t.filmId || ""
    readonly property bool onDisk: t.onDisk || false
    readonly property bool hasPicture: picture.status === Image.Ready
    // The favourite button as the model decides it; read again whenever the tile changes.
    readonly property var heartLook: { tile.t; return tiles.heart(tile.tileIndex, tile.hasPicture); }
    readonly property string failure: t.failure || ""

    // `anchor` is the tile when the keyboard asked, null for the pointer.
    signal contextMenuRequested(int tileIndex, Item anchor)
    function openMenu() { contextMenuRequested(tileIndex, box); }

    height: box.height + 6 + title.height
    // The grid's keys move the focus between tiles and act on the focused one.
    Accessible.role: Accessible.Button
    Accessible.name: t.label || ""
    Accessible.description: failure !== "" ? (t.spoken || "") + ", " + failure : (t.spoken || "")
    Accessible.onPressAction: bridge.tap(tileIndex)

    SystemPalette { id: pal }

    Connections {
        target: tiles
        function onDataChanged(topLeft, bottomRight) {
            if (topLeft.row <= tile.tileIndex && tile.tileIndex <= bottomRight.row)
                tile.t = tiles.tile(tile.tileIndex);
        }
        // The grid keeps rows laid out as before, so a tile may now show another film.
        function onModelReset() {
            tile.t = tiles.tile(tile.tileIndex);
        }
    }
    Connections {
        target: bridge
        function onThumbReady(id, source) {
            if (id === tile.filmId)
                tile.thumb = source;
        }
    }
    // The film whose picture this tile holds.
    property string heldId: ""
    function hold() {
        if (heldId === filmId)
            return;
        if (heldId !== "")
            bridge.releaseThumb(heldId);
        thumb = "";
        heldId = filmId;
        // A picture at hand comes back at once: while the tile is being made, a signal would
        // find nobody listening yet.
        if (heldId !== "")
            thumb = bridge.acquireThumb(heldId);
    }
    Component.onCompleted: hold()
    Component.onDestruction: if (heldId !== "") bridge.releaseThumb(heldId)
    onFilmIdChanged: hold()
    onOnDiskChanged: bridge.loadThumb(filmId)

    Item {
        id: box
        width: parent.width
        height: Math.round(width * 9 / 16)

        Rectangle {
            anchors.fill: parent
            radius: 8
            color: Qt.rgba(pal.text.r, pal.text.g, pal.text.b, 0.08)
            visible: !tile.hasPicture
            SymbolIcon {
                anchors.centerIn: parent
                symbol: "photo"
                pixelSize: 22
                tint: Qt.rgba(pal.text.r, pal.text.g, pal.text.b, 0.3)
            }
        }
        // Cropped to fill and rounded by the image provider.
        Image {
            id: picture
            anchors.fill: parent
            source: tile.thumb ? tile.thumb + "/" + Screen.devicePixelRatio : ""
            sourceSize: Qt.size(width * Screen.devicePixelRatio, height * Screen.devicePixelRatio)
            asynchronous: true
            cache: false
            opacity: status === Image.Ready ? 1 : 0
            Behavior on opacity { NumberAnimation { duration: 200 } }
        }
        Rectangle {
            anchors.fill: parent
            radius: 8
            color: "transparent"
            border.width: tile.t.current ? 3 : 2
            border.color: tile.t.current ? pal.highlight
                                         : Qt.rgba(pal.highlight.r, pal.highlight.g, pal.highlight.b, 0.6)
            visible: tile.t.current || false
        }
        FocusRing {
            visible: tile.activeFocus
            gap: 3
            cornerRadius: 8
        }
        MouseArea {
            id: pictureArea
            anchors.fill: parent
            hoverEnabled: true
            acceptedButtons: Qt.LeftButton | Qt.RightButton
            cursorShape: Qt.PointingHandCursor
            onClicked: mouse => {
                if (mouse.button === Qt.RightButton)
                    tile.contextMenuRequested(tile.tileIndex, null);
                else
                    bridge.tap(tile.tileIndex);
            }
            // Why the last download failed, while the pointer rests on the tile or it has the focus.
            ToolTip.visible: tile.failure !== "" && (containsMouse || tile.activeFocus)
            ToolTip.delay: 500
            ToolTip.text: tile.failure
        }
        Item {
            id: badge
            width: 22
            height: 22
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            anchors.margins: 2
            opacity: tile.t.badge !== "" ? 1 : 0
            visible: opacity > 0
            Behavior on opacity { NumberAnimation { duration: 150 } }
            Rectangle {
                anchors.centerIn: parent
                // A shade under the icon, so that it reads on light pictures too.
                width: 21
                height: 21
                radius: 10.5
                color: Qt.rgba(0, 0, 0, 0.25)
            }
            SymbolIcon {
                anchors.centerIn: parent
                pixelSize: 18
                // The cross offers the cancel under the pointer and to the keyboard (Escape).
                symbol: (tile.hover || tile.activeFocus) && tile.t.busy ? "xmark.circle.fill" : (tile.t.badge || "")
                tint: tile.failure !== "" ? "#ff9f0a" : "#8e8e93"
                Accessible.ignored: true
            }
            ProgressRing {
                anchors.centerIn: parent
                visible: tile.t.progress >= 0
                fraction: tile.t.ring || 0
                value: Math.round(Math.max(0, tile.t.progress) * 100)
                Accessible.ignored: !visible
            }
            // The cross as a screen reader finds it.
            Item {
                anchors.fill: parent
                visible: tile.t.busy || false
                Accessible.ignored: !visible
                Accessible.role: Accessible.Button
                Accessible.name: "Cancel Download"
                Accessible.onPressAction: bridge.tap(tile.tileIndex)
            }
        }
        Item {
            id: heart
            width: 22
            height: 22
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.margins: 6
            // Under the pointer, and on the focused tile for the keyboard and screen readers.
            opacity: tile.hover || heartArea.containsMouse || tile.activeFocus ? 1 : 0
            visible: opacity > 0
            Accessible.role: Accessible.Button
            Accessible.name: tile.heartLook.tooltip || ""
            Accessible.onPressAction: bridge.toggleFavorite(tile.tileIndex)
            Behavior on opacity { NumberAnimation { duration: 150 } }
            // The shadow: the same heart in black, a point lower.
            SymbolIcon {
                anchors.centerIn: parent
                anchors.verticalCenterOffset: 1
                pixelSize: 16
                symbol: tile.heartLook.symbol || ""
                tint: "black"
                opacity: tile.heartLook.shadow || 0
                visible: opacity > 0
            }
            SymbolIcon {
                anchors.centerIn: parent
                pixelSize: 16
                symbol: tile.heartLook.symbol || ""
                tint: tile.heartLook.color === "red" ? "#ff3b30"
                    : tile.heartLook.color === "white" ? "white" : pal.placeholderText
            }
            MouseArea {
                id: heartArea
                anchors.fill: parent
                hoverEnabled: true
                onClicked: bridge.toggleFavorite(tile.tileIndex)
                ToolTip.visible: containsMouse
                ToolTip.delay: 600
                ToolTip.text: tile.heartLook.tooltip || ""
            }
        }
    }
    Text {
        id: title
        anchors.top: box.bottom
        anchors.topMargin: 6
        x: 2
        width: parent.width - 4
        text: tile.t.label || ""
        elide: Text.ElideRight
        maximumLineCount: 1
        font.pixelSize: 13
        color: tile.onDisk ? pal.text : pal.placeholderText
    }
}
