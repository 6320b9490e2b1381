#include "ui/workflow/songimport.h"

#include "ui/components/filedialog.h"
#include "ui/components/playerwidget.h"

#include <QLineEdit>

namespace tarvelin {

void importSong(FileDialog &dialog, QLineEdit *pathBox, PlayerWidget *player, QWidget *parent)
{
    // A cancelled dialog must not hand the player its song again: that would
    // restart it and lose the place the user is tagging at.
    if (!dialog.ShowOpen(parent))
        return;
    pathBox->setText(dialog.FileName);
    player->setUrl(pathBox->text());
    player->closeMedia();
}

} // namespace tarvelin
