// SPDX-License-Identifier: LGPL-2.1-or-later
// file_identity_test.cpp - the widget's file identity record, which tells the
// carousel whether a picture file is still the one it decoded.
#include "file_identity_test.h"
