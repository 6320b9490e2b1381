#include "ui/workflow/songimport.h"

#include "ui/components/filedialog.h"
#include "ui/components/playerwidget.h"

#include <QLineEdit>

namespace tarvelin {

void importSong(FileDialog &opensong1, QLineEdit *Text1, PlayerWidget *music1, QWidget *parent)
{
    // A cancelled dialog must not hand the player its song again: that would
    // restart it and lose the place the user is tagging at.
    if (!opensong1.ShowOpen(parent))
        return;
    opensong1.CancelError = false;
    Text1->setText(opensong1.FileName);
    music1->setUrl(Text1->text());
    music1->closeMedia();
}

} // namespace tarvelin
