#include "subscriptions/SeenArchive.h"
#include <fstream>
#include "app/FileSystem.h"

using namespace Subscriptions;

SeenArchive::SeenArchive(std::string path) : path(std::move(path))
{
}

void SeenArchive::Load()
{
    seen.clear();
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            seen.insert(line);
    }
}

bool SeenArchive::Contains(const std::string& identity) const
{
    return seen.count(identity) > 0;
}

bool SeenArchive::Record(const std::vector<std::string>& identities)
{
    std::string lines;
    std::vector<std::string> added;
    for (const std::string& identity : identities)
        if (seen.insert(identity).second)
        {
            lines += identity + "\n";
            added.push_back(identity);
        }
    if (lines.empty() || FileSystem::AppendToFile(path, lines))
        return true;
    for (const std::string& identity : added)
        seen.erase(identity);
    return false;
}

size_t SeenArchive::Size() const
{
    return seen.size();
}

const std::string& SeenArchive::Path() const
{
    return path;
}
