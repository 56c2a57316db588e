import QtQuick 2.15
import QtQuick.Controls 2.15 as QQC2

// Nothing to set here: the film, and whether it plays, are chosen in Drovane.
QQC2.Label {
    property int cfg_NodeId
    text: "Shows the film that Drovane plays. Choose films in Drovane's library window; while Drovane is not running, the screen is black."
    wrapMode: Text.WordWrap
}
