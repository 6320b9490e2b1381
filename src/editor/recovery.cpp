#include "editor/recovery.h"

#include "desktop/platformtools.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextDocument>

#include <algorithm>

namespace tarvelin {

namespace {

const QString FileSuffix = QStringLiteral(".json");
const QString LockSuffix = QStringLiteral(".lock");
constexpr int FormatVersion = 1;
// A write that failed is tried again after at least this long.
constexpr int RetryMs = 2000;

// The editor's text as the user sees its lines: blocks separated by "\n";
// no-break spaces and line separators inside a line are kept.
QString editorText(const QPlainTextEdit *editor)
{
    QString text = editor->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

// "歌曲：…", "保存位置：…" and when it was written, for the question.
QString describe(const RecoveryRecord &record)
{
    const auto orNone = [](const QString &path) {
        return path.isEmpty() ? QStringLiteral("（无）") : QDir::toNativeSeparators(path);
    };
    const int lines = record.text.isEmpty() ? 0 : int(record.text.count(QLatin1Char('\n'))) + 1;
    return QStringLiteral("歌曲：%1\n保存位置：%2\n最后记录：%3\n共 %4 行")
        .arg(orNone(record.songPath), orNone(record.savePath),
             record.written.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
        .arg(lines);
}

} // namespace

QString defaultRecoveryDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/recovery");
}

std::optional<RecoveryRecord> readRecoveryFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument json = QJsonDocument::fromJson(file.readAll());
    const QJsonObject o = json.object();
    if (!json.isObject() || o.value(QStringLiteral("version")).toInt() != FormatVersion
        || !o.value(QStringLiteral("text")).isString())
        return std::nullopt;
    return RecoveryRecord{o.value(QStringLiteral("text")).toString(), o.value(QStringLiteral("song")).toString(),
                          o.value(QStringLiteral("save")).toString(),
                          QDateTime::fromString(o.value(QStringLiteral("written")).toString(), Qt::ISODateWithMs),
                          o.value(QStringLiteral("superseded")).toBool()};
}

RecoveryJournal::RecoveryJournal(QPlainTextEdit *editor, const QString &directory, QObject *parent)
    : QObject(parent),
      m_editor(editor),
      m_directory(directory)
{
    QDir().mkpath(m_directory);
    const QDir dir(m_directory);
    const QString stem =
        QStringLiteral("%1-%2").arg(QCoreApplication::applicationPid()).arg(QDateTime::currentMSecsSinceEpoch());
    // A name no one holds and no file left behind uses; tries a few.
    for (int n = 0; n < 100; ++n) {
        m_baseName = n == 0 ? stem : QStringLiteral("%1-%2").arg(stem).arg(n);
        if (QFileInfo::exists(dir.filePath(m_baseName + LockSuffix)) || QFileInfo::exists(filePath()))
            continue;
        m_lock = std::make_unique<QLockFile>(dir.filePath(m_baseName + LockSuffix));
        // Only a lock whose owner is gone is stale, however old it is.
        m_lock->setStaleLockTime(0);
        if (m_lock->tryLock(0))
            break;
    }

    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &RecoveryJournal::write);
    QTextDocument *document = editor->document();
    connect(document, &QTextDocument::contentsChanged, this, &RecoveryJournal::changed);
    connect(document, &QTextDocument::modificationChanged, this, [this](bool modified) {
        if (modified) {
            changed();
        } else {
            // Saved (or undone back to the saved text): nothing to recover,
            // and the save's path is where the text belongs from now on.
            if (m_savePath && !m_savePath().isEmpty())
                m_savedTo = m_savePath();
            m_timer.stop();
            removeFile();
        }
    });
}

RecoveryJournal::~RecoveryJournal() = default;

void RecoveryJournal::setPathSources(std::function<QString()> songPath, std::function<QString()> savePath)
{
    m_songPath = std::move(songPath);
    m_savePath = std::move(savePath);
}

QString RecoveryJournal::filePath() const
{
    return QDir(m_directory).filePath(m_baseName + FileSuffix);
}

void RecoveryJournal::changed()
{
    if (m_discarded || !m_editor || !m_editor->document()->isModified() || m_timer.isActive())
        return;
    const qint64 since = m_sinceWrite.isValid() ? m_sinceWrite.elapsed() : m_intervalMs;
    m_timer.start(int(std::max<qint64>(0, m_intervalMs - since)));
}

