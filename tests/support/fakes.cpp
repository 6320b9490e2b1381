#include "fakes.h"

namespace tarvelin::test {

std::optional<QString> FakeTools::chooseFile(QWidget *, FileMode mode, const QString &title,
                                             const QStringList &nameFilters)
{
    requests.append({mode, title, nameFilters});
    if (fileAnswers.empty())
        return std::nullopt;
    auto answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

void FakeTools::showError(QWidget *, const QString &title, const QString &text)
{
    errors << title + QStringLiteral(": ") + text;
}

PlatformTools::CloseAnswer FakeTools::askSaveBeforeClose(QWidget *)
{
    ++closeQuestions;
    return closeAnswer;
}

bool FakeTools::openUrl(const QUrl &url)
{
    openedUrls << url;
    return openUrlResult;
}

void FakeEngine::load(const QString &path)
{
    loads << path;
    loadedPath = path;
    currentState = path.isEmpty() ? State::Empty : State::Playing;
    Q_EMIT stateChanged(currentState);
}

void FakeEngine::stop()
{
    ++stops;
    if (currentState != State::Empty)
        currentState = State::Stopped;
    Q_EMIT stateChanged(currentState);
}

void FakeEngine::play()
{
    if (currentState != State::Empty)
        currentState = State::Playing;
    Q_EMIT stateChanged(currentState);
}

void FakeEngine::pause()
{
    if (currentState == State::Playing)
        currentState = State::Paused;
    Q_EMIT stateChanged(currentState);
}

void FakeEngine::seek(double seconds)
{
    positionValue = seconds;
}

std::optional<double> FakeEngine::position()
{
    ++positionReads;
    return positionValue;
}

std::optional<QString> FakeEngine::title()
{
    ++titleReads;
    return titleValue;
}

} // namespace tarvelin::test
