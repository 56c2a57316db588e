import QtQuick
import QtQuick.Controls

// The sidebar: "Library" and "Categories" rows with their counts; the detail area follows the
// chosen row.
FocusScope {
    id: sidebar

    signal contextMenuRequested(string key, Item anchor)

    SystemPalette { id: pal }

    // One stop of the Tab chain; Up and Down choose the row and the detail area follows at once.
    activeFocusOnTab: true
    Accessible.role: Accessible.List
    Accessible.name: "Sidebar"
    Keys.onPressed: event => {
        if (event.key === Qt.Key_Menu || (event.key === Qt.Key_F10 && (event.modifiers & Qt.ShiftModifier))) {
            sidebar.contextMenuRequested(bridge.selectionKey, sidebar.selectedRow);
            event.accepted = true;
        } else {
            event.accepted = bridge.sidebarKey(event.key);
        }
    }
    property Item selectedRow: null

    Flickable {
        anchors.fill: parent
        contentHeight: column.height + 24
        clip: true
        boundsBehavior: Flickable.StopAtBounds

        Column {
            id: column
            y: 12
            width: parent.width
            spacing: 2

            Repeater {
                model: bridge.sidebar
                delegate: Column {
                    required property var modelData
                    width: column.width
                    spacing: 2

                    Text {
                        x: 18
                        topPadding: 10
                        bottomPadding: 4
                        text: modelData.header
                        font.pixelSize: 11
                        font.bold: true
                        color: pal.placeholderText
                        Accessible.role: Accessible.Heading
                        Accessible.name: text
                    }
                    Repeater {
                        model: modelData.rows
                        delegate: Rectangle {
                            id: row
                            required property var modelData
                            readonly property bool selected: bridge.selectionKey === modelData.key
                            onSelectedChanged: if (selected) sidebar.selectedRow = row
                            Component.onCompleted: if (selected) sidebar.selectedRow = row
                            Accessible.role: Accessible.ListItem
                            Accessible.name: modelData.title + ", " + modelData.badge
                            Accessible.selectable: true
                            Accessible.selected: selected
                            // The chosen row holds the sidebar's focus, so that a screen reader
                            // reads it out.
                            focus: selected
                            FocusRing {
                                visible: row.activeFocus
                                gap: 2
                            }
                            x: 10
                            width: column.width - 20
                            height: 28
                            radius: 6
                            color: selected ? pal.highlight : (rowArea.containsMouse ? Qt.rgba(pal.text.r, pal.text.g, pal.text.b, 0.06) : "transparent")

                            SymbolIcon {
                                id: icon
                                x: 8
                                anchors.verticalCenter: parent.verticalCenter
                                symbol: row.modelData.symbol
                                pixelSize: 16
                                tint: row.selected ? pal.highlightedText : pal.highlight
                            }
                            Text {
                                anchors.left: icon.right
                                anchors.leftMargin: 8
                                anchors.right: count.left
                                anchors.rightMargin: 6
                                anchors.verticalCenter: parent.verticalCenter
                                text: row.modelData.title
                                elide: Text.ElideRight
                                font.pixelSize: 13
                                color: row.selected ? pal.highlightedText : pal.text
                            }
                            Text {
                                id: count
                                anchors.right: parent.right
                                anchors.rightMargin: 10
                                anchors.verticalCenter: parent.verticalCenter
                                text: row.modelData.badge
                                font.pixelSize: 12
                                color: row.selected ? pal.highlightedText : pal.placeholderText
                            }
                            MouseArea {
                                id: rowArea
                                anchors.fill: parent
                                hoverEnabled: true
                                acceptedButtons: Qt.LeftButton | Qt.RightButton
                                onClicked: mouse => {
                                    if (mouse.button === Qt.RightButton)
                                        sidebar.contextMenuRequested(row.modelData.key, null);
                                    else
                                        bridge.selectionKey = row.modelData.key;
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}
