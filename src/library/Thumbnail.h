#pragma once
#include <string>
#include "json/Json.h"

namespace Library
{
    // A video's picture for media servers, beside its library file.
    class Thumbnail
    {
    public:
        // The best picture the metadata names: its "thumbnail", else the last of "thumbnails"
        // (the downloader lists them from worst to best); http:// or https:// only, else empty.
        static std::string UrlOf(const Ostrel::JsonBlock& metadata);

        // Fetches `url` and saves it as a JPEG file at `path` (ffmpeg converts any other picture),
        // never replacing a file there and never leaving half a file. Empty, or a sentence that
        // says what failed.
        static std::string SaveAsJpeg(const std::string& url, const std::string& path);
    };
}
