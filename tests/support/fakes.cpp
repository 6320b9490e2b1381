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

bool FakeTools::askYesNo(QWidget *, const QString &title, const QString &text)
{
    questions << title + QStringLiteral(": ") + text;
    if (yesNoAnswers.empty())
        return false;
    const bool yes = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return yes;
}

std::optional<int> FakeTools::askInteger(QWidget *, const QString &title, const QString &label, int, int, int)
{
    questions << title + QStringLiteral(": ") + label;
    if (integerAnswers.empty())
        return std::nullopt;
    const auto answer = integerAnswers.front();
    integerAnswers.pop_front();
    return answer;
}

void FakeEngine::load(const QString &path)
{
    loads << path;
    loadedPath = path;
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
