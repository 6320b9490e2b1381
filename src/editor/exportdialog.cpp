#include "editor/exportdialog.h"

#include "media/lyricsembed.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace tarvelin {

namespace {

using namespace Qt::StringLiterals;

// The preview shows this many lines of the result.
constexpr int PreviewLines = 12;
// The GBK warning names at most this many characters, then how many more.
constexpr int NamedCharacters = 12;

QComboBox *combo(QWidget *parent, const QString &name, const QList<std::pair<QString, QString>> &items)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(name);
    for (const auto &[text, key] : items)
        box->addItem(text, key);
    return box;
}

void select(QComboBox *box, const QString &key)
{
    if (const int index = box->findData(key); index >= 0)
        box->setCurrentIndex(index);
}

QString key(const QComboBox *box) { return box->currentData().toString(); }

} // namespace

ExportDialog::ExportDialog(const QStringList &lines, const QString &songPath, qint64 songMs, QWidget *parent)
    : QDialog(parent), m_lines(lines), m_songPath(songPath), m_songMs(songMs)
{
    setObjectName(u"exportDialog"_s);
    setWindowTitle(u"导出歌词"_s);

    m_format = combo(this, u"format"_s,
                     {{u"LRC 歌词"_s, u"lrc"_s}, {u"SRT 字幕（视频）"_s, u"srt"_s}, {u"ASS 卡拉 OK 字幕（视频）"_s, u"ass"_s}});
    m_encoding = combo(this, u"encoding"_s,
                       {{u"UTF-8（现今的播放软件）"_s, u"utf-8"_s}, {u"UTF-8 带 BOM"_s, u"utf-8-bom"_s},
                        {u"GB18030"_s, u"gb18030"_s}, {u"GBK（老式 MP3 播放器、车载音响）"_s, u"gbk"_s}});
    m_repeats = combo(this, u"repeats"_s,
                      {{u"照原样"_s, u"keep"_s}, {u"合并：[00:12.00][01:30.00]同一句"_s, u"collapse"_s},
                       {u"展开：每个时间一行，按时间排列"_s, u"expand"_s}});
    m_lineEndings = combo(this, u"lineEndings"_s, {{u"CR LF（Windows）"_s, u"crlf"_s}, {u"LF"_s, u"lf"_s}});
    m_applyOffset = new QCheckBox(u"把 [offset:] 计入每个时间标签并去掉它"_s, this);
    m_applyOffset->setObjectName(u"applyOffset"_s);
    m_stripWords = new QCheckBox(u"去掉逐字时间标签 <mm:ss.xx>"_s, this);
    m_stripWords->setObjectName(u"stripWords"_s);

    m_preview = new QPlainTextEdit(this);
    m_preview->setObjectName(u"preview"_s);
    m_preview->setReadOnly(true);
    m_preview->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_warning = new QLabel(this);
    m_warning->setObjectName(u"unencodable"_s);
    m_warning->setWordWrap(true);
    m_warning->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *form = new QFormLayout;
    form->addRow(u"格式："_s, m_format);
    form->addRow(u"编码："_s, m_encoding);
    form->addRow(u"重复行："_s, m_repeats);
    form->addRow(u"换行符："_s, m_lineEndings);
    form->addRow(QString(), m_applyOffset);
    form->addRow(QString(), m_stripWords);

    auto *buttons = new QDialogButtonBox(this);
    m_export = buttons->addButton(u"导出…"_s, QDialogButtonBox::AcceptRole);
    m_export->setObjectName(u"export"_s);
    m_embed = buttons->addButton(u"写入歌曲"_s, QDialogButtonBox::ActionRole);
    m_embed->setObjectName(u"embed"_s);
    QPushButton *cancel = buttons->addButton(u"取消"_s, QDialogButtonBox::RejectRole);
    cancel->setObjectName(u"cancel"_s);
    const QString unsupported = embedUnsupportedReason(songPath);
    m_embed->setEnabled(unsupported.isEmpty());
    m_embed->setToolTip(unsupported.isEmpty()
                            ? u"把歌词写入歌曲文件本身（MP3 的 SYLT/USLT，FLAC/Ogg 的 LYRICS，M4A 的歌词项），供从歌曲读歌词的播放器使用"_s
                            : unsupported);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        remember();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_embed, &QPushButton::clicked, this, [this] { done(EmbedIntoSong); });

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(new QLabel(u"预览（前 %1 行）："_s.arg(PreviewLines), this));
    layout->addWidget(m_preview, 1);
    layout->addWidget(m_warning);
    layout->addWidget(buttons);

    const QSettings settings;
    select(m_format, settings.value(u"export/format"_s).toString());
    select(m_encoding, settings.value(u"export/encoding"_s).toString());
    select(m_repeats, settings.value(u"export/repeats"_s).toString());
    select(m_lineEndings, settings.value(u"export/lineEndings"_s).toString());
    m_applyOffset->setChecked(settings.value(u"export/applyOffset"_s, false).toBool());
    m_stripWords->setChecked(settings.value(u"export/stripWords"_s, false).toBool());

    for (QComboBox *box : {m_format, m_encoding, m_repeats, m_lineEndings})
        connect(box, &QComboBox::currentIndexChanged, this, &ExportDialog::update);
    for (QCheckBox *box : {m_applyOffset, m_stripWords})
        connect(box, &QCheckBox::toggled, this, &ExportDialog::update);
    update();
    resize(560, 520);
}

