#pragma once

#include "media/mediaengine.h"

#include <QWidget>

#include <memory>
#include <optional>

class QLabel;
class QSlider;
class QToolButton;
class QComboBox;
class QTimer;

namespace tarvelin {

// The embedded player ("music1"): a display area with the title, running
// position and any error, transport buttons, a seek bar, volume, mute and
// speed. Keys while it has the focus: Space play/pause, Left/Right seek 5 s,
// Up/Down volume. The program itself only uses the four operations below.
class PlayerWidget : public QWidget {
    Q_OBJECT
public:
    explicit PlayerWidget(std::unique_ptr<MediaEngine> engine, QWidget *parent = nullptr);
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

    MediaEngine *engine() const { return m_engine.get(); }
    // What the display area shows, e.g. an error; for tests and accessibility.
    QString displayText() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void buildUi();
    void togglePlay();
    void seekBy(double seconds);
    void changeVolume(int delta);
    void refreshState();
    void refreshPosition(double seconds);
    void refreshTitle();

    std::unique_ptr<MediaEngine> m_engine;
    QLabel *m_title = nullptr;
    QLabel *m_message = nullptr;
    QLabel *m_time = nullptr;
    QSlider *m_seek = nullptr;
    QToolButton *m_playPause = nullptr;
    QToolButton *m_stop = nullptr;
    QToolButton *m_mute = nullptr;
    QSlider *m_volume = nullptr;
    QComboBox *m_speed = nullptr;
    bool m_seekDragging = false;
};

} // namespace tarvelin
