#pragma once

#include "desktop/filedialog.h"
#include "window/tapwiring.h"

#include <QWidget>

#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QTimer;

namespace tarvelin {

class ClockLabel;
class EditorMenu;
class LinkLabel;
class WordTapping;
class MediaEngine;
class PlatformTools;
class PlayerWidget;
class SongAnalysis;
class SongSession;
class TimingAssist;
class WaveformView;
class RecoveryJournal;
class LyricsDocument;

// The program's one window. Every widget keeps its design name as its
// objectName (the window "Form1", the editor "Text3", the buttons
// "Command1".."Command4", the player "music1" ...), which is how tests and
// tools find it.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    MainWindow(PlatformTools &tools, std::unique_ptr<MediaEngine> engine, QWidget *parent = nullptr);
    ~MainWindow() override;

    // What the buttons and the one-second timer do, callable directly.
    void importText();           // 导入文本
    void importSong();           // 导入歌曲
    void insertTime();           // 插入时间
    bool saveLyrics();           // 保存歌词
    void refreshTitleAndClock(); // the caption and the clock, every second

    // The editor's text read as tagged lyrics; every timing edit goes through it.
    LyricsDocument *lyricsDocument() const { return m_lyrics; }

    // True while the lyrics hold changes that were never saved.
    bool hasUnsavedLyrics() const;

    // Keeps unsaved lyrics in a recovery file in `directory` from now on,
    // and offers what a run that did not close cleanly left there as soon
    // as the window is on the screen, so the question sits over it.
    void startRecovery(const QString &directory);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    // The song's path in its box, and the song loaded from what the box holds.
    void loadSong(const QString &path);
    void layoutControls();
    // The window at its design size where the screen's free area holds it;
    // else as large as that area allows, the controls scrolled in it.
    void fitToScreen();
    void wireEvents();
    void openAuthorPage();
    void showRecoveryState(bool protecting, const QString &folder);
    void offerLeftoversWhenShown();

    PlatformTools &m_tools;
    FileDialog m_textDialog;
    FileDialog m_songDialog;
    FileDialog m_saveDialog;

    // The controls stand on the canvas at their design places; the canvas
    // scrolls in the window when the window is smaller than the design.
    QScrollArea *m_scroll = nullptr;
    QWidget *m_canvas = nullptr;
    QSize m_designSize;
    bool m_placed = false;
    bool m_screenWatched = false;
    QGroupBox *m_songFrame = nullptr;
    QLineEdit *m_songPath = nullptr;
    QGroupBox *m_textFrame = nullptr;
    QLineEdit *m_textPath = nullptr;
    QGroupBox *m_lyricsFrame = nullptr;
    QPlainTextEdit *m_lyricsEditor = nullptr;
    QPushButton *m_importTextButton = nullptr;
    QPushButton *m_importSongButton = nullptr;
    QPushButton *m_saveButton = nullptr;
    QPushButton *m_insertTimeButton = nullptr;
    QLabel *m_clockCaption = nullptr;
    ClockLabel *m_clock = nullptr;
    LinkLabel *m_authorLink = nullptr;
    QLabel *m_recoveryNote = nullptr;
    PlayerWidget *m_player = nullptr;
    SongSession *m_session = nullptr;
    EditorMenu *m_editorMenu = nullptr;
    WaveformView *m_waveform = nullptr;
    TimingAssist *m_assist = nullptr;
    WordTapping *m_words = nullptr;
    QTimer *m_ticker = nullptr;
    RecoveryJournal *m_recovery = nullptr;
    LyricsDocument *m_lyrics = nullptr;
    bool m_leftoversToOffer = false;
    Tapping m_tapping;
};

} // namespace tarvelin
