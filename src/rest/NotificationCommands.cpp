#include "notifications/NotificationCenter.h"
#include "rest/RestQueryHandler.h"

using namespace Rest;
using Notifications::NotificationCenter;

Reply RestQueryHandler::TestNotification(const Ostrel::JsonBlock&)
{
    log->stream << "Sending a test notification...";
    log->Flush();
    // Every request that comes while a test runs waits for that same test.
    const std::shared_ptr<const NotificationCenter::TestRun> run = NotificationCenter::StartTest();
    const ReplyBuilder build = [run] {
        Ostrel::JsonArray targets;
        size_t delivered = 0;
        for (size_t i = 0; i < run->targets.size(); i++)
        {
            const auto& attempt = run->attempts[i];
            Ostrel::JsonBlock target;
            target.Set("target") = run->targets[i].shownName;
            target.Set("delivered") = attempt.delivered;
            target.Set("outcome") = attempt.outcome;
            targets.Add(target);
            delivered += attempt.delivered ? 1 : 0;
            log->stream << (attempt.delivered ? "" : log->Warn()) << "   => " << run->targets[i].shownName << ": "
                        << attempt.outcome;
            log->Flush();
        }
        Reply reply = Reply::WithMessage(OK, run->targets.empty()
                                                 ? std::string("No notification targets are set.")
                                                 : "The test notification reached " + std::to_string(delivered) +
                                                       " of " + std::to_string(run->targets.size()) + " targets.");
        reply.Set("targets") = targets;
        return reply;
    };
    if (run->ended)
        return build();
    return Reply::Held({[run] { return run->ended.load(); }, build});
}
