#pragma once

class QLineEdit;
class QString;
class QWidget;

namespace tarvelin {

class FileDialog;
class PlayerWidget;
class SongAnalysis;

// Every way a song comes into the window (导入歌曲, a restored recovery
// file) goes through here: its path shows in the path box, the player gets
// the path read back from the box and stands ready at its start, and the
// song's analysis (waveform, onsets) starts unless it already holds it.
void loadSong(const QString &path, QLineEdit *pathBox, PlayerWidget *player, SongAnalysis *analysis);

// "导入歌曲": asks for an audio file and loads it as above. A cancelled
// dialog changes nothing at all.
void importSong(FileDialog &dialog, QLineEdit *pathBox, PlayerWidget *player, SongAnalysis *analysis,
                QWidget *parent);

} // namespace tarvelin
