#include "window/songsession.h"

#include "analysis/songanalysis.h"
#include "media/mediaengine.h"

namespace tarvelin {

SongSession::SongSession(std::unique_ptr<MediaEngine> engine, QObject *parent)
    : QObject(parent), m_engine(std::move(engine)), m_analysis(new SongAnalysis(this))
{
}

SongSession::~SongSession()
{
    // Whoever still listens hears nothing from a song on its way out.
    m_engine->disconnect();
    m_analysis->disconnect();
}

void SongSession::load(const QString &path)
{
    m_engine->load(path);
    m_engine->stop();
    // The waveform of the song now in the engine.
    const QString loaded = m_engine->path();
    if (loaded != m_analysis->path()) {
        if (loaded.isEmpty())
            m_analysis->clear();
        else
            m_analysis->analyse(loaded);
    }
}

} // namespace tarvelin
