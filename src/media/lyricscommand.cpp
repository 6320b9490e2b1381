#include "media/lyricscommand.h"

#include "core/lyricsexport.h"
#include "core/lyricstext.h"
#include "media/lyricsembed.h"
#include "media/songtags.h"

#include <QDir>
#include <QHash>
#include <QTextStream>

#include <cmath>

namespace tarvelin {

namespace {

using namespace Qt::StringLiterals;

QString shown(const QString &path) { return QDir::toNativeSeparators(path); }

// The options that take a value, and those that do not.
const QStringList &valueOptions()
{
    static const QStringList names{u"--export"_s, u"--output"_s, u"--encoding"_s, u"--repeats"_s, u"--format"_s,
                                   u"--song"_s,   u"--line-endings"_s, u"--embed"_s, u"--into"_s};
    return names;
}
const QStringList &flagOptions()
{
    static const QStringList names{u"--apply-offset"_s, u"--strip-words"_s, u"--replace-unencodable"_s};
    return names;
}

struct Parsed {
    QHash<QString, QString> values;
    QStringList flags;
    QString error;
};

Parsed parse(const QStringList &arguments)
{
    Parsed parsed;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments[i];
        QString value;
        bool inlineValue = false;
        if (const qsizetype eq = name.indexOf(u'='); name.startsWith(u"--") && eq > 0) {
            value = name.sliced(eq + 1);
            name = name.first(eq);
            inlineValue = true;
        }
        if (flagOptions().contains(name) && !inlineValue) {
            parsed.flags << name;
        } else if (valueOptions().contains(name)) {
            if (!inlineValue) {
                if (i + 1 >= arguments.size()) {
                    parsed.error = u"选项 %1 后面缺少值"_s.arg(name);
                    return parsed;
                }
                value = arguments[++i];
            }
            if (parsed.values.contains(name)) {
                parsed.error = u"选项 %1 给了不止一次"_s.arg(name);
                return parsed;
            }
            parsed.values.insert(name, value);
        } else {
            parsed.error = name.startsWith(u'-') ? u"未知的选项“%1”"_s.arg(name) : u"多余的参数“%1”"_s.arg(name);
            return parsed;
        }
    }
    return parsed;
}

int usage(QTextStream &err, const QString &message)
{
    err << u"tarvelin：%1\n用 tarvelin --help 查看用法。\n"_s.arg(message);
    err.flush();
    return CommandUsage;
}

int failed(QTextStream &err, const QString &message)
{
    err << u"tarvelin：%1\n"_s.arg(message);
    err.flush();
    return CommandFailed;
}

// Options that belong to the other command, or to none given.
QString misplaced(const Parsed &parsed, const QStringList &allowed)
{
    for (auto it = parsed.values.cbegin(); it != parsed.values.cend(); ++it)
        if (!allowed.contains(it.key()))
            return it.key();
    for (const QString &flag : parsed.flags)
        if (!allowed.contains(flag))
            return flag;
    return {};
}

int runExport(const Parsed &parsed, QTextStream &err)
{
    if (const QString wrong = misplaced(parsed, {u"--export"_s, u"--output"_s, u"--encoding"_s, u"--repeats"_s,
                                                 u"--format"_s, u"--song"_s, u"--line-endings"_s, u"--apply-offset"_s,
                                                 u"--strip-words"_s, u"--replace-unencodable"_s});
        !wrong.isEmpty())
        return usage(err, u"选项 %1 不能与 --export 一起用"_s.arg(wrong));
    const QString input = parsed.values.value(u"--export"_s);
    const QString output = parsed.values.value(u"--output"_s);
    if (output.isEmpty())
        return usage(err, u"--export 需要用 --output 指定输出文件"_s);

    ExportOptions options;
    const auto pick = [&](const QString &name, auto fromKey, auto &value, const QString &allowed) -> QString {
        if (!parsed.values.contains(name) || fromKey(parsed.values.value(name), value))
            return {};
        return u"%1 的值“%2”无效，可用：%3"_s.arg(name, parsed.values.value(name), allowed);
    };
    for (const QString &problem :
         {pick(u"--encoding"_s, encodingFromKey, options.encoding, u"utf-8、utf-8-bom、gb18030、gbk"_s),
          pick(u"--repeats"_s, repeatsFromKey, options.repeats, u"keep、collapse、expand"_s),
          pick(u"--format"_s, formatFromKey, options.format, u"lrc、srt、ass"_s)}) {
        if (!problem.isEmpty())
            return usage(err, problem);
    }
    const QString endings = parsed.values.value(u"--line-endings"_s, u"crlf"_s).toLower();
    if (endings != u"crlf" && endings != u"lf")
        return usage(err, u"--line-endings 的值“%1”无效，可用：crlf、lf"_s.arg(endings));
    options.crlf = endings == u"crlf";
    options.applyOffset = parsed.flags.contains(u"--apply-offset"_s);
    options.stripWords = parsed.flags.contains(u"--strip-words"_s);
    options.replaceUnencodable = parsed.flags.contains(u"--replace-unencodable"_s);

    const LyricsFile lyrics = readLyricsFile(input);
    if (!lyrics.error.isEmpty())
        return failed(err, u"无法读取歌词文件“%1”：%2"_s.arg(shown(input), lyrics.error));
    if (parsed.values.contains(u"--song"_s)) {
        const QString song = parsed.values.value(u"--song"_s);
        const double seconds = readSongTags(song).duration;
        if (!(seconds > 0) || !std::isfinite(seconds))
            return failed(err, u"无法读出歌曲“%1”的长度"_s.arg(shown(song)));
        options.songMs = qint64(seconds * 1000);
    }

    const ExportResult result = exportLyrics(lyrics.lines, options);
    if (!result.unencodable.isEmpty() && !options.replaceUnencodable) {
        return failed(err, u"%1 编码无法表示以下 %2 个字符，没有写入“%3”：\n  %4\n加上 --replace-unencodable 可把它们换成“?”后写入。"_s
                               .arg(encodingKey(options.encoding).toUpper())
                               .arg(result.unencodable.size())
                               .arg(shown(output), describeUnencodable(result.unencodable).join(u"\n  "_s)));
    }
    if (const QString error = writeFileAtomically(output, result.bytes); !error.isEmpty())
        return failed(err, u"无法写入“%1”：%2"_s.arg(shown(output), error));
    return CommandOk;
}

int runEmbed(const Parsed &parsed, QTextStream &err)
{
    if (const QString wrong = misplaced(parsed, {u"--embed"_s, u"--into"_s}); !wrong.isEmpty())
        return usage(err, u"选项 %1 不能与 --embed 一起用"_s.arg(wrong));
    const QString song = parsed.values.value(u"--into"_s);
    if (song.isEmpty())
        return usage(err, u"--embed 需要用 --into 指定歌曲文件"_s);
    const QString input = parsed.values.value(u"--embed"_s);
    const LyricsFile lyrics = readLyricsFile(input);
    if (!lyrics.error.isEmpty())
        return failed(err, u"无法读取歌词文件“%1”：%2"_s.arg(shown(input), lyrics.error));
    if (const QString error = embedLyrics(song, lyrics.lines); !error.isEmpty())
        return failed(err, u"无法把歌词写入“%1”：%2"_s.arg(shown(song), error));
    return CommandOk;
}

} // namespace

