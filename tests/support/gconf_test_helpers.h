/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * gconf_test_helpers.h - reading and writing GConf keys from tests, always
 * through a fresh view of gconfd: the client's cache is cleared before every
 * read, so values written by other processes (or by the code under test) are
 * seen at once. Link with GConf.
 */
#ifndef VELMORA_GCONF_TEST_HELPERS_H
#define VELMORA_GCONF_TEST_HELPERS_H

#include <gconf/gconf-client.h>

#include <optional>
#include <string>
#include <vector>

namespace gconf_test {

class Client {
  public:
    Client() : client_(gconf_client_get_default()) { gconf_client_clear_cache(client_); }
    ~Client() { g_object_unref(client_); }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;
    GConfClient *get() const { return client_; }

  private:
    GConfClient *client_;
};

/* The key's string, or nothing when it is unset or not a string. */
inline std::optional<std::string> get_string(const char *key) {
    Client client;
    GConfValue *value = gconf_client_get_without_default(client.get(), key, nullptr);
    std::optional<std::string> result;
    if (value && value->type == GCONF_VALUE_STRING)
        result = gconf_value_get_string(value);
    if (value)
        gconf_value_free(value);
    return result;
}

/* The key's list of strings, or nothing when it is unset or not such a list. */
inline std::optional<std::vector<std::string>> get_string_list(const char *key) {
    Client client;
    GConfValue *value = gconf_client_get_without_default(client.get(), key, nullptr);
    std::optional<std::vector<std::string>> result;
    if (value && value->type == GCONF_VALUE_LIST &&
        gconf_value_get_list_type(value) == GCONF_VALUE_STRING) {
        result.emplace();
        for (GSList *l = gconf_value_get_list(value); l; l = l->next)
            result->push_back(gconf_value_get_string(static_cast<GConfValue *>(l->data)));
    }
    if (value)
        gconf_value_free(value);
    return result;
}

inline bool set_string(const char *key, const char *text) {
    Client client;
    return gconf_client_set_string(client.get(), key, text, nullptr);
}

inline bool set_int(const char *key, int number) {
    Client client;
    return gconf_client_set_int(client.get(), key, number, nullptr);
}

inline bool set_string_list(const char *key, const std::vector<std::string> &texts) {
    Client client;
    GSList *list = nullptr;
    for (auto it = texts.rbegin(); it != texts.rend(); ++it)
        list = g_slist_prepend(list, const_cast<char *>(it->c_str()));
    bool ok = gconf_client_set_list(client.get(), key, GCONF_VALUE_STRING, list, nullptr);
    g_slist_free(list);
    return ok;
}

inline bool unset(const char *key) {
    Client client;
    return gconf_client_unset(client.get(), key, nullptr);
}

} // namespace gconf_test

#endif /* VELMORA_GCONF_TEST_HELPERS_H */
