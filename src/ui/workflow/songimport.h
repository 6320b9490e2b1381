#pragma once

class QLineEdit;
class QWidget;

namespace tarvelin {

class FileDialog;
class PlayerWidget;

// "导入歌曲": asks for an audio file, shows its path in Text1 and hands the
// path, read back from Text1, to the player, which then stands ready at its
// start. A cancelled dialog changes nothing at all.
void importSong(FileDialog &opensong1, QLineEdit *Text1, PlayerWidget *music1, QWidget *parent);

} // namespace tarvelin
