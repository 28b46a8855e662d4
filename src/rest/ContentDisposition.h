#pragma once
#include <string>

namespace Rest
{
    // Header values that make a browser save a reply as a file, or show it with that name.
    class ContentDisposition
    {
    public:
        // `attachment; filename="<fallback>"; filename*=UTF-8''<name>` for `fileName`, a UTF-8
        // text (bytes that are not UTF-8 stand for U+FFFD). The fallback is printable ASCII
        // without quotes or backslashes; the exact name follows percent-encoded, so no name can
        // break the header. A name of more than 255 bytes in UTF-8 is cut to that before its
        // extension.
        static std::string Attachment(const std::string& fileName);
        // The same with `inline`: the browser shows or plays the reply, and saves it under that name.
        static std::string Inline(const std::string& fileName);

    private:
        static std::string Named(const char* disposition, const std::string& fileName);
    };
}
