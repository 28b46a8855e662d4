#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include "json/Json.h"
#include "rest/HttpStatusCode.h"

namespace Rest
{
    class ReplyStream;
    struct Reply;

    // A request whose reply waits for work off the main thread (a metadata fetch, a program that
    // must end). On the main thread `isReady` is asked again and again, and only looks; once it
    // answers true, `make` makes the reply.
    struct HeldReply
    {
        std::function<bool()> isReady;
        std::function<Reply()> make;
    };

    // What a command answers: its status and one of a reply object, the reply's text rendered by
    // the command (a listing kept for the next request), a text rendered piece by piece while it
    // is sent, or a held request.
    struct Reply
    {
        using Text = std::shared_ptr<const std::string>;
        using Stream = std::shared_ptr<ReplyStream>;

        HTTP_STATUS_CODE status = OK;
        std::variant<Ostrel::JsonBlock, Text, Stream, HeldReply> body;

        // The template of `code` (RestResponseTemplates::GetByCode with its default message),
        // which also becomes the status.
        static Reply Of(HTTP_STATUS_CODE code);
        // The template of `code` with `message` in its "message" member.
        static Reply WithMessage(HTTP_STATUS_CODE code, const std::string& message);
        static Reply Rendered(Text text);
        static Reply Streamed(Stream stream);
        static Reply Held(HeldReply held);

        // A member of the reply object; only for a reply that is one.
        Ostrel::JsonData& Set(const std::string& member);
        bool IsHeld() const { return std::holds_alternative<HeldReply>(body); }
    };

    // The reply a check of a parameter gives when the parameter is wrong; none when it is right.
    using Refusal = std::optional<Reply>;
}
