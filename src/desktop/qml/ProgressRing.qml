import QtQuick

// A circle's outline from the top, clockwise, to `fraction` of its length; to assistive
// technology a progress bar of `value` percent, named `label` (described in C++ by its name).
Canvas {
    objectName: "progressRing"
    property real fraction: 0
    property real value: 0
    property string label: "Download progress"

    Accessible.role: Accessible.ProgressBar
    Accessible.name: label

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
