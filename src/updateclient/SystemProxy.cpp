#include "updateclient/SystemProxy.h"

#include <cstdlib>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
// windows.h first: winhttp.h needs its types.
#include <winhttp.h>
#elif defined(TEELINK_HAVE_GIO)
#include <gio/gio.h>
#endif

namespace teelink {

namespace {

CProxyPlan Direct(std::string source) {
    return CProxyPlan{CProxyPlan::Kind::Direct, {}, false, std::move(source)};
}

CProxyPlan Via(std::string proxy, std::string source, bool systemCredentials = false) {
    return CProxyPlan{CProxyPlan::Kind::Via, std::move(proxy), systemCredentials,
                      std::move(source)};
}

#if defined(_WIN32)

std::wstring Wide(const std::string& text) {
    std::wstring out;
    for (const char c : text) {
        out += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return out;
}

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) {
        out += static_cast<char>(*text < 0x80 ? *text : '?');
    }
    return out;
}

// The items of a Windows proxy or bypass list, separated by ';' or blanks.
std::vector<std::string> ListItems(const std::string& list) {
    std::vector<std::string> items;
    size_t at = 0;
    while (at <= list.size()) {
        size_t end = list.find_first_of("; ", at);
        end = end == std::string::npos ? list.size() : end;
        if (end > at) {
            items.push_back(list.substr(at, end - at));
        }
        at = end + 1;
    }
    return items;
}

// "http=a:1;https=b:2" or "a:1": the proxy for `scheme`.
std::string ManualProxyFor(const std::string& list, const std::string& scheme) {
    std::string fallback;
    for (const std::string& item : ListItems(list)) {
        const size_t equals = item.find('=');
        if (equals == std::string::npos) {
            fallback = item;
        } else if (item.substr(0, equals) == scheme) {
            return item.substr(equals + 1);
        }
    }
    return fallback;
}

// The bypass list's rule for `host`: "<local>" for names without a dot,
// otherwise patterns with '*'.
bool Bypassed(const std::string& bypass, const std::string& host) {
    for (const std::string& rule : ListItems(bypass)) {
        if (rule == "<local>" && host.find('.') == std::string::npos) {
            return true;
        }
        const size_t star = rule.find('*');
        if (star == std::string::npos
                ? rule == host
                : host.size() >= rule.size() - 1 && host.compare(0, star, rule, 0, star) == 0 &&
                      host.compare(host.size() - (rule.size() - star - 1), std::string::npos, rule,
                                   star + 1) == 0) {
            return true;
        }
    }
    return false;
}

std::string HostOf(const std::string& url) {
    const size_t start = url.find("://");
    const size_t from = start == std::string::npos ? 0 : start + 3;
    const size_t end = url.find_first_of(":/?#", from);
    return url.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

// What WinHTTP's proxy-for-URL gives, as a plan; nullopt when it has nothing.
bool AutoProxy(const std::string& url, const WINHTTP_CURRENT_USER_IE_PROXY_CONFIG& config,
               CProxyPlan& plan) {
    HINTERNET session = WinHttpOpen(L"Teelink", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    if (session == nullptr) {
        return false;
    }
    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (config.lpszAutoConfigUrl != nullptr) {
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = config.lpszAutoConfigUrl;
    } else {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info{};
    const std::wstring wideUrl = Wide(url);
    const bool found = WinHttpGetProxyForUrl(session, wideUrl.c_str(), &options, &info) != FALSE;
    if (found) {
        const std::string list = Narrow(info.lpszProxy);
        plan = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !list.empty()
                   ? Via("http://" +
                             ManualProxyFor(list, url.rfind("https", 0) == 0 ? "https" : "http"),
                         "Windows (automatic configuration)", true)
                   : Direct("Windows (automatic configuration)");
        GlobalFree(info.lpszProxy);
        GlobalFree(info.lpszProxyBypass);
    }
    WinHttpCloseHandle(session);
    return found;
}

CProxyPlan SystemPlan(const std::string& url) {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) {
        return Direct("Windows (no proxy settings)");
    }
    CProxyPlan plan = Direct("Windows (no proxy set)");
    const bool automatic = config.fAutoDetect || config.lpszAutoConfigUrl != nullptr;
    if (!(automatic && AutoProxy(url, config, plan)) && config.lpszProxy != nullptr) {
        const std::string scheme = url.rfind("https", 0) == 0 ? "https" : "http";
        const std::string proxy = ManualProxyFor(Narrow(config.lpszProxy), scheme);
        plan = Bypassed(Narrow(config.lpszProxyBypass), HostOf(url)) || proxy.empty()
                   ? Direct("Windows (bypass list)")
                   : Via(proxy.find("://") == std::string::npos ? "http://" + proxy : proxy,
                         "Windows (manual proxy)", true);
    }
    for (LPWSTR text : {config.lpszAutoConfigUrl, config.lpszProxy, config.lpszProxyBypass}) {
        if (text != nullptr) {
            GlobalFree(text);
        }
    }
    return plan;
}

#else

// libcurl reads these itself; any of them set means the environment decides.
bool EnvironmentSetsAProxy() {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != 0) {
            return true;
        }
    }
    return false;
}

#if defined(TEELINK_HAVE_GIO)
CProxyPlan SystemPlan(const std::string& url) {
    GError* error = nullptr;
    gchar** proxies =
        g_proxy_resolver_lookup(g_proxy_resolver_get_default(), url.c_str(), nullptr, &error);
    if (proxies == nullptr || proxies[0] == nullptr) {
        if (error != nullptr) {
            g_error_free(error);
        }
        g_strfreev(proxies);
        return Direct("the desktop's settings (none)");
    }
    std::string first = proxies[0];
    g_strfreev(proxies);
    if (first == "direct://") {
        return Direct("the desktop's settings");
    }
    if (first.rfind("socks://", 0) == 0) {
        first = "socks5h://" + first.substr(8);  // what GIO calls socks, libcurl spells out
    }
    return Via(first, "the desktop's settings");
}
#else
CProxyPlan SystemPlan(const std::string&) {
    return CProxyPlan{CProxyPlan::Kind::Library, {}, false, "the environment"};
}
#endif

#endif

}  // namespace

CProxyPlan PlanProxy(const std::string& url, const CServerSettings& settings) {
    switch (settings.proxyMode) {
        case ProxyMode::Direct:
            return Direct("--no-proxy");
        case ProxyMode::Fixed:
            return Via(settings.proxyUrl, "--proxy");
        case ProxyMode::System:
            break;
    }
#ifndef _WIN32
    if (EnvironmentSetsAProxy()) {
        return CProxyPlan{CProxyPlan::Kind::Library, {}, false, "the environment"};
    }
#endif
    return SystemPlan(url);
}

std::string DescribeProxy(const CProxyPlan& plan) {
    switch (plan.kind) {
        case CProxyPlan::Kind::Direct:
            return "none (direct, from " + plan.source + ")";
        case CProxyPlan::Kind::Via:
            return plan.proxy + " (from " + plan.source + ")";
        case CProxyPlan::Kind::Library:
            break;
    }
    const char* names[] = {"https_proxy", "HTTPS_PROXY", "http_proxy",
                           "HTTP_PROXY",  "all_proxy",   "ALL_PROXY"};
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != 0) {
            return std::string(value) + " (from " + name + ", unless no_proxy names the host)";
        }
    }
    return "none (direct, from the environment's no_proxy)";
}

}  // namespace teelink
