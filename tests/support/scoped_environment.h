// SPDX-License-Identifier: LGPL-2.1-or-later
// scoped_environment.h - an environment variable set (or unset) for the lifetime of
// a guard, and put back as it was when the guard goes, also when a failed assertion
// leaves the test early. Header-only; needs GLib.
#ifndef VELMORA_SCOPED_ENVIRONMENT_H
#define VELMORA_SCOPED_ENVIRONMENT_H

#include <glib.h>

#include <string>

namespace test_support {

// Sets (or unsets, for nullptr) an environment variable for its own lifetime.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char *name, const char *value) : name_(name) {
        const char *old = g_getenv(name);
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        if (value != nullptr)
            g_setenv(name, value, TRUE);
        else
            g_unsetenv(name);
    }
    ~ScopedEnvironment() {
        if (had_)
            g_setenv(name_, old_.c_str(), TRUE);
        else
            g_unsetenv(name_);
    }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

  private:
    const char *name_;
    std::string old_;
    bool had_ = false;
};

} // namespace test_support

#endif /* VELMORA_SCOPED_ENVIRONMENT_H */
