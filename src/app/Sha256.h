#pragma once
#include <string>

// SHA-256 sums (libsodium), for whoever checks or names something by its content.
class Sha256
{
public:
    // The sum of `content` in lower-case hex.
    static std::string Hex(const std::string& content);
};
