import QtQuick
import QtQuick.Controls
import QtQuick.Window

// The library window: the sidebar, a divider, and the detail area with its header and the grid
// of film tiles, the loading indicator or the empty catalogue's screen.
Rectangle {
    id: root
    objectName: "libraryRoot"

    SystemPalette { id: pal }
    color: pal.window

    // Window shortcuts, as a global menu would give them.
    Shortcut {
        sequence: "Ctrl+W"
        onActivated: root.Window.window.close()
    }
    Shortcut {
        sequence: "Ctrl+M"
        onActivated: root.Window.window.showMinimized()
    }

    // One context menu for every tile and sidebar row, filled when it opens.
    Menu {
        id: contextMenu
        objectName: "contextMenu"
        property var pick: null
        // The menu takes the keyboard while it is open; the item that had it gets it back.
        property Item giveBack: null
        onClosed: if (giveBack) giveBack.forceActiveFocus(Qt.PopupFocusReason)

        // At the pointer, or beside `anchor` when the keyboard asked for it.
        function openWith(entries, pick, anchor) {
            while (count > 0)
                takeItem(0).destroy();
            contextMenu.pick = pick;
            contextMenu.giveBack = root.Window.activeFocusItem;
            for (var i = 0; i < entries.length; ++i) {
                if (entries[i].separator)
                    addItem(separatorComponent.createObject(null));
                else
                    addItem(entryComponent.createObject(null, { text: entries[i].title, entry: i }));
            }
            if (entries.length === 0)
                return;
            if (anchor)
                popup(anchor, anchor.width / 2, anchor.height / 2);
            else
                popup();
        }
    }
    Component {
        id: entryComponent
        MenuItem {
            property int entry
            onTriggered: contextMenu.pick(entry)
        }
    }
    Component {
        id: separatorComponent
        MenuSeparator {}
    }

    Sidebar {
        id: sidebar
        objectName: "sidebar"
        width: 260
        height: parent.height
        // Where a compositor would show the window's material through, a tint of the window.
        Rectangle {
            anchors.fill: parent
            z: -1
            color: Qt.darker(pal.window, 1.05)
        }
        onContextMenuRequested: (key, anchor) => contextMenu.openWith(bridge.sectionMenu(key),
                                                                      entry => bridge.triggerSectionMenu(key, entry),
                                                                      anchor)
    }
    Rectangle {
        id: divider
        x: sidebar.width
        width: 1
        height: parent.height
        color: Qt.darker(pal.window, 1.2)
    }

    Item {
        id: detail
        objectName: "detail"
        x: divider.x + divider.width
        width: parent.width - x
        height: parent.height

        Column {
            id: header
            x: 20
            width: parent.width - 40
            topPadding: 8
            bottomPadding: 12
            spacing: 2
            Text {
                width: parent.width
                text: bridge.title
                elide: Text.ElideRight
                font.pixelSize: 26
                font.bold: true
                color: pal.text
            }
            Text {
                text: bridge.subtitle
                font.pixelSize: 13
                color: pal.placeholderText
            }
            Text {
                objectName: "desktopNotice"
                width: parent.width
                visible: text !== ""
                text: bridge.desktopNotice
                wrapMode: Text.Wrap
                font.pixelSize: 12
                color: pal.text
            }
        }

        // Something asked of the window that came to nothing: one line until it times out or is
        // closed.
        Rectangle {
            id: noticeBar
            objectName: "notice"
            anchors.top: header.bottom
            x: 20
            width: parent.width - 40
            height: bridge.notice !== "" ? noticeText.implicitHeight + 16 : 0
            visible: height > 0
            radius: 6
            color: Qt.rgba(1.0, 0.62, 0.04, 0.16)
            border.color: Qt.rgba(1.0, 0.62, 0.04, 0.5)
            Accessible.role: Accessible.AlertMessage
            Accessible.name: bridge.notice
            SymbolIcon {
                id: noticeIcon
                anchors.left: parent.left
                anchors.leftMargin: 10
                anchors.verticalCenter: parent.verticalCenter
                symbol: "exclamationmark.circle.fill"
                pixelSize: 16
                tint: "#ff9f0a"
            }
            Text {
                id: noticeText
                anchors.left: noticeIcon.right
                anchors.leftMargin: 8
                anchors.right: noticeClose.left
                anchors.rightMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                text: bridge.notice
                wrapMode: Text.WordWrap
                font.pixelSize: 13
                color: pal.text
            }
            ToolButton {
                id: noticeClose
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                contentItem: SymbolIcon {
                    symbol: "xmark.circle.fill"
                    pixelSize: 16
                    tint: "#8e8e93"
                }
                Accessible.name: "Close"
                focusPolicy: Qt.StrongFocus
                onClicked: bridge.dismissNotice()
                FocusRing { visible: noticeClose.visualFocus }
            }
        }

        Item {
            id: contentArea
            anchors.top: noticeBar.bottom
            anchors.topMargin: noticeBar.visible ? 8 : 0
            anchors.bottom: parent.bottom
            width: parent.width

            BusyIndicator {
                anchors.centerIn: parent
                width: 48
                height: 48
                running: bridge.content === "loading"
                visible: running
            }
            EmptyState {
                anchors.centerIn: parent
                visible: bridge.content === "empty"
            }

            ListView {
                id: grid
                objectName: "grid"
                anchors.fill: parent
                visible: bridge.content === "grid"
                clip: true
                model: bridge.rows
                // One screen of look-ahead in all, half above and half below: tiles beyond it
                // do not exist.
                cacheBuffer: Math.max(0, height / 2)
                boundsBehavior: Flickable.StopAtBounds
                ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

                // The keyboard: the bridge moves the focus from film to film; the row that holds
                // it is the view's current one, so that it is made, scrolled to and focused.
                activeFocusOnTab: visible
                keyNavigationEnabled: false
                highlightFollowsCurrentItem: false
                currentIndex: -1
                Accessible.role: Accessible.List
                Accessible.name: bridge.title
                readonly property int pageRows: Math.max(1, Math.floor(height / (tileWidth * 9 / 16 + 6 + 16 + 16)))
                function followFocus(scroll) {
                    currentIndex = bridge.focusRow;
                    if (scroll && currentIndex >= 0)
                        positionViewAtIndex(currentIndex, ListView.Contain);
                }
                Connections {
                    target: bridge
                    function onFocusChanged() { grid.followFocus(grid.activeFocus); }
                    function onRowsChanged() { grid.followFocus(false); }
                }
                onActiveFocusChanged: {
                    if (activeFocus && bridge.focusTile < 0)
                        bridge.gridKey(Qt.Key_Home, 0, 1);
                    else if (activeFocus)
                        followFocus(true);
                }
                Keys.onPressed: event => {
                    if (event.key === Qt.Key_Menu || (event.key === Qt.Key_F10 && (event.modifiers & Qt.ShiftModifier))) {
                        if (currentItem)
                            currentItem.openMenu();
                        event.accepted = true;
                        return;
                    }
                    event.accepted = bridge.gridKey(event.key, event.modifiers, pageRows);
                }

                readonly property int inner: width - 40
                readonly property int columns: Math.max(1, Math.floor((inner + 16) / (180 + 16)))
                readonly property real tileWidth: Math.min(260, (inner - 16 * (columns - 1)) / columns)
                onColumnsChanged: bridge.setColumns(columns)
                Component.onCompleted: bridge.setColumns(columns)

                header: Item { width: 1; height: 20 }
                footer: Item { width: 1; height: 20 }

                Text {
                    y: 60
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    visible: grid.count === 0
                    text: bridge.nothingHere
                    font.pixelSize: 13
                    color: pal.placeholderText
                }

                delegate: FocusScope {
                    id: rowItem
                    required property var modelData
                    required property int index
                    readonly property bool isHeading: modelData.heading !== ""
                    function openMenu() {
                        for (var i = 0; i < tileRepeater.count; ++i) {
                            var t = tileRepeater.itemAt(i);
                            if (t && t.tileIndex === bridge.focusTile)
                                t.openMenu();
                        }
                    }
                    width: grid.width
                    height: (isHeading ? headingText.height : rowTiles.height) + modelData.after

                    Text {
                        id: headingText
                        visible: rowItem.isHeading
                        x: 20
                        text: rowItem.modelData.heading
                        font.pixelSize: 15
                        font.bold: true
                        color: pal.text
                        Accessible.role: Accessible.Heading
                        Accessible.name: text
                        Accessible.ignored: !visible
                    }
                    Row {
                        id: rowTiles
                        x: 20
                        spacing: 16
                        visible: !rowItem.isHeading
                        Repeater {
                            id: tileRepeater
                            model: rowItem.isHeading ? 0 : rowItem.modelData.count
                            delegate: FilmTile {
                                required property int index
                                tileIndex: rowItem.modelData.first + index
                                width: grid.tileWidth
                                focus: tileIndex === bridge.focusTile
                                onContextMenuRequested: (i, anchor) => contextMenu.openWith(bridge.tileMenu(i),
                                                                                            entry => bridge.triggerTileMenu(i, entry),
                                                                                            anchor)
                            }
                        }
                    }
                }
            }
        }
    }
}
