#include "tapping/tapmode.h"

#include "core/lrc.h"
#include "document/lyricsdocument.h"
#include "media/mediaengine.h"
#include "tapping/pressmoment.h"
#include "tapping/tapper.h"
#include "tapping/timingassist.h"
#include "tapping/wordtapping.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QInputMethodQueryEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>

namespace tarvelin {

namespace {

using Command = TapMode::Command;

// The tooltip of the 打轴 button: every key of the table, those that do the
// same on one line.
QString keysTip()
{
    QStringList lines{QStringLiteral("打轴模式（F2 开关）")};
    QStringList done;
    for (const TapMode::Key &key : TapMode::keys()) {
        const QString does = QString::fromUtf8(key.does);
        if (done.contains(does))
            continue;
        done << does;
        QStringList names;
        for (const TapMode::Key &same : TapMode::keys()) {
            const QString name = QString::fromUtf8(same.name);
            if (QString::fromUtf8(same.does) == does && !names.contains(name))
                names << name;
        }
        lines << names.join(QStringLiteral(" / ")) + QStringLiteral("：") + does;
    }
    return lines.join(QLatin1Char('\n'));
}

Qt::KeyboardModifiers plainModifiers(const QKeyEvent *event)
{
    return event->modifiers() & ~Qt::KeypadModifier;
}

} // namespace

const QList<TapMode::Key> &TapMode::keys()
{
    constexpr auto None = Qt::NoModifier;
    constexpr auto Alt = Qt::AltModifier;
    constexpr auto Shift = Qt::ShiftModifier;
    constexpr auto Ctrl = Qt::ControlModifier;
    const char *const tag = "在按下的时刻给当前行打上时间，转到下一行";
    const char *const move = "移动当前行";
    const char *const nudge = "当前行的时间 −/+ 0.1 秒";
    const char *const fineNudge = "当前行的时间 −/+ 0.01 秒";
    const char *const seek = "后退 / 前进 3 秒";
    const char *const undo = "撤销 / 重做上一次打轴、微调或退回";
    static const QList<Key> table{
        {Qt::Key_Space, None, Command::Tag, false, "空格", tag},
        {Qt::Key_Return, None, Command::Tag, false, "回车", tag},
        {Qt::Key_Enter, None, Command::Tag, false, "回车", tag},
        {Qt::Key_Space, Shift, Command::TagUnsnapped, false, "Shift+空格", "打上时间，不吸附（即使开着自动吸附）"},
        {Qt::Key_Up, None, Command::LineUp, true, "↑", move},
        {Qt::Key_Down, None, Command::LineDown, true, "↓", move},
        {Qt::Key_Backspace, None, Command::StepBack, false, "退格", "退回上一行，从它的时间前 2 秒播放"},
        {Qt::Key_R, None, Command::Replay, false, "R", "从当前行的时间前 2 秒重听"},
        {Qt::Key_Left, Alt, Command::NudgeEarlier, true, "Alt+←", nudge},
        {Qt::Key_Right, Alt, Command::NudgeLater, true, "Alt+→", nudge},
        {Qt::Key_Left, Alt | Shift, Command::FineNudgeEarlier, true, "Alt+Shift+←", fineNudge},
        {Qt::Key_Right, Alt | Shift, Command::FineNudgeLater, true, "Alt+Shift+→", fineNudge},
        {Qt::Key_Left, None, Command::SeekBack, true, "←", seek},
        {Qt::Key_Right, None, Command::SeekForward, true, "→", seek},
        {Qt::Key_P, None, Command::PlayPause, false, "P", "播放 / 暂停"},
        {Qt::Key_Z, Ctrl, Command::Undo, false, "Ctrl+Z", undo},
        {Qt::Key_Z, Ctrl | Shift, Command::Redo, false, "Ctrl+Shift+Z", undo},
        {Qt::Key_S, None, Command::Snap, false, "S", "把刚打上时间的一行吸附到附近的人声起点"},
        {Qt::Key_C, None, Command::CorrectDelay, false, "C", "校正反应延迟：所有时间去掉平均的按键延迟"},
        {Qt::Key_A, None, Command::AlignToSong, false, "A", "对齐到这首歌：把整篇歌词的时间移到这首歌的录音上"},
        {Qt::Key_W, None, Command::WordMode, false, "W", "逐字打轴：当前行逐字打时间（Esc 回到按行）"},
        {Qt::Key_Escape, None, Command::Leave, false, "Esc", "退出打轴模式"},
    };
    return table;
}

TapMode::TapMode(QPlainTextEdit *editor, LyricsDocument *lyrics, MediaEngine *engine, QObject *parent)
    : QObject(parent), m_editor(editor), m_lyrics(lyrics), m_engine(engine),
      m_tapper(new Tapper(lyrics, this)), m_action(new QAction(QStringLiteral("打轴"), this))
{
    m_action->setObjectName(QStringLiteral("tapMode"));
    m_action->setCheckable(true);
    m_action->setShortcut(Qt::Key_F2);
    m_action->setShortcutContext(Qt::WindowShortcut);
    m_action->setToolTip(keysTip());
    // F2 works wherever the focus is in the editor's window.
    editor->addAction(m_action);
    connect(m_action, &QAction::toggled, this, &TapMode::setActive);

    m_watchedEditor = editor;
    m_watchedViewport = editor->viewport();
    editor->installEventFilter(this);
    editor->viewport()->installEventFilter(this);
    connect(editor, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        if (m_active && !m_movingCaret) {
            m_tapper->setCurrentLine(m_editor->textCursor().blockNumber());
            refreshHighlights();
        }
    });
    // Whatever moves the text under the highlights (typing, import, undo)
    // moves them with it.
    connect(lyrics, &LyricsDocument::changed, this, &TapMode::refreshHighlights);
}

