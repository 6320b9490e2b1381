#pragma once

class QCoreApplication;

namespace tarvelin {

// Installs Qt's own Simplified Chinese translations (file dialogs, standard
// buttons, Qt's own questions) whatever the locale: every word on screen is
// Chinese. Returns false when they are not installed (Debian's
// qt6-translations-l10n); Qt then speaks English.
bool installChineseTranslations(QCoreApplication &app);

} // namespace tarvelin
