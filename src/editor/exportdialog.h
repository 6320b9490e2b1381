#pragma once

// "导出歌词": the choices of an export (encoding, format, repeated lines,
// offset, word tags, line endings), a preview of the first lines of the
// result, and, for GBK, the characters it cannot hold with the choice of
// 取消 or 替换后写入. It also offers 写入歌曲 for songs whose type can hold
// lyrics, and says why not otherwise. The last choices are remembered.
//
// The dialog only chooses; the caller writes (see lyricsexportactions.h).

#include "core/lyricsexport.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tarvelin {

class ExportDialog : public QDialog {
    Q_OBJECT
public:
    // How the dialog was left besides Rejected.
    enum Outcome { ExportFile = QDialog::Accepted, EmbedIntoSong = QDialog::Accepted + 1 };

    // The lines to export; the song's path (empty: none) and length in ms
    // (0: unknown). Starts with the choices remembered from the last export.
    ExportDialog(const QStringList &lines, const QString &songPath, qint64 songMs, QWidget *parent);

    // The choices as they stand; replaceUnencodable is set when the export
    // button says 替换后写入.
    ExportOptions options() const;
    // The result for the choices, as the preview shows it.
    const ExportResult &result() const { return m_result; }

    // The file type of the chosen format for the save dialog: "*.lrc", "*.srt" or "*.ass".
    QString filePattern() const;

private:
    void update();
    void remember() const;

    QStringList m_lines;
    QString m_songPath;
    qint64 m_songMs = 0;
    ExportResult m_result;

    QComboBox *m_format = nullptr;
    QComboBox *m_encoding = nullptr;
    QComboBox *m_repeats = nullptr;
    QComboBox *m_lineEndings = nullptr;
    QCheckBox *m_applyOffset = nullptr;
    QCheckBox *m_stripWords = nullptr;
    QPlainTextEdit *m_preview = nullptr;
    QLabel *m_warning = nullptr;
    QPushButton *m_export = nullptr;
    QPushButton *m_embed = nullptr;
};

} // namespace tarvelin
