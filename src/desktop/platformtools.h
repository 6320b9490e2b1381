#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>

class QFileDialog;
class QWidget;

namespace tarvelin {

// Everything the program asks of the desktop: file choosers, message boxes,
// the unsaved-work question and the browser. The window and the actions only
// talk to this interface, so tests hand in a scripted fake and never see a
// modal dialog.
class PlatformTools {
public:
    enum class FileMode { Open, Save };
    enum class CloseAnswer { Save, Discard, Cancel };
    // Later: the question was closed without an answer.
    enum class RestoreAnswer { Restore, Discard, Later };

    virtual ~PlatformTools() = default;

    // Shows a modal file chooser. Returns the chosen file's full path, or
    // nothing when the user cancelled.
    virtual std::optional<QString> chooseFile(QWidget *parent, FileMode mode, const QString &title,
                                              const QStringList &nameFilters) = 0;

    // A modal error message; returns when the user has read it.
    virtual void showError(QWidget *parent, const QString &title, const QString &text) = 0;

    // Asked when the window is closed while the lyrics have unsaved changes.
    virtual CloseAnswer askSaveBeforeClose(QWidget *parent) = 0;

    // Opens an address in the user's browser without waiting for it.
    virtual bool openUrl(const QUrl &url) = 0;

    // A modal note that something went well; returns when the user has read it.
    virtual void showInformation(QWidget *parent, const QString &title, const QString &text) = 0;

    // Asked at start-up for lyrics a run that ended without a clean close
    // left unsaved: "恢复上次未保存的歌词？" with what they are (details).
    virtual RestoreAnswer askRestoreLyrics(QWidget *parent, const QString &details) = 0;

    // A modal question with 是 (the default button) and 否; true for 是.
    // Without an answer (a desktop that shows no questions) nothing should
    // change, so the base answers 否.
    virtual bool askYesNo(QWidget *parent, const QString &title, const QString &text);
    // A modal one-line entry starting with `text`; what was typed, or nothing
    // when cancelled (the base's answer). The caller checks the answer, so
    // nothing typed is dropped or cut on the way.
    virtual std::optional<QString> askText(QWidget *parent, const QString &title, const QString &label,
                                           const QString &text);
};

// The real desktop: Qt's file dialogs and message boxes, QDesktopServices.
class DesktopTools : public PlatformTools {
public:
    // The file chooser chooseFile() runs: Qt's own dialog (never the
    // desktop's), its file sizes and dates in the default locale.
    static std::unique_ptr<QFileDialog> fileDialog(QWidget *parent, FileMode mode, const QString &title,
                                                   const QStringList &nameFilters);

    std::optional<QString> chooseFile(QWidget *parent, FileMode mode, const QString &title,
                                      const QStringList &nameFilters) override;
    void showError(QWidget *parent, const QString &title, const QString &text) override;
    CloseAnswer askSaveBeforeClose(QWidget *parent) override;
    bool openUrl(const QUrl &url) override;
    void showInformation(QWidget *parent, const QString &title, const QString &text) override;
    RestoreAnswer askRestoreLyrics(QWidget *parent, const QString &details) override;
    bool askYesNo(QWidget *parent, const QString &title, const QString &text) override;
    std::optional<QString> askText(QWidget *parent, const QString &title, const QString &label,
                                   const QString &text) override;
};

} // namespace tarvelin
