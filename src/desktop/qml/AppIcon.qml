import QtQuick

// The application's icon, drawn: a dusk sky over a ridge, the sun low on the horizon.
Item {
    id: icon
    implicitWidth: 60
    implicitHeight: 60

    Rectangle {
        anchors.fill: parent
        radius: width * 0.22
        clip: true
        gradient: Gradient {
            GradientStop { position: 0.0; color: "#2b3f7a" }
            GradientStop { position: 0.55; color: "#c76b8f" }
            GradientStop { position: 1.0; color: "#f4b26a" }
        }

        Rectangle {
            width: parent.width * 0.34
            height: width
            radius: width / 2
            x: parent.width * 0.52
            y: parent.height * 0.42
            color: "#ffe2a8"
        }
        Rectangle {
            width: parent.width * 1.1
            height: parent.height * 0.8
            x: -parent.width * 0.35
            y: parent.height * 0.62
            rotation: -14
            color: "#1e2540"
        }
        Rectangle {
            width: parent.width * 1.1
            height: parent.height * 0.8
            x: parent.width * 0.3
            y: parent.height * 0.7
            rotation: 18
            color: "#141a30"
        }
    }
}
