#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace Downloader
{
    // Serves those who ask in turn, so that no one's burst holds up anyone else: of those with
    // something waiting, the one served least recently goes first (one never served before all
    // others), and of equals the one whose waiting work was asked for first.
    class FairTurns
    {
    public:
        // Of `waiting` (who asked, in the order their waiting work was asked for), the place of
        // the one whose turn it is; waiting.size() when no one waits.
        size_t Next(const std::vector<std::string>& waiting) const;
        void Served(const std::string& requester);
        // Forgets everyone for whom `keep` is false: they count as never served again.
        void ForgetUnless(const std::function<bool(const std::string& requester)>& keep);

    private:
        std::unordered_map<std::string, uint64_t> lastServed;  // turns are numbered from 1
        uint64_t turns = 0;
    };
}