bool isLyricsCommand(const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        const QString name = argument.section(u'=', 0, 0);
        if (name == u"--export" || name == u"--embed" || name == u"--help" || name == u"-h")
            return true;
    }
    return false;
}

QString lyricsCommandHelp()
{
    return u"用法：\n"
           "  tarvelin                     打开窗口\n"
           "  tarvelin --export 歌词.lrc --output 输出文件 [选项]\n"
           "                               把歌词导出为播放器需要的格式，不打开窗口\n"
           "  tarvelin --embed 歌词.lrc --into 歌曲\n"
           "                               把歌词写入歌曲文件（MP3、FLAC、Ogg、M4A）\n"
           "  tarvelin --help              显示本说明\n"
           "\n"
           "导出选项：\n"
           "  --encoding utf-8|utf-8-bom|gb18030|gbk\n"
           "                               编码（默认 utf-8）；gbk 适合老式 MP3 播放器和车载音响\n"
           "  --repeats keep|collapse|expand\n"
           "                               重复行：照原样（默认）、合并为一行多个时间、展开为每个时间一行\n"
           "  --apply-offset               把 [offset:] 计入每个时间标签并去掉它\n"
           "  --strip-words                去掉逐字时间标签 <mm:ss.xx>\n"
           "  --format lrc|srt|ass         输出格式（默认 lrc）；srt、ass 为视频字幕，ass 带卡拉 OK 逐字效果\n"
           "  --song 歌曲                  从歌曲读出时长，用于字幕最后一行的结束时间\n"
           "  --line-endings crlf|lf       换行符（默认 crlf）\n"
           "  --replace-unencodable        编码无法表示的字符换成“?”后照样写入（否则列出这些字符并不写入）\n"
           "\n"
           "输入的歌词按导入时的规则识别编码。输出文件要么完整写入，要么保持原样。\n"
           "退出码：0 成功；1 读写失败或有无法编码的字符；2 命令行有误。\n"_s;
}

int runLyricsCommand(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    if (arguments.contains(u"--help"_s) || arguments.contains(u"-h"_s)) {
        out << lyricsCommandHelp();
        out.flush();
        return CommandOk;
    }
    const Parsed parsed = parse(arguments);
    if (!parsed.error.isEmpty())
        return usage(err, parsed.error);
    const bool exporting = parsed.values.contains(u"--export"_s);
    const bool embedding = parsed.values.contains(u"--embed"_s);
    if (exporting == embedding)
        return usage(err, exporting ? u"--export 与 --embed 不能同时使用"_s : u"需要 --export 或 --embed"_s);
    return exporting ? runExport(parsed, err) : runEmbed(parsed, err);
}

} // namespace tarvelin
