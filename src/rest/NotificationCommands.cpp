#include "notifications/NotificationCenter.h"
#include "rest/RestQueryHandler.h"

using namespace Rest;
using Notifications::NotificationCenter;

bool RestQueryHandler::TestNotification(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                        HTTP_STATUS_CODE& responseCode)
{
    log->stream << "Sending a test notification...";
    log->Flush();
    // Every request that comes while a test runs waits for that same test.
    const std::shared_ptr<const NotificationCenter::TestRun> run = NotificationCenter::StartTest();
    const ReplyBuilder build = [run](Ostrel::JsonBlock& body, HTTP_STATUS_CODE& code) {
        StartReply(OK, body, code);
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
        body.Set("message") = run->targets.empty()
                                  ? std::string("No notification targets are set.")
                                  : "The test notification reached " + std::to_string(delivered) + " of " +
                                        std::to_string(run->targets.size()) + " targets.";
        body.Set("targets") = targets;
        return true;
    };
    if (run->ended)
        return build(responseBody, responseCode);
    Hold({[run] { return run->ended.load(); }, build});
    return true;
}
