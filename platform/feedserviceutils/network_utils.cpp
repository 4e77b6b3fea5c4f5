// network_utils.cpp - downloads over http and https.
#include "feedserviceutils.h"

gint network_utils_get(GString *, GArray *, gint, gint, gint) {
    return 0;
}
