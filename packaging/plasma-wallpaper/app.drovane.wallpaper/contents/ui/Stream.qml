import QtQuick 2.15
import org.kde.pipewire 0.1 as PipeWire

PipeWire.PipeWireSourceItem {
    nodeId: wallpaper.configuration.NodeId
}
