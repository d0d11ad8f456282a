#pragma once

// Which proxy a request to a URL goes through, as the system would choose it:
// on Linux the environment's http_proxy, https_proxy and no_proxy when any is
// set, else the desktop's settings through GIO's proxy resolver (manual,
// automatic, a PAC script); on Windows the user's Internet settings through
// WinHTTP (automatic detection, a PAC script, a manual proxy with its bypass
// list). The command line's --proxy and --no-proxy override it.

#include <string>

#include "updateclient/ServerSettings.h"

namespace teelink {

struct CProxyPlan {
    enum class Kind {
        Library,  // libcurl's own choice: it reads the environment itself
        Direct,   // no proxy
        Via,      // through `proxy`
    };
    Kind kind = Kind::Library;
    std::string proxy;  // scheme://[user:password@]host:port
    // Authenticate to the proxy as the logged-in user (Negotiate or NTLM),
    // which Windows can do without asking.
    bool systemCredentials = false;
    std::string source;  // where the choice came from, for the command line
};

CProxyPlan PlanProxy(const std::string& url, const CServerSettings& settings);

// What a plan says in words: "none (direct)", "http://proxy:3128 (from GIO)".
std::string DescribeProxy(const CProxyPlan& plan);

}  // namespace teelink
