#include "ui/window/mainwindow.h"

#include "ui/window/clocklabel.h"
#include "core/clocktext.h"
#include "ui/window/twips.h"
#include "ui/components/playerwidget.h"
#include "ui/link/linklabel.h"
#include "ui/workflow/lyricssave.h"
#include "ui/workflow/songimport.h"
#include "ui/workflow/textimport.h"
#include "ui/workflow/pressmoment.h"
#include "ui/workflow/timetag.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace tarvelin {

const QString MainWindow::DesignCaption = QStringLiteral("Tarvelin v1.0 by:Quorrin");

namespace {

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

} // namespace

MainWindow::MainWindow(PlatformTools &tools, std::unique_ptr<MediaEngine> engine, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      opentxt1(tools, QStringLiteral("导入歌词"), QStringLiteral("*.txt|*.txt")),
      opensong1(tools, QStringLiteral("导入歌曲"), QStringLiteral("*.mp3|*.mp3|*.wma|*.wma|*.rm|*.rm")),
      savetxt1(tools, QStringLiteral("保存歌词"), QStringLiteral("*.lrc|*.lrc|*.txt|*.txt")),
      m_tools(tools)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(DesignCaption);
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addFile(QStringLiteral(":/icons/tarvelin-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    // The window's own surface reports mouse moves (for the author link).
    setMouseTracking(true);

    buildControls();
    music1 = new PlayerWidget(std::move(engine), this);
    music1->setObjectName(QStringLiteral("music1"));
    layoutControls();
    wireEvents();
    m_tapping = attachTapping(this, Text3, music1, Command3);

    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Text1);
    setTabOrder(Text1, Text2);
    setTabOrder(Text2, music1);
    setTabOrder(music1, Command3);
    setTabOrder(Command3, Command4);
    setTabOrder(Command4, Text3);
    Command1->setFocus(Qt::OtherFocusReason);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls()
{
    Frame1 = makeFrame(QStringLiteral("Frame1"), QStringLiteral("导入歌曲路径"), this);
    Text1 = makePathBox(QStringLiteral("Text1"), Frame1);
    Frame2 = makeFrame(QStringLiteral("Frame2"), QStringLiteral("导入文本路径"), this);
    Text2 = makePathBox(QStringLiteral("Text2"), Frame2);
    Frame4 = makeFrame(QStringLiteral("Frame4"), QStringLiteral("歌词显示"), this);

    Text3 = new QPlainTextEdit(Frame4);
    Text3->setObjectName(QStringLiteral("Text3"));
    Text3->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text3->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text3->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Text3->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // Tab moves on to the next control, as everywhere else in the window.
    Text3->setTabChangesFocus(true);

    Command1 = makeButton(QStringLiteral("Command1"), QStringLiteral("导入文本"), this);
    Command2 = makeButton(QStringLiteral("Command2"), QStringLiteral("导入歌曲"), this);
    Command4 = makeButton(QStringLiteral("Command4"), QStringLiteral("保存歌词"), this);
    Command3 = makeButton(QStringLiteral("Command3"), QStringLiteral("插入时间"), this);

    Label1 = new QLabel(QStringLiteral("系统时间:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new ClockLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label3 = new LinkLabel(QStringLiteral("by:Quorrin"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    for (QLabel *label : {Label1, static_cast<QLabel *>(Label2), static_cast<QLabel *>(Label3)})
        label->setTextFormat(Qt::PlainText);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
}

void MainWindow::layoutControls()
{
    const qreal dpi = screen() ? screen()->logicalDotsPerInch() : 96.0;
    const Placement placements[] = {
        {Frame1, 0, 0, 7695, 615},
        {Text1, 120, 240, 7455, 270},
        {Frame2, 0, 720, 7695, 615},
        {Text2, 120, 240, 7455, 270},
        {Frame4, 0, 1440, 6255, 4335},
        {Text3, 120, 240, 6015, 3975},
        {Command1, 6360, 1440, 1335, 375},
        {Command2, 6360, 1920, 1335, 375},
        {Command4, 6360, 2400, 1335, 375},
        {Command3, 6360, 2880, 1335, 375},
        {Label1, 6600, 4320, 810, 180},
        {Label2, 6600, 4680, 1095, 375},
        {Label3, 6600, 5160, 990, 180},
        {music1, 0, 5880, 7815, 2895},
    };
    for (const Placement &p : placements)
        p.widget->setGeometry(twipsRect(p.left, p.top, p.width, p.height, dpi));
    // These two labels grow or shrink to their text from their corner.
    Label1->adjustSize();
    Label3->adjustSize();
    // Label2 keeps its size; the player reaches past the right and bottom
    // edges and the window cuts it off there.
    setFixedSize(twipsToPixels(ClientWidthTwips, dpi), twipsToPixels(ClientHeightTwips, dpi));
}

void MainWindow::wireEvents()
{
    connect(Command1, &QPushButton::clicked, this, &MainWindow::importText);
    connect(Command2, &QPushButton::clicked, this, &MainWindow::importSong);
    connect(Command3, &QPushButton::clicked, this, &MainWindow::insertTime);
    connect(Command4, &QPushButton::clicked, this, &MainWindow::saveLyrics);
    connect(Timer1, &QTimer::timeout, this, &MainWindow::refreshTitleAndClock);
    connect(Label3, &LinkLabel::clicked, this, &MainWindow::openAuthorPage);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!Timer1->isActive())
        Timer1->start();
}

void MainWindow::importText()
{
    tarvelin::importText(opentxt1, Text2, Text3, m_tools, this);
}

void MainWindow::importSong()
{
    tarvelin::importSong(opensong1, Text1, music1, this);
}

void MainWindow::insertTime()
{
    insertTimeTag(Text3, music1, m_tools, this, m_tapping.insertPress->take());
}

bool MainWindow::saveLyrics()
{
    return tarvelin::saveLyrics(savetxt1, Text3, m_tools, this);
}

void MainWindow::refreshTitleAndClock()
{
    Label2->setText(clockText(QDateTime::currentDateTime()));
    // Title first, then position; when either cannot be read the caption
    // stays as it is until the next tick.
    const auto title = music1->currentMediaTitle();
    if (!title)
        return;
    const auto position = music1->currentPositionString();
    if (!position)
        return;
    setWindowTitle(DesignCaption + QLatin1Char(' ') + *title + QStringLiteral(" [") + *position
                   + QLatin1Char(']'));
}

bool MainWindow::hasUnsavedLyrics() const
{
    return Text3->document()->isModified();
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
    Timer1->stop();
    event->accept();
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    // Moves over a child that does not track the mouse bubble up to here;
    // only the bare window surface counts.
    if (!childAt(event->position().toPoint()))
        Label3->setUnderlined(false);
    QWidget::mouseMoveEvent(event);
}

void MainWindow::openAuthorPage()
{
    const QUrl address(QStringLiteral(TARVELIN_HOMEPAGE));
    if (!m_tools.openUrl(address))
        m_tools.showError(this, QStringLiteral("打开网页"),
                          QStringLiteral("无法打开作者主页：%1").arg(address.toString()));
}

} // namespace tarvelin
