/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * fetch_target.cpp - where a request really goes: the peer of its connection, or,
 * through a proxy, the request's target host.
 *
 * libcurl sends a request through the proxy that http_proxy, https_proxy /
 * HTTPS_PROXY or all_proxy / ALL_PROXY names; the address it connects to is then the
 * proxy's and tells nothing about the target. A connection whose peer is the address
 * and port of such a proxy is therefore judged by the target host of the request: by
 * the addresses that this machine resolves it to. A name that does not resolve here
 * (the proxy resolves it) counts as local only when it is "localhost" or under
 * ".localhost". Every other connection is judged by its peer, the address actually
 * connected to, which no later lookup can change.
 */
#include "feedserviceutils_internal.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <mutex>

namespace {

/* libcurl's port for a proxy that names none. */
constexpr long kDefaultProxyPort = 1080;

/* The textual addresses host resolves to (itself when it is an address), or none. */
std::vector<std::string> resolve(const std::string &host) {
    std::string name = host;
    if (name.size() > 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    if (g_hostname_is_ip_address(name.c_str()))
        return {name};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    std::vector<std::string> addresses;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0)
        return addresses;
    for (addrinfo *entry = found; entry != nullptr; entry = entry->ai_next) {
        char ip[INET6_ADDRSTRLEN] = "";
        if (entry->ai_family == AF_INET)
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(entry->ai_addr)->sin_addr, ip,
                      sizeof ip);
        else if (entry->ai_family == AF_INET6)
            inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6 *>(entry->ai_addr)->sin6_addr, ip,
                      sizeof ip);
        if (*ip != '\0')
            addresses.emplace_back(ip);
    }
    freeaddrinfo(found);
    return addresses;
}

/* The endpoints of the proxy named by value ("host:port" or an address with a scheme). */
void add_proxy_endpoints(const char *value, std::set<std::string> *endpoints) {
    if (value == nullptr || *value == '\0')
        return;
    const std::string text =
        strstr(value, "://") != nullptr ? value : std::string("http://") + value;
    GUri *uri = g_uri_parse(text.c_str(), G_URI_FLAGS_PARSE_RELAXED, nullptr);
    if (uri == nullptr)
        return;
    if (g_uri_get_host(uri) != nullptr) {
        const long port = g_uri_get_port(uri) > 0 ? g_uri_get_port(uri) : kDefaultProxyPort;
        for (const std::string &ip : resolve(g_uri_get_host(uri)))
            endpoints->insert(fsu::endpoint(ip, port));
    }
    g_uri_unref(uri);
}

} // namespace

std::string fsu::endpoint(const std::string &ip, long port) {
    return ip + " " + std::to_string(port);
}

bool fsu::is_proxy_endpoint(const std::string &ip, long port) {
    static std::mutex lock;
    static std::string named; /* the environment the set was made from */
    static std::set<std::string> proxies;
    std::string now;
    for (const char *name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        now += std::string(g_getenv(name) != nullptr ? g_getenv(name) : "") + "\n";
    std::lock_guard<std::mutex> guard(lock);
    if (now != named) {
        named = now;
        proxies.clear();
        for (const char *name :
             {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            add_proxy_endpoints(g_getenv(name), &proxies);
    }
    return proxies.count(endpoint(ip, port)) > 0;
}

fsu::Reach fsu::reach_of_peer(const std::string &ip, long port) {
    Reach reach;
    reach.shown = ip;
    reach.local = is_local_address(ip.c_str());
    if (reach.local)
        reach.local_endpoints.push_back(endpoint(ip, port));
    return reach;
}

fsu::Reach fsu::reach_of_target(const char *url) {
    Reach reach;
    reach.local = true; /* unknown: not to be trusted */
    GUri *uri = url != nullptr ? g_uri_parse(url, G_URI_FLAGS_PARSE_RELAXED, nullptr) : nullptr;
    if (uri == nullptr || g_uri_get_host(uri) == nullptr) {
        if (uri != nullptr)
            g_uri_unref(uri);
        return reach;
    }
    const std::string host = g_uri_get_host(uri);
    long port = g_uri_get_port(uri);
    if (port <= 0)
        port = g_ascii_strcasecmp(g_uri_get_scheme(uri), "https") == 0 ? 443 : 80;
    g_uri_unref(uri);
    reach.shown = host;
    const std::vector<std::string> addresses = resolve(host);
    if (addresses.empty()) {
        g_autofree gchar *lower = g_ascii_strdown(host.c_str(), -1);
        reach.local = g_strcmp0(lower, "localhost") == 0 || g_str_has_suffix(lower, ".localhost");
        return reach;
    }
    reach.local = false;
    for (const std::string &ip : addresses) {
        if (!is_local_address(ip.c_str()))
            continue;
        reach.local = true;
        reach.local_endpoints.push_back(endpoint(ip, port));
    }
    return reach;
}
