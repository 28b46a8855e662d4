#include "rest/PasswordChecks.h"
#include <algorithm>
#include "rest/Authentication.h"

using namespace Rest;

PasswordChecks::~PasswordChecks()
{
    for (Run& run : runs)
        if (run.thread.joinable())
            run.thread.join();
}

std::shared_ptr<const PasswordChecks::Check> PasswordChecks::Start(const std::string& address,
                                                                  const std::string& password,
                                                                  const std::string& hash)
{
    const auto fromAddress = std::count_if(runs.begin(), runs.end(),
                                           [&address](const Run& run) { return run.check->address == address; });
    if (static_cast<size_t>(fromAddress) >= maxPerAddress)
        return nullptr;
    auto check = std::make_shared<Check>();
    check->address = address;
    check->password = password;
    check->hash = hash;
    runs.push_back({check, {}});
    Update();
    return check;
}

void PasswordChecks::Update()
{
    size_t running = 0;
    for (auto run = runs.begin(); run != runs.end();)
    {
        if (run->thread.joinable() && run->check->ended)
        {
            run->thread.join();
            run = runs.erase(run);
            continue;
        }
        if (!run->thread.joinable() && running < maxRunning)
            run->thread = std::thread([check = run->check] {
                check->matches = Authentication::MatchesHash(check->hash, check->password);
                check->ended = true;
            });
        running += run->thread.joinable() ? 1 : 0;
        ++run;
    }
}
