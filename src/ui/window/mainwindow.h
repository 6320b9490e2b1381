#pragma once

#include "ui/window/clocklabel.h"
#include "ui/components/filedialog.h"
#include "ui/workflow/tapwiring.h"

#include <QWidget>

#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace tarvelin {

class LinkLabel;
class MediaEngine;
class PlatformTools;
class PlayerWidget;

// The program's one window ("Form1"). Members carry the controls' names.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    static const QString DesignCaption;
    // Client size in twips; see twips.h for the conversion.
    static constexpr int ClientWidthTwips = 7755;
    static constexpr int ClientHeightTwips = 8700;

    MainWindow(PlatformTools &tools, std::unique_ptr<MediaEngine> engine, QWidget *parent = nullptr);
    ~MainWindow() override;

    QGroupBox *Frame1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QLineEdit *Text2 = nullptr;
    QGroupBox *Frame4 = nullptr;
    QPlainTextEdit *Text3 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command4 = nullptr;
    QPushButton *Command3 = nullptr;
    QLabel *Label1 = nullptr;
    ClockLabel *Label2 = nullptr;
    LinkLabel *Label3 = nullptr;
    PlayerWidget *music1 = nullptr;
    QTimer *Timer1 = nullptr;
    FileDialog opentxt1;
    FileDialog opensong1;
    FileDialog savetxt1;

    // The button actions and the timer tick, callable directly by tests.
    void importText();    // Command1
    void importSong();    // Command2
    void insertTime();    // Command3
    bool saveLyrics();    // Command4
    void refreshTitleAndClock(); // Timer1

    // True while the lyrics hold changes that were never saved.
    bool hasUnsavedLyrics() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildControls();
    void layoutControls();
    void wireEvents();
    void openAuthorPage();

    PlatformTools &m_tools;
    Tapping m_tapping;
};

} // namespace tarvelin
