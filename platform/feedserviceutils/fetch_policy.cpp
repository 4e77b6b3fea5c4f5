/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * fetch_policy.cpp - what the downloads of one process remember, and which
 * addresses they may reach.
 *
 *   - A run (network_utils_begin_run) asks for every address at most once: an
 *     address that failed is not asked for again until the next run (or for 10
 *     minutes when no run is marked), and each failure is logged once.
 *   - A host that could not be connected to (refused, unresolvable, connect time-out)
 *     gets no picture requests for 2 minutes, so that the many pictures of a dead host
 *     do not each wait; a failed transfer says nothing more about the host than the
 *     run's rule for stalls below. Feeds are always asked for: they decide whether a
 *     run happens at all.
 *   - A host that answered 429 or 503 with Retry-After is not asked again before the
 *     time given, feeds included, but never for longer than the plug-in's run
 *     interval (an hour); a run whose settings differ from the previous run's (the
 *     user chose another list) lifts it. A run marked without settings (by the daemon)
 *     counts as one with other settings when its first feed differs from the previous
 *     run's first feed.
 *   - The pictures of a run share a time budget: they may lose at most 20 s to
 *     transfers that fail (each picture's time-out is cut to what is left of it, and
 *     once it is used up the run fetches no more pictures), and a host whose picture
 *     timed out (a stall or a trickle) gets no further picture requests in that run.
 *   - A run whose settings differ from the previous run's forgets every failure.
 *   - Loopback, link-local and private addresses are fetched only for a feed whose own
 *     target is one (its redirects too), and for pictures only at the very address and
 *     port that a feed of the current run came from (the demo storefront's pictures
 *     beside its feed), never at another local address or port. Through a proxy the
 *     target host is judged, not the proxy (fetch_target.cpp).
 * Without a run marked, the run's memory (failures, budget, stalled hosts) lasts 10
 * minutes.
 * Each set keeps at most 1,024 entries (the oldest are dropped); one mutex guards all:
 * the daemon runs plug-ins on a worker thread.
 */
#include "feedserviceutils_internal.h"

#include <gio/gio.h>

#include <algorithm>
#include <deque>
#include <mutex>
#include <set>
#include <unordered_map>
#include <utility>

namespace {

constexpr gint64 kAddressRetryAfter = 10 * 60 * G_USEC_PER_SEC;
constexpr gint64 kHostRetryAfter = 2 * 60 * G_USEC_PER_SEC;
constexpr gint64 kRunMemory = kAddressRetryAfter;
constexpr gint64 kPictureFailureBudget = 20 * G_USEC_PER_SEC;
constexpr long kPictureTimeLimitMs = 30 * 1000;
constexpr gsize kMaxRemembered = 1024;

/* Keys, each with the moment from which it may be asked for again. */
class Deadlines {
  public:
    /* Whether key is still held back at now; forgets it once it is not. */
    bool held(const std::string &key, gint64 now) {
        auto found = until_.find(key);
        if (found == until_.end())
            return false;
        if (now < found->second)
            return true;
        until_.erase(found);
        return false;
    }

    void hold(const std::string &key, gint64 until) {
        until_[key] = until;
        order_.emplace_back(key, until);
        /* order_ holds every key's latest entry (and older ones of keys held again), so
         * capping it caps the set; an older entry removes nothing. */
        while (order_.size() > kMaxRemembered) {
            auto found = until_.find(order_.front().first);
            if (found != until_.end() && found->second == order_.front().second)
                until_.erase(found);
            order_.pop_front();
        }
    }

    void release(const std::string &key) { until_.erase(key); }

    void clear() {
        until_.clear();
        order_.clear();
    }

  private:
    std::unordered_map<std::string, gint64> until_;
    std::deque<std::pair<std::string, gint64>> order_;
};

struct Policy {
    std::mutex lock;
    Deadlines failed_addresses; /* this run's failures */
    Deadlines unreachable_hosts;
    Deadlines server_waits;
    Deadlines stalled_hosts;           /* this run's hosts whose picture timed out */
    gint64 run_started = 0;            /* when the run's memory began */
    gint64 picture_failures_us = 0;    /* time this run's pictures lost to failures */
    std::string settings;              /* what the current run fetches */
    bool first_feed_pending = false;   /* the run has asked for no feed yet */
    std::string first_feed;            /* the first feed the latest run asked for */
    std::set<std::string> local_feeds; /* local endpoints the run's feeds came from */
};

/* Under the lock: forgets what the run remembers. */
void start_run_memory(Policy &p, gint64 now) {
    p.failed_addresses.clear();
    p.stalled_hosts.clear();
    p.local_feeds.clear();
    p.picture_failures_us = 0;
    p.run_started = now;
}

/* Under the lock: without a run marked, the run's memory lasts kRunMemory. */
void expire_run_memory(Policy &p, gint64 now) {
    if (now - p.run_started > kRunMemory)
        start_run_memory(p, now);
}

/* Under the lock: a picture's own limit, cut to what is left of the run's budget. */
long picture_limit_of(const Policy &p) {
    const gint64 left_ms = (kPictureFailureBudget - p.picture_failures_us) / 1000;
    return static_cast<long>(std::clamp<gint64>(left_ms, 0, kPictureTimeLimitMs));
}

Policy &policy() {
    static Policy instance;
    return instance;
}

/* 100.64.0.0/10 (shared address space) counts as private too. */
bool local_ipv4(const guint8 *b) {
    return b[0] == 127 || b[0] == 10 || b[0] == 0 || (b[0] == 169 && b[1] == 254) ||
           (b[0] == 172 && (b[1] & 0xf0) == 16) || (b[0] == 192 && b[1] == 168) ||
           (b[0] == 100 && (b[1] & 0xc0) == 64) || b[0] >= 224;
}

} // namespace

