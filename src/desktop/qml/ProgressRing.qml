import QtQuick

// A circle's outline from the top, clockwise, to `fraction` of its length; to assistive
// technology a progress bar of `value` percent.
Canvas {
    property real fraction: 0
    property real value: 0
    readonly property real minimumValue: 0
    readonly property real maximumValue: 100

    Accessible.role: Accessible.ProgressBar
    Accessible.name: "Download progress"

    width: 17
    height: 17
    onFractionChanged: requestPaint()
    onPaint: {
        var ctx = getContext("2d");
        ctx.reset();
        ctx.lineWidth = 2;
        ctx.lineCap = "round";
        ctx.strokeStyle = Qt.rgba(1, 1, 1, 0.9);
        ctx.beginPath();
        ctx.arc(width / 2, height / 2, width / 2 - 1, -Math.PI / 2, -Math.PI / 2 + 2 * Math.PI * fraction, false);
        ctx.stroke();
    }
}