ExportOptions ExportDialog::options() const
{
    ExportOptions options;
    formatFromKey(key(m_format), options.format);
    encodingFromKey(key(m_encoding), options.encoding);
    repeatsFromKey(key(m_repeats), options.repeats);
    options.crlf = key(m_lineEndings) != u"lf";
    options.applyOffset = m_applyOffset->isChecked();
    options.stripWords = m_stripWords->isChecked();
    options.songMs = m_songMs;
    options.replaceUnencodable = !m_result.unencodable.isEmpty();
    return options;
}

QString ExportDialog::filePattern() const
{
    return u"*."_s + key(m_format);
}

void ExportDialog::update()
{
    const bool lrc = key(m_format) == u"lrc";
    // Subtitles always take the offset into their times and spell out every
    // repeat; only the ASS karaoke uses word tags.
    m_repeats->setEnabled(lrc);
    m_applyOffset->setEnabled(lrc);
    m_stripWords->setEnabled(key(m_format) != u"srt");

    ExportOptions options = this->options();
    options.replaceUnencodable = true; // the preview shows what would be written
    m_result = exportLyrics(m_lines, options);

    const QList<UnencodableChar> &chars = m_result.unencodable;
    m_warning->setVisible(!chars.isEmpty());
    m_export->setText(chars.isEmpty() ? u"导出…"_s : u"替换后写入…"_s);
    if (!chars.isEmpty()) {
        QStringList named = describeUnencodable(chars.first(std::min<qsizetype>(chars.size(), NamedCharacters)));
        if (chars.size() > NamedCharacters)
            named << u"等，共 %1 个"_s.arg(chars.size());
        m_warning->setText(u"%1 无法表示以下字符，写入时会换成“?”：%2。不想替换就点“取消”，改好歌词再导出。"_s
                               .arg(m_encoding->currentText().section(u'（', 0, 0), named.join(u"、"_s)));
    }

    QStringList lines = m_result.text.split(options.crlf ? u"\r\n"_s : u"\n"_s);
    if (options.format == ExportFormat::Ass) {
        // The lyrics, not the style header.
        const qsizetype events = lines.indexOf(u"[Events]"_s);
        if (events >= 0)
            lines = lines.sliced(std::min(events + 2, lines.size()));
    }
    m_preview->setPlainText(lines.first(std::min<qsizetype>(lines.size(), PreviewLines)).join(u'\n'));
}

void ExportDialog::remember() const
{
    QSettings settings;
    settings.setValue(u"export/format"_s, key(m_format));
    settings.setValue(u"export/encoding"_s, key(m_encoding));
    settings.setValue(u"export/repeats"_s, key(m_repeats));
    settings.setValue(u"export/lineEndings"_s, key(m_lineEndings));
    settings.setValue(u"export/applyOffset"_s, m_applyOffset->isChecked());
    settings.setValue(u"export/stripWords"_s, m_stripWords->isChecked());
}

} // namespace tarvelin
