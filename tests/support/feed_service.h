// SPDX-License-Identifier: LGPL-2.1-or-later
// feed_service.h - the feed service daemon as the tests meet it: its D-Bus names, the
// name of the Velmora plug-in it runs, and the statuses that an update run reports.
// Header-only.
#ifndef VELMORA_FEED_SERVICE_H
#define VELMORA_FEED_SERVICE_H

#include <vector>
#include "velmora_contract.h"

namespace feed_service {

constexpr char kBusName[] = VELMORA_FEEDSERVICE_NAME;
constexpr char kObjectPath[] = VELMORA_FEEDSERVICE_PATH;
constexpr char kInterface[] = VELMORA_FEEDSERVICE_INTERFACE;
constexpr char kRunSignal[] = VELMORA_FEEDSERVICE_RUN_SIGNAL;
constexpr char kPluginName[] = VELMORA_SERVICE_PLUGIN_NAME;

// The statuses of one pass that stored n items: 1, a 0 for each item, then 2.
inline std::vector<int> pass(int items) {
    std::vector<int> statuses{1};
    statuses.insert(statuses.end(), items, 0);
    statuses.push_back(2);
    return statuses;
}

// Status sequences one after the other.
inline std::vector<int> operator+(std::vector<int> first, const std::vector<int> &then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

} // namespace feed_service

#endif // VELMORA_FEED_SERVICE_H
