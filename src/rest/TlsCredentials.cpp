#include "rest/TlsCredentials.h"
#include <cerrno>
#include <cstring>
#include <sodium.h>
#include "app/FileSystem.h"
#include "config/XGConfig.h"

using namespace Rest;

namespace
{
    bool ReadPem(const char* setting, const std::string& path, std::string& content, std::string& problem)
    {
        if (path.empty())
        {
            problem = std::string("httpServer.") + setting + " is not set, and HTTPS needs both the certificate and "
                      "its key.";
            return false;
        }
        if (!FileSystem::ReadBytes(path, content))
        {
            problem = std::string("httpServer.") + setting + " \"" + path + "\" cannot be read (" +
                      std::strerror(errno) + ").";
            return false;
        }
        if (content.empty())
        {
            problem = std::string("httpServer.") + setting + " \"" + path + "\" is empty.";
            return false;
        }
        return true;
    }
}

bool TlsCredentials::AreWanted()
{
    return !XGConfig::httpServer.tls_certificate.empty() || !XGConfig::httpServer.tls_key.empty();
}

bool TlsCredentials::Load(std::string& problem)
{
    return ReadPem("tls_certificate", XGConfig::httpServer.tls_certificate, certificate, problem) &&
           ReadPem("tls_key", XGConfig::httpServer.tls_key, key, problem);
}

TlsCredentials::~TlsCredentials()
{
    sodium_memzero(key.data(), key.size());
}
