import QtQuick

// One of the shipped icons, drawn in one colour.
Image {
    property string symbol
    property color tint: "black"
    property int pixelSize: 16

    width: pixelSize
    height: pixelSize
    sourceSize: Qt.size(pixelSize * Screen.devicePixelRatio, pixelSize * Screen.devicePixelRatio)
    source: symbol ? "image://icons/" + symbol + "/" + tint.toString().substring(1) : ""
    smooth: true
}
