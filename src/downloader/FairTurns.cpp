#include "downloader/FairTurns.h"

using namespace Downloader;

size_t FairTurns::Next(const std::vector<Waiting>& waiting) const
{
    size_t chosen = waiting.size();
    uint64_t chosenTurn = 0;
    for (size_t i = 0; i < waiting.size(); i++)
    {
        const auto served = lastServed.find(waiting[i].requester);
        const uint64_t turn = served == lastServed.end() ? 0 : served->second;
        // Turns are unique, so only the never served (turn 0) can be equal.
        if (chosen == waiting.size() || turn < chosenTurn ||
            (turn == 0 && chosenTurn == 0 && waiting[i].backlog < waiting[chosen].backlog))
        {
            chosen = i;
            chosenTurn = turn;
        }
    }
    return chosen;
}

void FairTurns::Served(const std::string& requester)
{
    lastServed[requester] = ++turns;
}

void FairTurns::ForgetUnless(const std::function<bool(const std::string& requester)>& keep)
{
    for (auto served = lastServed.begin(); served != lastServed.end();)
        served = keep(served->first) ? std::next(served) : lastServed.erase(served);
}
