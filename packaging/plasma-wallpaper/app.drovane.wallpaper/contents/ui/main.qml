import QtQuick 2.15

// The film Drovane plays on this screen, as the video stream Drovane publishes for it; black
// while there is none. Drovane itself decides what plays and when: this only shows the stream.
Rectangle {
    color: "black"

    // A stream item of its own file, so that without PipeWire's QML module the screen stays black
    // instead of the wallpaper failing to load.
    Loader {
        anchors.fill: parent
        active: wallpaper.configuration.NodeId > 0
        source: "Stream.qml"
    }
}
