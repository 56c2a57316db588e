import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Window

// The settings: the header with the icon, name, version and credit, then a grouped form of the
// four switches and a second group of links. Every switch writes through at once and then shows
// what its setting holds.
Rectangle {
    id: root
    objectName: "settingsRoot"
    width: 460
    height: 420
    focus: true

    SystemPalette { id: pal }
    color: pal.window
    readonly property color secondary: Qt.rgba(pal.windowText.r, pal.windowText.g, pal.windowText.b, 0.55)

    Shortcut {
        sequence: "Ctrl+W"
        onActivated: root.Window.window.close()
    }
    Shortcut {
        sequence: "Escape"
        onActivated: root.Window.window.close()
    }

    // One row of the grouped form: a title on the left, a switch on the right. A click anywhere
    // on the row, its title included, flips the switch; so do Space and Enter once it has the
    // focus.
    component SwitchRow: Item {
        id: row
        property string title
        property bool on
        property alias enabledSwitch: toggle.enabled
        property bool lastRow: false
        signal toggledTo(bool value)
        Layout.fillWidth: true
        implicitHeight: 40

        function flip(value) {
            row.toggledTo(value)
            // The setting has the last word: a refused login item turns the switch off.
            toggle.checked = Qt.binding(() => row.on)
        }

        MouseArea {
            anchors.fill: parent
            enabled: toggle.enabled
            onClicked: row.flip(!toggle.checked)
        }
        Label {
            anchors.left: parent.left
            anchors.leftMargin: 14
            anchors.verticalCenter: parent.verticalCenter
            text: row.title
            color: toggle.enabled ? pal.windowText : pal.mid
            Accessible.ignored: true
        }
        Switch {
            id: toggle
            objectName: "switch:" + row.title
            anchors.right: parent.right
            anchors.rightMargin: 8
            anchors.verticalCenter: parent.verticalCenter
            checked: row.on
            focusPolicy: Qt.StrongFocus
            Accessible.name: row.title
            // Assistive technology presses without the switch's own toggled signal.
            Accessible.onPressAction: if (enabled) row.flip(!checked)
            Accessible.onToggleAction: if (enabled) row.flip(!checked)
            onToggled: row.flip(checked)
            Keys.onReturnPressed: row.flip(!checked)
            Keys.onEnterPressed: row.flip(!checked)
            FocusRing { visible: toggle.visualFocus; cornerRadius: 4 }
        }
        Rectangle {
            visible: !row.lastRow
            anchors.bottom: parent.bottom
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.leftMargin: 14
            height: 1
            color: Qt.rgba(pal.windowText.r, pal.windowText.g, pal.windowText.b, 0.1)
        }
    }

    // A link-style button; Tab reaches it and Space or Enter follows it.
    component LinkRow: Item {
        id: link
        property string title
        property bool lastRow: false
        signal activated()
        Layout.fillWidth: true
        implicitHeight: 36
        activeFocusOnTab: true
        Keys.onReturnPressed: link.activated()
        Keys.onEnterPressed: link.activated()
        Keys.onSpacePressed: link.activated()
        Accessible.role: Accessible.Link
        Accessible.name: link.title
        Accessible.onPressAction: link.activated()

        Label {
            id: linkLabel
            objectName: "link:" + link.title
            anchors.left: parent.left
            anchors.leftMargin: 14
            anchors.verticalCenter: parent.verticalCenter
            text: link.title
            color: pal.highlight
            font.underline: area.containsMouse
            Accessible.ignored: true
            FocusRing { visible: link.activeFocus; gap: 3; cornerRadius: 3 }
        }
        MouseArea {
            id: area
            anchors.fill: parent
            hoverEnabled: true
            cursorShape: Qt.PointingHandCursor
            onClicked: link.activated()
        }
        Rectangle {
            visible: !link.lastRow
            anchors.bottom: parent.bottom
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.leftMargin: 14
            height: 1
            color: Qt.rgba(pal.windowText.r, pal.windowText.g, pal.windowText.b, 0.1)
        }
    }

    component Group: Rectangle {
        default property alias rows: column.data
        Layout.fillWidth: true
        Layout.leftMargin: 20
        Layout.rightMargin: 20
        implicitHeight: column.implicitHeight
        radius: 8
        color: Qt.lighter(pal.window, 1.06)
        border.color: Qt.rgba(pal.windowText.r, pal.windowText.g, pal.windowText.b, 0.12)
        ColumnLayout {
            id: column
            anchors.left: parent.left
            anchors.right: parent.right
            spacing: 0
        }
    }

    // On a screen too small for the whole form (the window then is smaller too), it scrolls.
    Flickable {
        anchors.fill: parent
        contentWidth: Math.max(width, 460)
        contentHeight: Math.max(height, 420)
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

        ColumnLayout {
            anchors.fill: parent
            spacing: 0

            RowLayout {
                Layout.fillWidth: true
                Layout.margins: 20
                spacing: 14

                AppIcon {
                    Layout.preferredWidth: 60
                    Layout.preferredHeight: 60
                }
                ColumnLayout {
                    spacing: 1
                    Label {
                        text: settings.appName
                        font.pixelSize: 17
                        font.bold: true
                        color: pal.windowText
                    }
                    Label {
                        objectName: "version"
                        text: settings.versionLine
                        color: root.secondary
                    }
                    Label {
                        text: settings.creditLine
                        color: root.secondary
                    }
                }
                Item { Layout.fillWidth: true }
            }

            Group {
                SwitchRow {
                    title: settings.launchAtLoginTitle
                    on: settings.launchAtLogin
                    enabledSwitch: settings.launchAtLoginEnabled
                    onToggledTo: (value) => settings.setLaunchAtLogin(value)
                }
                SwitchRow {
                    title: settings.remindToMatchTitle
                    on: settings.remindToMatch
                    onToggledTo: (value) => settings.setRemindToMatch(value)
                }
                SwitchRow {
                    title: settings.pauseOnLowPowerTitle
                    on: settings.pauseOnLowPower
                    onToggledTo: (value) => settings.setPauseOnLowPower(value)
                }
                SwitchRow {
                    title: settings.autoUpdateTitle
                    on: settings.autoUpdate
                    lastRow: true
                    onToggledTo: (value) => settings.setAutoUpdate(value)
                }
            }

            Item { Layout.preferredHeight: 16 }

            Group {
                LinkRow {
                    title: settings.checkForUpdatesTitle
                    onActivated: settings.checkForUpdates()
                }
                LinkRow {
                    title: settings.sendFeedbackTitle
                    onActivated: settings.sendFeedback()
                }
                LinkRow {
                    title: settings.websiteTitle
                    lastRow: true
                    onActivated: settings.openWebsite()
                }
            }

            Item { Layout.fillHeight: true }
        }
    }
}
