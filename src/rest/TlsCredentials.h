#pragma once
#include <string>

namespace Rest
{
    // The certificate and private key of httpServer.tls_certificate and httpServer.tls_key, read
    // once when the server starts. The key stays in memory only as long as the listener needs it
    // and is never logged or served.
    class TlsCredentials
    {
    public:
        // True when either setting names a file: the server then speaks HTTPS or nothing at all.
        static bool AreWanted();

        // Reads both files; false, with `problem` saying which one failed and why (a sentence).
        bool Load(std::string& problem);
        ~TlsCredentials();

        const std::string& Certificate() const { return certificate; }
        const std::string& Key() const { return key; }

    private:
        std::string certificate;  // PEM, the certificate first, then any intermediate ones
        std::string key;          // PEM
    };
}
