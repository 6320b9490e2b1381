#include "workflow/lyricssave.h"

// Implemented with the lyrics saving.
namespace tarvelin {
bool saveLyrics(FileDialog &, QPlainTextEdit *, PlatformTools &, QWidget *)
{
    return false;
}
} // namespace tarvelin
