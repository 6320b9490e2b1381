#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTextCursor>
#include <QWidget>

#include <functional>
#include <utility>

class QPlainTextEdit;
class QTimer;

namespace tarvelin {

class LyricsDocument;
struct LinesChange;
class MediaEngine;
class SongAnalysis;

// The song's waveform in a window around the playhead, for seeing and fixing
// the timing by eye. Shows:
// - the waveform (min/max peaks) as far as the song is decoded; nothing for
//   a song that cannot be decoded;
// - the playhead in the middle, the window scrolling with playback;
// - a marker for every time tag of the lyrics, at the time written in the
//   tag ([offset:] is not applied: the marker is the tag the user drags), a
//   line and the first characters of its lyric, redrawn as the lyrics change;
//   the caret's line (the current line in tap mode) stands out;
// - small ticks where sounds start (onsets), the weak ones left out.
// A click seeks there; dragging a marker moves its tag (cut to the
// hundredth, kept within the song's length as the engine knows it, one
// undo step of the lyrics document). The drag holds on to its
// line, not to the marker's place in the list: lines added or removed
// elsewhere meanwhile leave it on its line, and any change to the line
// itself (an undo, a tap) cancels it. The current line's word ticks drag
// the same way, each between the word tags beside it (the first one not
// before the line's tag, unless it stands at that tag: then the line's tag
// goes with it), and the drag makes the word tag the user's. The mouse wheel
// zooms from 2 to 60 seconds.
class WaveformView : public QWidget {
    Q_OBJECT
public:
    static constexpr double DefaultSpan = 8.0;
    static constexpr double MinSpan = 2.0;
    static constexpr double MaxSpan = 60.0;

    WaveformView(SongAnalysis *analysis, MediaEngine *engine, QWidget *parent = nullptr);
    ~WaveformView() override;

    // The lyrics whose tags are shown and moved, and the editor showing
    // them: its caret's line is the current line.
    void setLyrics(LyricsDocument *lyrics, QPlainTextEdit *editor);

    double span() const { return m_span; }
    void setSpan(double seconds);
    // The playhead's time and the song time at the window's left edge.
    double position() const { return m_position; }
    double viewStart() const;
    // Song time at a horizontal position in the widget and back.
    double timeAt(double x) const;
    double xAt(double seconds) const;

    struct Marker {
        int line = 0;   // the editor's line (block number)
        int tag = 0;    // which of the line's leading tags
        qint64 ms = 0;  // its time as written
        QString label;  // the first characters of the lyric
        friend bool operator==(const Marker &, const Marker &) = default;
    };
    // Every line tag of the lyrics, in time order as written.
    const QList<Marker> &markers() const;
    // Whether the waveform has anything to draw (decoded peaks).
    bool hasWaveform() const;
    // The band the current line's word ticks are drawn in (and grabbed
    // from): its top and height.
    std::pair<double, double> wordTickBand() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void setAnchor(double seconds);
    void advance();
    void followPlayback();
    int markerAt(double x) const;
    // The current line's word tag whose tick is at the point: the first of
    // those at the same time, and in `last` the last of them; -1 for none.
    int wordTickAt(QPointF point, int *last = nullptr) const;
    QFont labelFont() const;
    // Where the grabbed word tag may go, cut to the hundredth, and which of
    // the line's time tags goes with it (-1: none).
    void setDraggedWord(int word);
    void appendMarkers(int line) const;
    static bool markerOrder(const Marker &a, const Marker &b);
    int currentLine() const;
    bool isDragged(const Marker &marker) const;
    void lyricsChanged(const LinesChange &change);
    void cancelDrag();

    QPointer<SongAnalysis> m_analysis;
    QPointer<MediaEngine> m_engine;
    QPointer<LyricsDocument> m_lyrics;
    QPointer<QPlainTextEdit> m_editor;
    QTimer *m_ticker;
    double m_span = DefaultSpan;
    double m_position = 0;
    double m_anchor = 0;          // the engine's last reported position
    QElapsedTimer m_anchorClock;  // since it came
    mutable QList<Marker> m_markers;
    mutable bool m_markersStale = true;

    // A marker being dragged: the view holds still meanwhile. The cursor sits
    // at the start of the grabbed line and moves with edits elsewhere.
    bool m_dragging = false;
    QTextCursor m_dragLine;
    QString m_dragText;       // the line as grabbed
    int m_dragTag = 0;        // which of the line's leading tags
    // A word tick being dragged: which of the line's word tags (-1: a
    // marker is), the same-time ones it may be, and where it may go.
    int m_dragWord = -1;
    int m_tieFirst = -1;
    int m_tieLast = -1;
    int m_dragLineTag = -1;   // the line's time tag that goes with it, -1 none
    qint64 m_dragLow = 0;
    qint64 m_dragHigh = 0;
    qint64 m_grabbedMs = 0;   // its time when grabbed
    qint64 m_dragMs = 0;      // where it would go now
    double m_pressX = 0;
    double m_frozenStart = 0;
    bool m_pressed = false;
    bool m_pressedOnMarker = false;
};

} // namespace tarvelin
