#include "window/mainwindow.h"

#include "document/lyricsdocument.h"

#include "analysis/songanalysis.h"
#include "widgets/playerwidget.h"
#include "widgets/waveformview.h"
#include "tapping/tapmode.h"
#include "tapping/timingassist.h"
#include "tapping/wordtapping.h"
#include "tapping/autowords.h"
#include "widgets/livelyricsview.h"
#include "widgets/linklabel.h"
#include "widgets/clocklabel.h"
#include "window/songsession.h"
#include "window/twips.h"
#include "window/version.h"
#include "editor/editormenu.h"
#include "editor/lyricssave.h"
#include "editor/recovery.h"
#include "editor/textimport.h"
#include "editor/wordunitedits.h"
#include "tapping/pressmoment.h"
#include "window/timetag.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>
#include <QWindow>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace tarvelin {

namespace {

// The caption's version is the project's major.minor.
const QString Caption = QStringLiteral("Tarvelin v" TARVELIN_SHORT_VERSION " by:Quorrin");

// How long the note that unsaved lyrics are kept again stays, in ms.
constexpr int RecoveryNoteMs = 8000;

// The client area in twips; see twips.h for the conversion.
constexpr int ClientWidthTwips = 7755;
constexpr int ClientHeightTwips = 8700;

// One control's place in the window, in twips from its container's corner.
struct Placement {
    QWidget *widget;
    int left, top, width, height;
};

QPushButton *makeButton(const QString &name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

QLineEdit *makePathBox(const QString &name, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    return box;
}

QGroupBox *makeFrame(const QString &name, const QString &caption, QWidget *parent)
{
    auto *frame = new QGroupBox(caption, parent);
    frame->setObjectName(name);
    frame->setFocusPolicy(Qt::NoFocus);
    return frame;
}

// Holds the canvas. Keys no control took go on to the window, as they did
// before there was a scroll area; only the focus moving scrolls it.
class CanvasScroll : public QScrollArea {
public:
    using QScrollArea::QScrollArea;

protected:
    void keyPressEvent(QKeyEvent *event) override { event->ignore(); }
};

// A type list entry whose description is its own pattern.
FileType type(const QString &pattern)
{
    return {pattern, pattern};
}

} // namespace

MainWindow::MainWindow(PlatformTools &tools, std::unique_ptr<MediaEngine> engine, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_tools(tools),
      // A saved .lrc can be imported again to carry on tagging.
      m_textDialog(tools, QStringLiteral("导入歌词"),
                   {type(QStringLiteral("*.txt")), type(QStringLiteral("*.lrc")),
                    {QStringLiteral("所有文件"), QStringLiteral("*")}}),
      m_songDialog(tools, QStringLiteral("导入歌曲"),
                   {type(QStringLiteral("*.mp3")), type(QStringLiteral("*.wma")), type(QStringLiteral("*.rm"))}),
      m_saveDialog(tools, QStringLiteral("保存歌词"), {type(QStringLiteral("*.lrc")), type(QStringLiteral("*.txt"))})
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Caption);
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addFile(QStringLiteral(":/icons/tarvelin-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    m_scroll = new CanvasScroll(this);
    m_scroll->setObjectName(QStringLiteral("canvasScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_canvas = new QWidget;
    m_canvas->setObjectName(QStringLiteral("canvas"));
    // The window's bare surface reports mouse moves (for the author link).
    m_canvas->setMouseTracking(true);
    m_canvas->installEventFilter(this);
    m_scroll->setWidget(m_canvas);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);

    m_session = new SongSession(std::move(engine), this);
    buildControls();
    layoutControls();
    wireEvents();
    m_tapping = attachTapping(this, m_lyricsEditor, m_lyrics, m_player, m_insertTimeButton);
    m_tapping.mode->setAssist(m_assist);
    m_words = new WordTapping(m_lyricsEditor, m_lyrics, m_session->engine(), m_tapping.mode, this);
    m_words->setAnalysis(m_session->analysis());
    connect(m_words, &WordTapping::notice, m_player, &PlayerWidget::showNotice);
    if (m_tapping.view)
        m_tapping.view->setWordTapping(m_words);

    setTabOrder(m_importTextButton, m_importSongButton);
    setTabOrder(m_importSongButton, m_songPath);
    setTabOrder(m_songPath, m_textPath);
    setTabOrder(m_textPath, m_player);
    setTabOrder(m_player, m_insertTimeButton);
    setTabOrder(m_insertTimeButton, m_saveButton);
    setTabOrder(m_saveButton, m_lyricsEditor);
    m_importTextButton->setFocus(Qt::OtherFocusReason);
}

MainWindow::~MainWindow()
{
    // Every part of the window plays, shows or times the session's song:
    // they go before the session does.
    const QObjectList parts = children();
    const QList<QPointer<QObject>> guarded(parts.begin(), parts.end());
    for (const QPointer<QObject> &part : guarded) {
        if (part && part != m_session)
            delete part.data();
    }
}

void MainWindow::buildControls()
{
    m_songFrame = makeFrame(QStringLiteral("Frame1"), QStringLiteral("导入歌曲路径"), m_canvas);
    m_songPath = makePathBox(QStringLiteral("Text1"), m_songFrame);
    m_textFrame = makeFrame(QStringLiteral("Frame2"), QStringLiteral("导入文本路径"), m_canvas);
    m_textPath = makePathBox(QStringLiteral("Text2"), m_textFrame);
    m_lyricsFrame = makeFrame(QStringLiteral("Frame4"), QStringLiteral("歌词显示"), m_canvas);

    m_lyricsEditor = new QPlainTextEdit(m_lyricsFrame);
    m_lyricsEditor->setObjectName(QStringLiteral("Text3"));
    m_lyricsEditor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_lyricsEditor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_lyricsEditor->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_lyricsEditor->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // Tab moves on to the next control, as everywhere else in the window.
    m_lyricsEditor->setTabChangesFocus(true);
    // The one reading of the editor's text as tagged lyrics.
    m_lyrics = new LyricsDocument(m_lyricsEditor->document(), this);

    m_importTextButton = makeButton(QStringLiteral("Command1"), QStringLiteral("导入文本"), m_canvas);
    m_importSongButton = makeButton(QStringLiteral("Command2"), QStringLiteral("导入歌曲"), m_canvas);
    m_saveButton = makeButton(QStringLiteral("Command4"), QStringLiteral("保存歌词"), m_canvas);
    m_insertTimeButton = makeButton(QStringLiteral("Command3"), QStringLiteral("插入时间"), m_canvas);

    m_clockCaption = new QLabel(QStringLiteral("系统时间:"), m_canvas);
    m_clockCaption->setObjectName(QStringLiteral("Label1"));
    m_clock = new ClockLabel(m_canvas);
    m_clock->setObjectName(QStringLiteral("Label2"));
    m_clock->setWordWrap(true);
    m_clock->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_authorLink = new LinkLabel(QStringLiteral("by:Quorrin"), m_canvas);
    m_authorLink->setObjectName(QStringLiteral("Label3"));
    // Says when unsaved lyrics cannot be kept in the recovery folder (and
    // when they can again); hidden otherwise.
    m_recoveryNote = new QLabel(this);
    m_recoveryNote->setObjectName(QStringLiteral("recoveryNote"));
    m_recoveryNote->setWordWrap(true);
    m_recoveryNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_recoveryNote->hide();
    for (QLabel *label : {m_clockCaption, static_cast<QLabel *>(m_clock), static_cast<QLabel *>(m_authorLink),
                          m_recoveryNote})
        label->setTextFormat(Qt::PlainText);

    m_player = new PlayerWidget(m_session->engine(), m_canvas);
    m_player->setObjectName(QStringLiteral("music1"));

    // The song's waveform with the tags as markers, and the timing help
    // that uses its onsets, in the player's display and menu.
    m_waveform = new WaveformView(m_session->analysis(), m_session->engine(), this);
    m_waveform->setLyrics(m_lyrics, m_lyricsEditor);
    m_player->addDisplayWidget(m_waveform, 1);
    // Where the display is short (the design's 1× size, a large font) the
    // waveform gives way, down to two lines, so that the live lyrics below
    // it keep both their lines.
    m_waveform->setMinimumHeight(m_waveform->fontMetrics().height() * 2);
    m_assist = new TimingAssist(m_lyrics, m_session->analysis(), m_tools, this, this);
    m_assist->setObjectName(QStringLiteral("timingAssist"));
    m_player->addMenuActions(
        {m_assist->autoSnapAction(), m_assist->correctAction(), m_assist->alignAction(), m_assist->shiftAction()});
    connect(m_assist, &TimingAssist::notice, m_player, &PlayerWidget::showNotice);

    m_ticker = new QTimer(this);
    m_ticker->setObjectName(QStringLiteral("Timer1"));
    m_ticker->setInterval(1000);
}

void MainWindow::layoutControls()
{
    const qreal dpi = screen() ? screen()->logicalDotsPerInch() : 96.0;
    const Placement placements[] = {
        {m_songFrame, 0, 0, 7695, 615},
        {m_songPath, 120, 240, 7455, 270},
        {m_textFrame, 0, 720, 7695, 615},
        {m_textPath, 120, 240, 7455, 270},
        {m_lyricsFrame, 0, 1440, 6255, 4335},
        {m_lyricsEditor, 120, 240, 6015, 3975},
        {m_importTextButton, 6360, 1440, 1335, 375},
        {m_importSongButton, 6360, 1920, 1335, 375},
        {m_saveButton, 6360, 2400, 1335, 375},
        {m_insertTimeButton, 6360, 2880, 1335, 375},
        {m_recoveryNote, 6360, 3360, 1335, 900},
        {m_clockCaption, 6600, 4320, 810, 180},
        {m_clock, 6600, 4680, 1095, 375},
        {m_authorLink, 6600, 5160, 990, 180},
        {m_player, 0, 5880, 7815, 2895},
    };
    for (const Placement &p : placements)
        p.widget->setGeometry(twipsRect(p.left, p.top, p.width, p.height, dpi));
    // These two labels grow or shrink to their text from their corner.
    m_clockCaption->adjustSize();
    m_authorLink->adjustSize();
    // The clock keeps its size; the player reaches past the right and bottom
    // edges and the window cuts it off there.
    m_designSize = QSize(twipsToPixels(ClientWidthTwips, dpi), twipsToPixels(ClientHeightTwips, dpi));
    m_canvas->setFixedSize(m_designSize);
    fitToScreen();
}

void MainWindow::fitToScreen()
{
    QScreen *display = screen();
    if (!display)
        return;
    const QRect area = display->availableGeometry();
    // The frame the window manager puts around the window, once it is
    // known; until then room for a title bar.
    QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    if (frame.isNull())
        frame = QMargins(0, style()->pixelMetric(QStyle::PM_TitleBarHeight), 0, 0);
    const QSize room = area.size().shrunkBy(frame);
    // A scroll bar takes room from the other direction.
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_scroll->verticalScrollBar());
    bool across = m_designSize.width() > room.width();
    const bool down = m_designSize.height() + (across ? bar : 0) > room.height();
    across = m_designSize.width() + (down ? bar : 0) > room.width();
    const QSize size = QSize(m_designSize.width() + (down ? bar : 0), m_designSize.height() + (across ? bar : 0))
                           .boundedTo(room);
    if (size != this->size() || minimumSize() != maximumSize())
        setFixedSize(size);
    // A window that the window manager left reaching off the free area is
    // brought inside it, once.
    if (isVisible() && !m_placed && !windowHandle()->frameMargins().isNull()) {
        m_placed = true;
        const QRect outer = frameGeometry();
        if (!area.contains(outer))
            move(std::clamp(outer.left(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())),
                 std::clamp(outer.top(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    }
}

void MainWindow::wireEvents()
{
    connect(m_importTextButton, &QPushButton::clicked, this, &MainWindow::importText);
    connect(m_importSongButton, &QPushButton::clicked, this, &MainWindow::importSong);
    connect(m_insertTimeButton, &QPushButton::clicked, this, &MainWindow::insertTime);
    connect(m_saveButton, &QPushButton::clicked, this, &MainWindow::saveLyrics);
    connect(m_ticker, &QTimer::timeout, this, &MainWindow::refreshTitleAndClock);
    connect(m_authorLink, &LinkLabel::clicked, this, &MainWindow::openAuthorPage);
    m_editorMenu = new EditorMenu(m_lyricsEditor, m_lyrics, m_textPath, m_tools, this);
    m_editorMenu->setSong([this] { return m_songPath->text(); }, [this] { return m_session->engine()->duration(); });
    auto *autoWords = new AutoWords(m_lyricsEditor, m_lyrics, m_session->analysis(),
                                    [this] { return m_session->engine()->duration(); }, this);
    m_editorMenu->addActions(autoWords->actions());
    m_editorMenu->addTimingActions({m_assist->alignAction()});
    connect(autoWords, &AutoWords::notice, m_player, &PlayerWidget::showNotice);
    auto *unitEdits = new WordUnitEdits(m_lyricsEditor, m_lyrics, this);
    m_editorMenu->addActions(unitEdits->actions());
    connect(unitEdits, &WordUnitEdits::notice, m_player, &PlayerWidget::showNotice);
}

void MainWindow::startRecovery(const QString &directory)
{
    m_recovery = new RecoveryJournal(m_lyricsEditor, directory, this);
    m_recovery->setPathSources([this] { return m_songPath->text(); }, [this] { return m_saveDialog.chosenPath; });
    connect(m_recovery, &RecoveryJournal::protectionChanged, this, &MainWindow::showRecoveryState);
    m_leftoversToOffer = true;
    offerLeftoversWhenShown();
}

void MainWindow::offerLeftoversWhenShown()
{
    // A question asked before the window manager has placed the window is
    // centred on where the window is not yet: the screen's top-left.
    if (!m_leftoversToOffer || !m_recovery)
        return;
    QWindow *window = windowHandle();
    if (!isVisible() || !window || !window->isExposed()) {
        if (window)
            window->installEventFilter(this);
        return; // showEvent() or the window's exposure comes back here
    }
    window->removeEventFilter(this);
    m_leftoversToOffer = false;
    m_recovery->offerLeftovers(m_tools, this, [this](const QString &song) { loadSong(song); });
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Asked on the next turn of the event loop, not inside the exposure.
    if (watched == windowHandle() && event->type() == QEvent::Expose && m_leftoversToOffer)
        QTimer::singleShot(0, this, &MainWindow::offerLeftoversWhenShown);
    // Moves over a control stay with it; only the bare surface counts.
    if (watched == m_canvas && event->type() == QEvent::MouseMove)
        m_authorLink->setUnderlined(false);
    return QWidget::eventFilter(watched, event);
}

void MainWindow::showRecoveryState(bool protecting, const QString &folder)
{
    // Told once each way; the note that all is well again goes after a while.
    QPalette palette = m_recoveryNote->palette();
    palette.setColor(QPalette::WindowText, protecting ? QColor(0, 110, 40) : QColor(190, 20, 20));
    m_recoveryNote->setPalette(palette);
    if (protecting) {
        m_recoveryNote->setText(QStringLiteral("未保存的歌词已重新备份"));
        m_recoveryNote->setToolTip(QStringLiteral("未保存的歌词又能写入恢复文件夹：%1").arg(folder));
        QTimer::singleShot(RecoveryNoteMs, m_recoveryNote, [note = m_recoveryNote, this] {
            if (m_recovery && m_recovery->isProtecting())
                note->hide();
        });
    } else {
        m_recoveryNote->setText(QStringLiteral("未保存的歌词无法备份"));
        m_recoveryNote->setToolTip(
            QStringLiteral("无法写入恢复文件夹：%1\n程序意外退出时，未保存的改动会丢失。请及时保存歌词。").arg(folder));
    }
    m_recoveryNote->show();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_ticker->isActive())
        m_ticker->start();
    offerLeftoversWhenShown();
    if (!m_screenWatched && windowHandle()) {
        m_screenWatched = true;
        connect(windowHandle(), &QWindow::screenChanged, this, [this](QScreen *display) {
            if (display)
                connect(display, &QScreen::availableGeometryChanged, this, &MainWindow::fitToScreen,
                        Qt::UniqueConnection);
            fitToScreen();
        });
        if (QScreen *display = screen())
            connect(display, &QScreen::availableGeometryChanged, this, &MainWindow::fitToScreen, Qt::UniqueConnection);
    }
    fitToScreen();
}

bool MainWindow::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    // The window manager's frame is known once it has placed the window.
    if (event->type() == QEvent::Move && !m_placed && isVisible())
        fitToScreen();
    return handled;
}

void MainWindow::importText()
{
    tarvelin::importText(m_textDialog, m_textPath, m_lyricsEditor, m_editorMenu->importedText(), m_tools, this);
}

void MainWindow::importSong()
{
    // A cancelled dialog must not hand the player its song again: that would
    // restart it and lose the place the user is tagging at.
    if (m_songDialog.chooseOpen(this))
        loadSong(m_songDialog.chosenPath);
}

void MainWindow::loadSong(const QString &path)
{
    m_songPath->setText(path);
    m_session->load(m_songPath->text());
}

void MainWindow::insertTime()
{
    insertTimeTag(m_lyricsEditor, m_player, m_tools, this, m_tapping.insertPress->take());
}

bool MainWindow::saveLyrics()
{
    return tarvelin::saveLyrics(m_saveDialog, m_lyricsEditor, m_tools, this);
}

void MainWindow::refreshTitleAndClock()
{
    m_clock->setTime(QDateTime::currentDateTime());
    // Title first, then position; when either cannot be read the caption
    // stays as it is until the next tick.
    const auto title = m_player->currentMediaTitle();
    if (!title)
        return;
    const auto position = m_player->currentPositionString();
    if (!position)
        return;
    setWindowTitle(Caption + QLatin1Char(' ') + *title + QStringLiteral(" [") + *position
                   + QLatin1Char(']'));
}

bool MainWindow::hasUnsavedLyrics() const
{
    return m_lyricsEditor->document()->isModified();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (hasUnsavedLyrics()) {
        switch (m_tools.askSaveBeforeClose(this)) {
        case PlatformTools::CloseAnswer::Save:
            if (!saveLyrics()) {
                event->ignore();
                return;
            }
            break;
        case PlatformTools::CloseAnswer::Discard:
            break;
        case PlatformTools::CloseAnswer::Cancel:
            event->ignore();
            return;
        }
    }
    if (m_recovery)
        m_recovery->discard();
    m_ticker->stop();
    event->accept();
}

void MainWindow::openAuthorPage()
{
    const QUrl address(QStringLiteral(TARVELIN_HOMEPAGE));
    if (!m_tools.openUrl(address))
        m_tools.showError(this, QStringLiteral("打开网页"),
                          QStringLiteral("无法打开作者主页：%1").arg(address.toString()));
}

} // namespace tarvelin
