#pragma once

// Tarvelin without a window, for converting many files at once:
//   tarvelin --export IN.lrc --output OUT [--encoding …] [--repeats …]
//            [--apply-offset] [--strip-words] [--format lrc|srt|ass]
//            [--song SONG] [--replace-unencodable] [--line-endings crlf|lf]
//   tarvelin --embed IN.lrc --into SONG
//   tarvelin --help
// IN is read as an import is (encoding recognised); OUT is replaced
// atomically or not at all.

#include <QString>
#include <QStringList>

class QTextStream;

namespace tarvelin {

// Exit codes.
inline constexpr int CommandOk = 0;
inline constexpr int CommandFailed = 1;  // a file could not be read or written, characters GBK lacks
inline constexpr int CommandUsage = 2;   // the command line itself is wrong

// Whether the arguments (without the program name) ask for a command rather
// than the window.
bool isLyricsCommand(const QStringList &arguments);

// The usage text, in Chinese.
QString lyricsCommandHelp();

// Runs the command: messages go to `err` in Chinese, help to `out`.
int runLyricsCommand(const QStringList &arguments, QTextStream &out, QTextStream &err);

} // namespace tarvelin
