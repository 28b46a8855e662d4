#pragma once
#include <string>

namespace Rest
{
    // Header values that make a browser save a reply as a file.
    class ContentDisposition
    {
    public:
        // `attachment; filename="<fallback>"; filename*=UTF-8''<name>` for `fileName`, a text in
        // the JSON library's character model (bytes 0x80-0xFF stand for U+0080-U+00FF, "\uXXXX"
        // above 0x00FF for that code point). The fallback is printable ASCII without quotes or
        // backslashes; the exact name follows percent-encoded, so no name can break the header.
        // A name of more than 255 bytes in UTF-8 is cut to that before its extension.
        static std::string Attachment(const std::string& fileName);
    };
}
