#pragma once
#include <string>
#include <unordered_set>
#include <vector>

namespace Subscriptions
{
    // The videos a subscription has seen, by their identities ("youtube dQw4w9WgXcQ"), and
    // their file: one identity a line, only ever appended to, in the form of the downloader's
    // --download-archive, so that a person can hand it to the downloader.
    class SeenArchive
    {
    public:
        explicit SeenArchive(std::string path = "");

        // Reads the file; a missing one is an empty archive.
        void Load();
        bool Contains(const std::string& identity) const;
        // Adds the identities not yet seen, in their order, and appends them to the file; false
        // (nothing added) when the file cannot be written.
        bool Record(const std::vector<std::string>& identities);
        size_t Size() const;
        const std::string& Path() const;

    private:
        std::string path;
        std::unordered_set<std::string> seen;
    };
}
