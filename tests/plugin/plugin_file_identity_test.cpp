// SPDX-License-Identifier: LGPL-2.1-or-later
// plugin_file_identity_test.cpp - the plug-in's file identity record, which tells the
// item store whether the picture cache directory changed since its last check.
#include "file_identity_test.h"