TapMode::~TapMode() = default;

void TapMode::setActive(bool on)
{
    if (on == m_active || !m_editor)
        return;
    if (on)
        dropComposition();
    m_active = on;
    m_held.clear();
    m_action->setChecked(on);
    // No input method while tapping: a Chinese input method that is switched
    // on would take Space and letters for its composition.
    if (on) {
        m_inputMethodWas = m_editor->testAttribute(Qt::WA_InputMethodEnabled);
        m_editor->setAttribute(Qt::WA_InputMethodEnabled, false);
    } else {
        m_editor->setAttribute(Qt::WA_InputMethodEnabled, m_inputMethodWas);
    }
    if (m_editor->hasFocus())
        QGuiApplication::inputMethod()->update(Qt::ImEnabled);
    if (on) {
        m_editor->setFocus(Qt::ShortcutFocusReason);
        m_tapper->setCurrentLine(m_editor->textCursor().blockNumber());
        showCurrentLine();
    } else {
        refreshHighlights();
    }
    Q_EMIT activeChanged(on);
}

void TapMode::dropComposition()
{
    // A composition under way (pinyin typed, its candidates still open) is
    // drawn in the editor's layout at the caret; left there, it is drawn
    // inside the tags that go in at that place.
    if (m_editor->textCursor().block().layout()->preeditAreaText().isEmpty())
        return;
    QInputMethodEvent cancel;
    QApplication::sendEvent(m_editor, &cancel);
    // The input method forgets it too. Some commit what they held when
    // reset; that is not taken either (nor later, in tap mode).
    const QScopedValueRollback dropping(m_droppingComposition, true);
    QGuiApplication::inputMethod()->reset();
}

void TapMode::setLiveLine(int line)
{
    if (line == m_liveLine)
        return;
    m_liveLine = line;
    refreshHighlights();
}

void TapMode::refreshHighlights()
{
    if (!m_editor)
        return;
    QList<QTextEdit::ExtraSelection> marks;
    const auto mark = [&](int line, int alpha) {
        const QTextBlock block = m_editor->document()->findBlockByNumber(line);
        if (!block.isValid())
            return;
        QTextEdit::ExtraSelection selection;
        QColor colour = m_editor->palette().color(QPalette::Highlight);
        colour.setAlpha(alpha);
        selection.format.setBackground(colour);
        selection.format.setProperty(QTextFormat::FullWidthSelection, true);
        selection.cursor = QTextCursor(block);
        marks << selection;
    };
    if (m_liveLine >= 0)
        mark(m_liveLine, 40);
    if (m_active)
        mark(m_tapper->currentLine(), 110);
    m_editor->setExtraSelections(marks);
}

