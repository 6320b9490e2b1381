#include "workflow/lyricstext.h"
