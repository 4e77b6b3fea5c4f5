// SPDX-License-Identifier: LGPL-2.1-or-later
// file_identity_test.h - the cases for a deliverable's file identity record
// (velmora_file_identity.h). The plug-in and the widget each have their own copy of
// the record (they share no code); each one's test program includes this file once,
// and the include path decides whose record is tested.
#ifndef VELMORA_FILE_IDENTITY_TEST_H
#define VELMORA_FILE_IDENTITY_TEST_H

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <functional>
#include <string>

#include "file_helpers.h"
#include "velmora_file_identity.h"

namespace {

// Puts the file's modification time back to what status says.
void restore_mtime(const std::string &path, const GStatBuf &status) {
    const timespec times[2] = {status.st_atim, status.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(FileIdentity, EqualOnlyWhileTheSameFileIsUnchanged) {
    struct Case {
        const char *what;
        std::function<void(const std::string &path, const GStatBuf &before)> change;
        bool same;
    };
    const std::vector<Case> cases = {
        {"looked at again", [](const std::string &, const GStatBuf &) {}, true},
        {"rewritten in place, same size, modification time put back",
         [](const std::string &path, const GStatBuf &before) {
             ASSERT_TRUE(test_support::write_file(path, "PICTURE 1"));
             restore_mtime(path, before);
         },
         false},
        {"replaced by another file with the same bytes and times",
         [](const std::string &path, const GStatBuf &before) {
             const std::string other = path + ".new";
             ASSERT_TRUE(test_support::write_file(other, "picture 1"));
             restore_mtime(other, before);
             ASSERT_EQ(g_rename(other.c_str(), path.c_str()), 0);
         },
         false},
        {"grown",
         [](const std::string &path, const GStatBuf &) {
             ASSERT_TRUE(test_support::write_file(path, "picture 12"));
         },
         false},
    };
    const std::string dir = test_support::make_temp_dir("identity");
    ASSERT_FALSE(dir.empty());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir + "/picture";
        ASSERT_TRUE(test_support::write_file(path, "picture 1"));
        GStatBuf before_status;
        ASSERT_EQ(g_stat(path.c_str(), &before_status), 0);
        VelmoraFileIdentity before, after;
        ASSERT_TRUE(velmora_file_identity_of(path.c_str(), &before));
        EXPECT_TRUE(before == velmora_file_identity(before_status));
        c.change(path, before_status);
        ASSERT_TRUE(velmora_file_identity_of(path.c_str(), &after));
        EXPECT_EQ(after == before, c.same);
        EXPECT_EQ(after != before, !c.same);
        g_remove(path.c_str());
        EXPECT_FALSE(velmora_file_identity_of(path.c_str(), &after)) << "no file, no identity";
    }
    EXPECT_FALSE(velmora_file_identity_of(nullptr, nullptr));
    g_rmdir(dir.c_str());
}

} // namespace

#endif // VELMORA_FILE_IDENTITY_TEST_H