void TapMode::showCurrentLine()
{
    const QTextBlock block = m_editor->document()->findBlockByNumber(m_tapper->currentLine());
    const QScopedValueRollback ownMove(m_movingCaret, true);
    m_editor->setTextCursor(QTextCursor(block));
    m_editor->ensureCursorVisible();
    refreshHighlights();
}

const TapMode::Key *TapMode::keyFor(const QKeyEvent *event)
{
    const auto mods = plainModifiers(event);
    for (const Key &key : keys()) {
        if (key.key == event->key() && key.modifiers == mods)
            return &key;
    }
    return nullptr;
}

bool TapMode::handleKey(QKeyEvent *event)
{
    const Key *key = keyFor(event);
    if (!key)
        return true; // not typeable: swallowed
    if (!m_held.press(event) && !key->repeats)
        return true;
    const QScopedValueRollback<const QKeyEvent *> press(m_press, event);
    // The text changes below move the editor's caret on their own; the
    // current line is what the tapper says, and the caret follows it after.
    const QScopedValueRollback ownMoves(m_movingCaret, true);
    run(key->command);
    return true;
}

void TapMode::run(Command command)
{
    switch (command) {
    case Command::Leave:
        setActive(false);
        break;
    case Command::Tag:
    case Command::TagUnsnapped:
        tag(command == Command::Tag);
        break;
    case Command::Snap:
        if (m_assist) {
            const int line = lastTaggedLine();
            if (line >= 0)
                m_assist->snapLine(line);
            showCurrentLine();
        }
        break;
    case Command::CorrectDelay:
        if (m_assist)
            m_assist->correctReactionDelay();
        break;
    case Command::AlignToSong:
        if (m_assist)
            m_assist->alignToSong();
        break;
    case Command::WordMode:
        if (m_words && m_words->start(m_tapper->currentLine()))
            showCurrentLine();
        break;
    case Command::LineUp:
        m_tapper->moveUp();
        showCurrentLine();
        break;
    case Command::LineDown:
        m_tapper->moveDown();
        showCurrentLine();
        break;
    case Command::StepBack: {
        const auto target = m_tapper->stepBack();
        showCurrentLine();
        if (target)
            seekTo(*target);
        break;
    }
    case Command::Replay:
        if (m_engine) {
            if (const auto target = m_tapper->replayTarget()) {
                seekTo(*target);
                m_engine->play();
            }
        }
        break;
    case Command::PlayPause:
        playPause();
        break;
    case Command::Undo:
    case Command::Redo:
        undoRedo(command == Command::Redo);
        break;
    case Command::NudgeEarlier:
    case Command::NudgeLater:
    case Command::FineNudgeEarlier:
    case Command::FineNudgeLater: {
        const bool later = command == Command::NudgeLater || command == Command::FineNudgeLater;
        const bool fine = command == Command::FineNudgeEarlier || command == Command::FineNudgeLater;
        const auto moved = m_tapper->nudge((later ? 1 : -1) * (fine ? FineNudgeMs : NudgeMs));
        showCurrentLine();
        if (moved && m_engine && m_engine->state() == MediaEngine::State::Playing)
            seekTo(*moved - NudgePreRollSeconds);
        break;
    }
    case Command::SeekBack:
    case Command::SeekForward:
        if (m_engine) {
            if (const auto now = m_engine->position())
                seekTo(*now + (command == Command::SeekBack ? -SeekStepSeconds : SeekStepSeconds));
        }
        break;
    }
}

int TapMode::lastTaggedLine() const
{
    // Right after a tap the current line is the next, untagged one; S then
    // means the line just tapped.
    for (int line = m_tapper->currentLine(); line >= 0; --line) {
        const LrcLine &parsed = m_lyrics->line(line);
        if (parsed.kind == LrcLine::Kind::Lyric && !parsed.tags.isEmpty())
            return line;
    }
    return m_tapper->currentLine();
}

