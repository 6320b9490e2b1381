#include "ui/workflow/songimport.h"

#include "analysis/songanalysis.h"
#include "media/mediaengine.h"
#include "ui/components/filedialog.h"
#include "ui/components/playerwidget.h"

#include <QLineEdit>

namespace tarvelin {

void loadSong(const QString &path, QLineEdit *pathBox, PlayerWidget *player, SongAnalysis *analysis)
{
    pathBox->setText(path);
    player->setUrl(pathBox->text());
    player->closeMedia();
    // The waveform of the song now in the player.
    const QString loaded = player->engine()->path();
    if (loaded != analysis->path()) {
        if (loaded.isEmpty())
            analysis->clear();
        else
            analysis->analyse(loaded);
    }
}

void importSong(FileDialog &dialog, QLineEdit *pathBox, PlayerWidget *player, SongAnalysis *analysis,
                QWidget *parent)
{
    // A cancelled dialog must not hand the player its song again: that would
    // restart it and lose the place the user is tagging at.
    if (!dialog.ShowOpen(parent))
        return;
    loadSong(dialog.FileName, pathBox, player, analysis);
}

} // namespace tarvelin
