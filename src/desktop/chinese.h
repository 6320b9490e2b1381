#pragma once

class QCoreApplication;

namespace tarvelin {

// Installs Qt's own Simplified Chinese translations (file dialogs, standard
// buttons, Qt's own questions) and makes Chinese (China) the default locale,
// whatever the system's: every word on screen is Chinese. Returns false when
// the translations are not installed (Debian's qt6-translations-l10n); Qt
// then speaks English.
bool installChineseTranslations(QCoreApplication &app);

} // namespace tarvelin
