#pragma once

class QLineEdit;
class QWidget;

namespace tarvelin {

class FileDialog;
class PlayerWidget;

// "导入歌曲": asks for an audio file, shows its path in the path box and hands
// the path, read back from the box, to the player, which then stands ready at its
// start. A cancelled dialog changes nothing at all.
void importSong(FileDialog &dialog, QLineEdit *pathBox, PlayerWidget *player, QWidget *parent);

} // namespace tarvelin
