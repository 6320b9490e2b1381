#include "ui/workflow/tapmode.h"

#include "core/lrc.h"
#include "media/mediaengine.h"
#include "ui/workflow/pressmoment.h"
#include "ui/workflow/tapping.h"
#include "ui/workflow/timingassist.h"

#include <QAction>
#include <QApplication>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodQueryEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>

namespace tarvelin {

namespace {

const QString KeysTip = QStringLiteral(
    "打轴模式（F2 开关，Esc 退出）\n"
    "空格 / 回车：在按下的时刻给当前行打上时间，转到下一行\n"
    "↑ / ↓：移动当前行\n"
    "退格：退回上一行，从它的时间前 2 秒播放\n"
    "R：从当前行的时间前 2 秒重听\n"
    "Alt+← / Alt+→：当前行的时间 −/+ 0.1 秒（再按住 Shift：0.01 秒）\n"
    "← / →：后退 / 前进 3 秒\n"
    "P：播放 / 暂停\n"
    "Ctrl+Z / Ctrl+Shift+Z：撤销 / 重做上一次打轴、微调或退回");

Qt::KeyboardModifiers plainModifiers(const QKeyEvent *event)
{
    return event->modifiers() & ~Qt::KeypadModifier;
}

} // namespace

TapMode::TapMode(QPlainTextEdit *editor, MediaEngine *engine, QObject *parent)
    : QObject(parent), m_editor(editor), m_engine(engine),
      m_tapper(new Tapper(editor->document(), this)), m_action(new QAction(QStringLiteral("打轴"), this))
{
    m_action->setObjectName(QStringLiteral("tapMode"));
    m_action->setCheckable(true);
    m_action->setShortcut(Qt::Key_F2);
    m_action->setShortcutContext(Qt::WindowShortcut);
    m_action->setToolTip(KeysTip);
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
    connect(editor->document(), &QTextDocument::contentsChanged, this, &TapMode::refreshHighlights);
}

TapMode::~TapMode() = default;

void TapMode::setActive(bool on)
{
    if (on == m_active || !m_editor)
        return;
    m_active = on;
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

bool TapMode::isTableKey(const QKeyEvent *event) const
{
    const auto mods = plainModifiers(event);
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo))
        return true;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
        return mods == Qt::NoModifier || mods == Qt::AltModifier || mods == (Qt::AltModifier | Qt::ShiftModifier);
    case Qt::Key_Space:
        return mods == Qt::NoModifier || mods == Qt::ShiftModifier;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Backspace:
    case Qt::Key_R:
    case Qt::Key_P:
    case Qt::Key_S:
    case Qt::Key_C:
    case Qt::Key_A:
    case Qt::Key_Escape:
        return mods == Qt::NoModifier;
    default:
        return false;
    }
}

bool TapMode::handleKey(QKeyEvent *event)
{
    if (!isTableKey(event))
        return true; // not typeable: swallowed
    // The text changes below move the editor's caret on their own; the
    // current line is what the tapper says, and the caret follows it after.
    const QScopedValueRollback ownMoves(m_movingCaret, true);
    const bool repeat = event->isAutoRepeat();
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
        if (!repeat)
            undoRedo(event->matches(QKeySequence::Redo));
        return true;
    }
    const auto mods = plainModifiers(event);
    switch (event->key()) {
    case Qt::Key_Escape:
        setActive(false);
        break;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!repeat)
            tag(event, !(mods & Qt::ShiftModifier));
        break;
    case Qt::Key_S:
        if (!repeat && m_assist) {
            const int line = lastTaggedLine();
            if (line >= 0)
                m_assist->snapLine(line);
            showCurrentLine();
        }
        break;
    case Qt::Key_C:
        if (!repeat && m_assist)
            m_assist->correctReactionDelay();
        break;
    case Qt::Key_A:
        if (!repeat && m_assist)
            m_assist->alignToSong();
        break;
    case Qt::Key_Up:
        m_tapper->moveUp();
        showCurrentLine();
        break;
    case Qt::Key_Down:
        m_tapper->moveDown();
        showCurrentLine();
        break;
    case Qt::Key_Backspace:
        if (!repeat) {
            const auto target = m_tapper->stepBack();
            showCurrentLine();
            if (target)
                seekTo(*target);
        }
        break;
    case Qt::Key_R:
        if (!repeat && m_engine) {
            if (const auto target = m_tapper->replayTarget()) {
                seekTo(*target);
                m_engine->play();
            }
        }
        break;
    case Qt::Key_P:
        if (!repeat)
            playPause();
        break;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const int sign = event->key() == Qt::Key_Left ? -1 : 1;
        if (mods & Qt::AltModifier) {
            const qint64 step = (mods & Qt::ShiftModifier) ? FineNudgeMs : NudgeMs;
            const auto moved = m_tapper->nudge(sign * step);
            showCurrentLine();
            if (moved && m_engine && m_engine->state() == MediaEngine::State::Playing)
                seekTo(*moved - NudgePreRollSeconds);
        } else if (m_engine) {
            if (const auto now = m_engine->position())
                seekTo(*now + sign * SeekStepSeconds);
        }
        break;
    }
    default:
        break;
    }
    return true;
}

int TapMode::lastTaggedLine() const
{
    // Right after a tap the current line is the next, untagged one; S then
    // means the line just tapped.
    for (QTextBlock block = m_editor->document()->findBlockByNumber(m_tapper->currentLine()); block.isValid();
         block = block.previous()) {
        const LrcLine line = parseLrcLine(block.text());
        if (line.kind == LrcLine::Kind::Lyric && !line.tags.isEmpty())
            return block.blockNumber();
    }
    return m_tapper->currentLine();
}

void TapMode::tag(const QKeyEvent *press, bool snapAllowed)
{
    if (!m_engine || m_engine->state() == MediaEngine::State::Empty) {
        QApplication::beep(); // no song: there is no time to take
        return;
    }
    const auto position = positionAtEvent(*m_engine, press);
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
    double target = std::max(0.0, seconds);
    if (m_engine->duration() > 0)
        target = std::min(target, m_engine->duration());
    m_engine->seek(target);
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

bool TapMode::eventFilter(QObject *watched, QEvent *event)
{
    // Compared as plain objects: the editor sends events (a focus-out) from
    // its QWidget destructor, when it is no longer a QPlainTextEdit.
    if (!m_active || (watched != m_watchedEditor && watched != m_watchedViewport))
        return QObject::eventFilter(watched, event);
    if (watched == m_watchedEditor) {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
            // The table's keys are ours; anything else (F2) may be a shortcut.
            if (isTableKey(static_cast<QKeyEvent *>(event))) {
                event->accept();
                return true;
            }
            return false;
        case QEvent::KeyPress:
            return handleKey(static_cast<QKeyEvent *>(event));
        case QEvent::KeyRelease:
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
            // A click or Tab elsewhere in the window does not take the keys
            // away; a dialog or another window does.
            const auto reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)
                QTimer::singleShot(0, m_editor, [editor = m_editor] {
                    if (editor && editor->isVisible())
                        editor->setFocus(Qt::OtherFocusReason);
                });
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
