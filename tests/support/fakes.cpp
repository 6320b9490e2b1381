#include "fakes.h"

#include <clocale>

namespace tarvelin::test {

void useCNumericLocale()
{
    std::setlocale(LC_NUMERIC, "C");
}

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

void FakeEngine::load(const QString &path)
{
    loads << path;
    loadedPath = path;
    failureValue = {};
    setState(State::Playing);
}

void FakeEngine::stop()
{
    ++stops;
    setState(State::Stopped);
}

void FakeEngine::setState(State s)
{
    currentState = loadedPath.isEmpty() ? State::Empty : s;
    Q_EMIT stateChanged(currentState);
}

} // namespace tarvelin::test