void RecoveryJournal::write()
{
    if (m_discarded || !m_editor)
        return;
    if (!m_editor->document()->isModified()) {
        removeFile();
        return;
    }
    m_sinceWrite.start();
    const QJsonObject o{
        {QStringLiteral("version"), FormatVersion},
        {QStringLiteral("song"), m_songPath ? m_songPath() : QString()},
        {QStringLiteral("save"), m_savedTo},
        {QStringLiteral("written"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
        {QStringLiteral("text"), editorText(m_editor)},
    };
    QDir().mkpath(m_directory);
    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(o).toJson(QJsonDocument::Indented)) < 0
        || !file.commit()) {
        if (m_protecting)
            qWarning("Tarvelin: cannot write the recovery file %s: %s", qPrintable(filePath()),
                     qPrintable(file.errorString()));
        setProtecting(false);
        // Tried again later even without a change: the folder may come back.
        m_timer.start(std::max(m_intervalMs, RetryMs));
        return;
    }
    setProtecting(true);
    Q_EMIT written();
}

void RecoveryJournal::setProtecting(bool protecting)
{
    if (protecting == m_protecting)
        return;
    m_protecting = protecting;
    Q_EMIT protectionChanged(protecting, QDir::toNativeSeparators(m_directory));
}

void RecoveryJournal::removeFile()
{
    const QString path = filePath();
    if (!QFileInfo::exists(path) || QFile::remove(path))
        return;
    // A folder that takes no changes may still let the file itself be
    // rewritten: the copy is marked as outdated, so it is never offered
    // in place of what was saved since.
    QFile file(path);
    const QJsonObject o{
        {QStringLiteral("version"), FormatVersion},
        {QStringLiteral("superseded"), true},
        {QStringLiteral("written"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
        {QStringLiteral("text"), QString()},
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(QJsonDocument(o).toJson()) < 0
        || !file.flush())
        qWarning("Tarvelin: cannot remove or mark the outdated recovery file %s: %s", qPrintable(path),
                 qPrintable(file.errorString()));
}

void RecoveryJournal::discard()
{
    m_discarded = true;
    m_timer.stop();
    removeFile();
}

bool RecoveryJournal::offerLeftovers(PlatformTools &tools, QWidget *parent,
                                     const std::function<void(const QString &)> &loadSong)
{
    struct Leftover {
        QString path;
        RecoveryRecord record;
        std::unique_ptr<QLockFile> lock; // held until it is dealt with
    };
    std::vector<Leftover> leftovers;
    const QDir dir(m_directory);
    for (const QFileInfo &info : dir.entryInfoList({QStringLiteral("*") + FileSuffix}, QDir::Files)) {
        if (info.absoluteFilePath() == QFileInfo(filePath()).absoluteFilePath())
            continue;
        auto lock = std::make_unique<QLockFile>(dir.filePath(info.completeBaseName() + LockSuffix));
        lock->setStaleLockTime(0);
        if (!lock->tryLock(0))
            continue; // its instance still runs
        auto record = readRecoveryFile(info.absoluteFilePath());
        if (!record)
            continue; // not ours to judge; left as it is
        if (record->superseded) {
            // Saved after it was written, but it could not be removed then.
            QFile::remove(info.absoluteFilePath());
            continue;
        }
        leftovers.push_back({info.absoluteFilePath(), *record, std::move(lock)});
    }
    std::stable_sort(leftovers.begin(), leftovers.end(),
                     [](const Leftover &a, const Leftover &b) { return a.record.written > b.record.written; });

    for (Leftover &leftover : leftovers) {
        switch (tools.askRestoreLyrics(parent, describe(leftover.record))) {
        case PlatformTools::RestoreAnswer::Discard:
            QFile::remove(leftover.path);
            continue;
        case PlatformTools::RestoreAnswer::Later:
            return false;
        case PlatformTools::RestoreAnswer::Restore:
            break;
        }
        if (m_editor) {
            m_editor->setPlainText(leftover.record.text);
            m_editor->document()->setModified(true);
        }
        m_savedTo = leftover.record.savePath;
        if (!leftover.record.songPath.isEmpty())
            loadSong(leftover.record.songPath);
        // This instance's own file holds the text from now on.
        m_timer.stop();
        write();
        if (QFileInfo::exists(filePath()))
            QFile::remove(leftover.path);
        return true;
    }
    return false;
}

} // namespace tarvelin
