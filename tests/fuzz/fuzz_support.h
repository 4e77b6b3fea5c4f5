/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * fuzz_support.h - what the fuzz targets share: a failed check aborts (the
 * fuzzer keeps the input), criticals are fatal, routine log output is dropped,
 * and a private scratch directory per process.
 */
#ifndef VELMORA_FUZZ_SUPPORT_H
#define VELMORA_FUZZ_SUPPORT_H

#include <glib.h>
#include <glib/gstdio.h>

#include <cstdio>
#include <cstdlib>
#include <string>

/* Aborts with the check's text when cond is false. */
#define FUZZ_CHECK(cond, ...)                                                                      \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);    \
            std::fprintf(stderr, "" __VA_ARGS__);                                                  \
            std::fputc('\n', stderr);                                                              \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace fuzz {

inline void drop_log(const gchar *, GLogLevelFlags, const gchar *, gpointer) {}

/* Debug, info and message output is dropped (it would dominate the run time);
 * a critical or an error aborts, as it marks a broken precondition. */
inline void quiet_logs() {
    g_log_set_default_handler(drop_log, nullptr);
    g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR));
}

/* A new directory of this process under $TMPDIR (removed by scripts/fuzz.sh's
 * clean-up of its work directory, or by the system's). */
inline std::string scratch_dir(const char *name) {
    std::string pattern = std::string(g_get_tmp_dir()) + "/velmora-fuzz-" + name + "-XXXXXX";
    gchar *dir = g_mkdtemp(pattern.data());
    FUZZ_CHECK(dir != nullptr, "cannot make a scratch directory");
    return pattern;
}

/* Writes bytes to path, replacing it. */
inline void write_bytes(const std::string &path, const uint8_t *data, size_t size) {
    FILE *file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr, "cannot write %s", path.c_str());
    if (size > 0)
        FUZZ_CHECK(std::fwrite(data, 1, size, file) == size);
    std::fclose(file);
}

} // namespace fuzz

#endif /* VELMORA_FUZZ_SUPPORT_H */