void TapMode::tag(bool snapAllowed)
{
    if (!m_engine || m_engine->state() == MediaEngine::State::Empty) {
        QApplication::beep(); // no song: there is no time to take
        return;
    }
    const auto position = m_press ? positionAtEvent(*m_engine, m_press) : m_engine->position();
    if (!position) {
        QApplication::beep();
        return;
    }
    m_tapper->tap(m_assist ? m_assist->tapTime(*position, snapAllowed) : *position);
    showCurrentLine();
}

void TapMode::seekTo(double seconds)
{
    if (!m_engine || m_engine->state() == MediaEngine::State::Empty)
        return;
    m_engine->seek(seconds); // the engine keeps it within the song
}

void TapMode::playPause()
{
    if (!m_engine)
        return;
    if (m_engine->state() == MediaEngine::State::Playing)
        m_engine->pause();
    else if (m_engine->state() != MediaEngine::State::Empty)
        m_engine->play();
}

void TapMode::undoRedo(bool redo)
{
    // The current line follows the document's undo and redo; the caret is
    // placed once they are done, where the current line ended up.
    redo ? m_editor->redo() : m_editor->undo();
    showCurrentLine();
}

void TapMode::takeFocusBack()
{
    if (!m_active || !m_editor || !m_editor->isVisible() || m_editor->hasFocus())
        return;
    // A button clicked with the mouse has the focus from the press on, and
    // clicks at the release only if it still has it: the keys come back
    // once it is released.
    if (const auto *button = qobject_cast<QAbstractButton *>(QApplication::focusWidget()); button && button->isDown()) {
        QTimer::singleShot(ButtonWaitMs, this, &TapMode::takeFocusBack);
        return;
    }
    m_editor->setFocus(Qt::OtherFocusReason);
}

bool TapMode::eventFilter(QObject *watched, QEvent *event)
{
    // Compared as plain objects: the editor sends events (a focus-out) from
    // its QWidget destructor, when it is no longer a QPlainTextEdit.
    if (watched == m_watchedEditor && event->type() == QEvent::InputMethod && m_droppingComposition)
        return true; // the input method's word on a dropped composition
    if (!m_active || (watched != m_watchedEditor && watched != m_watchedViewport))
        return QObject::eventFilter(watched, event);
    if (watched == m_watchedEditor) {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
            // The table's keys are ours; anything else (F2) may be a shortcut.
            if (keyFor(static_cast<QKeyEvent *>(event))) {
                event->accept();
                return true;
            }
            return false;
        case QEvent::KeyPress:
            return handleKey(static_cast<QKeyEvent *>(event));
        case QEvent::KeyRelease:
            m_held.release(static_cast<QKeyEvent *>(event));
            return true;
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
            return true;
        case QEvent::InputMethodQuery: {
            auto *query = static_cast<QInputMethodQueryEvent *>(event);
            for (uint bit = 1; bit; bit <<= 1) {
                const auto q = Qt::InputMethodQuery(bit);
                if (query->queries() & q)
                    query->setValue(q, q == Qt::ImEnabled ? QVariant(false) : m_editor->inputMethodQuery(q));
            }
            query->accept();
            return true;
        }
        case QEvent::FocusOut: {
            // The releases of keys held now go elsewhere.
            m_held.clear();
            // A click or Tab elsewhere in the window does not take the keys
            // away; a dialog or another window does.
            const auto reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)
                QTimer::singleShot(0, this, &TapMode::takeFocusBack);
            return false;
        }
        default:
            return false;
        }
    }
    if (watched == m_watchedViewport) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            m_editor->setFocus(Qt::MouseFocusReason);
            if (mouse->button() == Qt::LeftButton) {
                m_tapper->setCurrentLine(m_editor->cursorForPosition(mouse->position().toPoint()).blockNumber());
                showCurrentLine();
            }
            return true;
        }
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tarvelin
