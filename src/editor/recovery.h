#pragma once

// Unsaved lyrics survive a crash or a power cut: while the editor holds
// changes that were never saved, its text goes to a recovery file of this
// running instance; the next start offers what an instance that is gone left
// behind.
//
// Each running instance owns its own pair of files in the recovery folder,
// "<pid>-<start ms>.json" and its lock "<pid>-<start ms>.lock" (a QLockFile,
// held while the instance runs), so two instances never write the same file.
// A recovery file whose lock can be taken belongs to no running instance.
//
// When the file cannot be written (the folder is read-only, missing, full),
// protectionChanged() says so once, and once more when a write succeeds
// again; meanwhile a write is tried again every interval. When the text is
// saved and an older copy cannot be removed, the copy is overwritten in
// place as "superseded", which is never offered and goes at the next start.

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QLockFile;
class QPlainTextEdit;
class QWidget;

namespace tarvelin {

class PlatformTools;

// The recovery folder under the user's data folder (AppDataLocation).
QString defaultRecoveryDirectory();

// What a recovery file holds.
struct RecoveryRecord {
    QString text;     // the editor's raw text (blocks end in U+2029)
    QString songPath; // empty: no song
    QString savePath; // empty: never saved
    QDateTime written;
    bool superseded = false; // saved since; nothing to recover
};

// The record in a recovery file; nothing when it is missing or not one.
std::optional<RecoveryRecord> readRecoveryFile(const QString &path);

// Keeps the recovery file of this instance in step with the editor. The
// first change after a quiet spell is written at once (on the next turn of
// the event loop); changes after that are written together, at most once per
// interval; nothing is written without a change. When the editor becomes
// unmodified (saved, or undone back to the saved text), the file goes. It
// stays when the object is destroyed without discard(): the program ends
// without a clean close only when something went wrong.
class RecoveryJournal : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultIntervalMs = 5000;

    // `directory` is created when needed. The lock is taken at once.
    RecoveryJournal(QPlainTextEdit *editor, const QString &directory, QObject *parent = nullptr);
    ~RecoveryJournal() override;

    void setIntervalMs(int ms) { m_intervalMs = ms; }
    // Where the song's path comes from when the file is written, and the
    // save's path when the editor has just been saved.
    void setPathSources(std::function<QString()> songPath, std::function<QString()> savePath);

    QString filePath() const;

    // A clean close: the file goes and nothing more is written.
    void discard();

    // False since a write of the file failed, until one succeeds.
    bool isProtecting() const { return m_protecting; }

    // Offers, one by one and newest first, the recovery files of instances
    // that no longer run. The first one the user restores goes into the
    // editor (which is expected to be empty; the text is marked unsaved),
    // its song into `loadSong`, and its file is replaced by this instance's
    // own; declined files are deleted; files after a restored one are kept
    // for the next start. Returns whether a text was restored.
    bool offerLeftovers(PlatformTools &tools, QWidget *parent,
                        const std::function<void(const QString &songPath)> &loadSong);

Q_SIGNALS:
    // After each successful write of the file.
    void written();
    // The unsaved text could not be written (`protecting` false; `folder` is
    // where it was meant to go), or can be again.
    void protectionChanged(bool protecting, const QString &folder);

private:
    void changed();
    void write();
    void removeFile();
    void setProtecting(bool protecting);

    QPointer<QPlainTextEdit> m_editor;
    QString m_directory;
    QString m_baseName;
    std::unique_ptr<QLockFile> m_lock;
    std::function<QString()> m_songPath;
    std::function<QString()> m_savePath;
    QTimer m_timer;
    QElapsedTimer m_sinceWrite;
    int m_intervalMs = DefaultIntervalMs;
    QString m_savedTo; // the last save's path (or the restored file's)
    bool m_discarded = false;
    bool m_protecting = true;
};

} // namespace tarvelin
