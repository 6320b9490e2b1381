#pragma once

#include "media/mediaengine.h"

#include <QWidget>

#include <memory>
#include <optional>

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QMenu;
class QSlider;
class QTimer;
class QToolButton;
class QHBoxLayout;
class QVBoxLayout;

namespace tarvelin {

// The embedded player ("music1"): a display area with the title, running
// position and any error, transport buttons, a seek bar, volume, mute and
// speed. Every command is one QAction, shared by its button, its key and the
// context menu; the controls only ask the engine, which checks the limits,
// and all of them are refreshed from the engine in one place. Keys while it
// has the focus: Space play/pause, Left/Right seek 5 s, Up/Down volume.
class PlayerWidget : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        QAction *playPause;
        QAction *stop;
        QAction *mute;
        QActionGroup *speeds; // one checkable action per offered speed
        QAction *seekBack;
        QAction *seekForward;
        QAction *volumeUp;
        QAction *volumeDown;
    };

    // The engine is the song session's; it outlives the widget.
    explicit PlayerWidget(MediaEngine *engine, QWidget *parent = nullptr);
    ~PlayerWidget() override;

    // Takes the path as the medium (empty: unload) and starts playing it.
    void setUrl(const QString &path);
    // Stops playback; the medium stays loaded and ready at its start.
    // (Not QWidget::close, which would close the widget.)
    void closeMedia();
    // "mm:ss.xx" of what is heard now; nothing when the engine cannot tell.
    std::optional<QString> currentPositionString();
    // The medium's title; empty with nothing loaded.
    std::optional<QString> currentMediaTitle();

    MediaEngine *engine() const { return m_engine; }
    const Actions &actions() const { return m_actions; }
    // What the display area shows, e.g. an error; for tests and accessibility.
    QString displayText() const;

    // Places a widget in the display area, below the position and any
    // message; a stretch above 0 gives it the room left over.
    void addDisplayWidget(QWidget *widget, int stretch = 0);
    // Adds a button for the action to the control row, after stop.
    QToolButton *addControlAction(QAction *action);
    // Adds the actions to the end of the context menu, after a separator.
    void addMenuActions(const QList<QAction *> &actions);
    // Shows a short remark in the display for NoticeMs, e.g. why a command
    // changed nothing; a new one replaces it.
    static constexpr int NoticeMs = 3000;
    void showNotice(const QString &text);

    // The message the user reads for a failure; empty for none.
    static QString failureText(const MediaEngine::Failure &failure);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void createActions();
    QWidget *buildDisplay();
    QSlider *buildSeekBar();
    QHBoxLayout *buildControlRow();
    QMenu *buildContextMenu();
    QToolButton *makeButton(QAction *action);
    void togglePlay();
    void seekBy(double seconds);
    void refresh();
    void showTime(double seconds);

    MediaEngine *m_engine;
    Actions m_actions{};
    QVBoxLayout *m_displayLayout = nullptr;
    QHBoxLayout *m_controlRow = nullptr;
    int m_controlInsertAt = 0;
    QLabel *m_title = nullptr;
    QLabel *m_message = nullptr;
    QLabel *m_notice = nullptr;
    QTimer *m_noticeTimer = nullptr;
    QLabel *m_time = nullptr;
    QSlider *m_seek = nullptr;
    QSlider *m_volume = nullptr;
    QComboBox *m_speed = nullptr;
    QMenu *m_menu = nullptr;
    bool m_seekDragging = false;
};

} // namespace tarvelin
