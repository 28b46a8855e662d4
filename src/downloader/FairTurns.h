#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace Downloader
{
    // Serves those who ask in turn, so that no one's burst holds up anyone else: of those with
    // something waiting, the one served least recently goes first. Of those never served, the
    // one with the least waiting goes first, so that a single request does not wait for the
    // first turns of every burst that came before it; of equals, the one that asked first.
    class FairTurns
    {
    public:
        struct Waiting
        {
            std::string requester;
            size_t backlog = 1;  // how many of its requests wait
        };
        // Of `waiting` (in the order their waiting work was asked for), the place of the one
        // whose turn it is; waiting.size() when no one waits.
        size_t Next(const std::vector<Waiting>& waiting) const;
        void Served(const std::string& requester);
        // Forgets everyone for whom `keep` is false: they count as never served again.
        void ForgetUnless(const std::function<bool(const std::string& requester)>& keep);

    private:
        std::unordered_map<std::string, uint64_t> lastServed;  // turns are numbered from 1
        uint64_t turns = 0;
    };
}
