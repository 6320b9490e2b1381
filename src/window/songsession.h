#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace tarvelin {

class MediaEngine;
class SongAnalysis;

// The song the window works on: the player's engine and the song's analysis
// (waveform, onsets, timing curves), owned here and handed to the parts that
// play, show or time it. Every way a song comes in (导入歌曲, a restored
// recovery file) loads it through load().
class SongSession : public QObject {
    Q_OBJECT
public:
    explicit SongSession(std::unique_ptr<MediaEngine> engine, QObject *parent = nullptr);
    ~SongSession() override;

    MediaEngine *engine() const { return m_engine.get(); }
    SongAnalysis *analysis() const { return m_analysis; }

    // The engine gets the song and stands ready at its start; the analysis
    // starts unless it already holds that song (an empty path clears it).
    void load(const QString &path);

private:
    std::unique_ptr<MediaEngine> m_engine;
    SongAnalysis *m_analysis;
};

} // namespace tarvelin