bool fsu::is_local_address(const char *ip) {
    if (ip == nullptr || *ip == '\0')
        return true; /* unknown: not to be trusted */
    GInetAddress *address = g_inet_address_new_from_string(ip);
    if (address == nullptr)
        return true;
    const guint8 *b = g_inet_address_to_bytes(address);
    bool local;
    if (g_inet_address_get_family(address) == G_SOCKET_FAMILY_IPV4) {
        local = local_ipv4(b);
    } else {
        static const guint8 mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
        if (std::equal(mapped, mapped + 12, b))
            local = local_ipv4(b + 12);
        else
            local = g_inet_address_get_is_loopback(address) || g_inet_address_get_is_any(address) ||
                    (b[0] == 0xfe && (b[1] & 0xc0) == 0x80) /* link-local */ ||
                    (b[0] & 0xfe) == 0xfc /* unique local */ ||
                    (b[0] == 0xfe && (b[1] & 0xc0) == 0xc0) /* site-local */ || b[0] == 0xff;
    }
    g_object_unref(address);
    return local;
}

void fsu::begin_run(const std::string &settings) {
    Policy &p = policy();
    std::lock_guard<std::mutex> guard(p.lock);
    start_run_memory(p, g_get_monotonic_time());
    if (settings != p.settings) {
        p.unreachable_hosts.clear();
        p.server_waits.clear();
    }
    p.settings = settings;
    /* Without settings named, the run's first feed tells whether they changed. */
    p.first_feed_pending = settings.empty();
}

std::string fsu::held_back(const std::string &address, const std::string &host, FetchKind kind,
                           bool force, long *picture_limit_ms) {
    Policy &p = policy();
    std::lock_guard<std::mutex> guard(p.lock);
    const gint64 now = g_get_monotonic_time();
    expire_run_memory(p, now);
    if (kind == FetchKind::Feed && p.first_feed_pending) {
        /* A run that starts with another feed than the last one fetches for other
         * settings, also when the run was marked without them (by the daemon). */
        p.first_feed_pending = false;
        if (!p.first_feed.empty() && address != p.first_feed) {
            p.unreachable_hosts.clear();
            p.server_waits.clear();
        }
        p.first_feed = address;
    }
    const long picture_limit = picture_limit_of(p);
    if (picture_limit_ms != nullptr)
        *picture_limit_ms = picture_limit;
    if (!host.empty() && p.server_waits.held(host, now))
        return "the server asked to wait before asking again (Retry-After)";
    if (!force) {
        if (p.failed_addresses.held(address, now))
            return "failed earlier in this run";
        if (kind != FetchKind::Picture)
            return std::string();
        if (!host.empty() && p.unreachable_hosts.held(host, now))
            return "its host could not be connected to lately";
        if (!host.empty() && p.stalled_hosts.held(host, now))
            return "its host stalled earlier in this run";
    }
    /* Forced pictures too: the budget bounds every picture's time-out. */
    if (kind == FetchKind::Picture && picture_limit <= 0)
        return "the run's pictures have used up their time";
    return std::string();
}

long fsu::picture_time_limit_ms() {
    Policy &p = policy();
    std::lock_guard<std::mutex> guard(p.lock);
    expire_run_memory(p, g_get_monotonic_time());
    return picture_limit_of(p);
}

std::set<std::string> fsu::local_picture_addresses() {
    Policy &p = policy();
    std::lock_guard<std::mutex> guard(p.lock);
    return p.local_feeds;
}

void fsu::note_outcome(const std::string &address, const std::string &host, FetchKind kind,
                       const FetchOutcome &outcome) {
    Policy &p = policy();
    std::lock_guard<std::mutex> guard(p.lock);
    const gint64 now = g_get_monotonic_time();
    expire_run_memory(p, now);
    if (kind == FetchKind::Feed && outcome.connected && outcome.from_local)
        for (const std::string &origin : outcome.origin_endpoints)
            if (p.local_feeds.size() < kMaxRemembered)
                p.local_feeds.insert(origin);
    if (kind == FetchKind::Picture && !outcome.arrived) {
        p.picture_failures_us += std::max<gint64>(outcome.elapsed_us, 0);
        if (outcome.timed_out && !host.empty())
            p.stalled_hosts.hold(host, now + kRunMemory);
    }
    if (outcome.arrived) {
        p.failed_addresses.release(address);
        p.unreachable_hosts.release(host);
        return;
    }
    p.failed_addresses.hold(address, now + kAddressRetryAfter);
    if (host.empty())
        return;
    if (!outcome.connected && outcome.unreachable)
        p.unreachable_hosts.hold(host, now + kHostRetryAfter);
    /* Within the longest wait (network_utils.cpp cuts it): the product cannot overflow. */
    if (outcome.server_wait_seconds > 0)
        p.server_waits.hold(host, now + outcome.server_wait_seconds * G_USEC_PER_SEC);
}

void fsu::forget_failed_downloads() {
    Policy &p = policy();
    std::lock_guard<std::mutex> guard(p.lock);
    p.failed_addresses.clear();
    p.stalled_hosts.clear();
    p.picture_failures_us = 0;
    p.unreachable_hosts.clear();
    p.server_waits.clear();
    set_downloads_cancelled(false);
}
