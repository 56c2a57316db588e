import QtQuick
import QtQuick.Controls

// The screen of a catalogue with nothing to show: what is missing and what to do about it.
Column {
    id: empty
    property var state: bridge.emptyState

    spacing: 10
    width: 460

    SystemPalette { id: pal }

    SymbolIcon {
        anchors.horizontalCenter: parent.horizontalCenter
        symbol: empty.state.symbol
        pixelSize: 44
        tint: pal.placeholderText
    }
    Text {
        width: parent.width
        horizontalAlignment: Text.AlignHCenter
        text: empty.state.label
        font.pixelSize: 20
        font.bold: true
        color: pal.text
    }
    Text {
        width: parent.width
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        text: empty.state.description
        font.pixelSize: 13
        color: pal.placeholderText
    }
    // Why the last try failed; the button below tries again.
    Text {
        objectName: "emptyError"
        width: parent.width
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        visible: text !== ""
        text: empty.state.error || ""
        font.pixelSize: 13
        color: "#d70015"
        Accessible.role: Accessible.AlertMessage
    }
    Item { width: 1; height: 4 }
    Row {
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 10
        Repeater {
            model: empty.state.buttons
            delegate: Button {
                required property var modelData
                required property int index
                text: modelData.title
                highlighted: modelData.prominent
                // At work: not clickable again, and a spinner says so.
                enabled: !modelData.busy
                rightPadding: modelData.busy ? 36 : leftPadding
                BusyIndicator {
                    anchors.right: parent.right
                    anchors.rightMargin: 8
                    anchors.verticalCenter: parent.verticalCenter
                    width: 22
                    height: 22
                    running: modelData.busy
                    visible: running
                }
                // Prominent: filled with the accent colour, not only outlined in it.
                palette.button: modelData.prominent ? pal.highlight : pal.button
                palette.buttonText: modelData.prominent ? pal.highlightedText : pal.buttonText
                onClicked: bridge.triggerEmptyButton(index)
                Keys.onReturnPressed: clicked()
                Keys.onEnterPressed: clicked()
                FocusRing { visible: parent.visualFocus }
            }
        }
    }
}
