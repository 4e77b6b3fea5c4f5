// SPDX-License-Identifier: LGPL-2.1-or-later
// storefront_server.h - the demo storefront (demo/storefront/generate_storefront.py) served
// on 127.0.0.1 by http_server.py, with request counts: feeds of every region and category
// with their pictures, and a data directory (a copy of the build's, catalogues and icons)
// whose velmora_urls.dat points at the server. Header-only; needs GLib and
// http_test_server.h.
//
//   StorefrontServer store;                      // generates under $VELMORA_TEST_TMP, serves it
//   store.data_dir()                             // for VELMORA_DATA_DIR
//   store.item_count("velmora.com", "bestsellers")
//   store.feed_has_title("velmora.com", "bestsellers", title)
//   store.server().request_count(StorefrontServer::feed_path("velmora.com", "bestsellers"))
//   store.add_catalogue_section("[dead]\nbestsellers=http://127.0.0.1:1/x\n")
//
// Extra generator arguments (e.g. {"--bench-items", "100"}) go to the constructor.
#ifndef VELMORA_STOREFRONT_SERVER_H
#define VELMORA_STOREFRONT_SERVER_H

#include "file_helpers.h"
#include "http_test_server.h"

#include <glib.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>
#include "velmora_contract.h"

class StorefrontServer {
  public:
    explicit StorefrontServer(const std::vector<std::string> &generator_args = {}) {
        const std::string base = test_support::make_temp_dir("storefront");
        if (base.empty())
            throw std::runtime_error("StorefrontServer: cannot make a directory");
        root_ = base + "/www";
        data_dir_ = base + "/data";
        g_mkdir_with_parents(root_.c_str(), 0700);
        copy_build_data(VELMORA_BUILD_DATA_DIR, data_dir_);
        server_ = std::make_unique<HttpTestServer>(root_);

        const std::string script =
            std::string(VELMORA_TEST_SUPPORT_DIR) + "/../../demo/storefront/generate_storefront.py";
        const std::string port = std::to_string(server_->port());
        std::vector<std::string> args = {"/usr/bin/python3", script, "--root", root_,
                                         "--port",           port,   "--urls", catalogue_path()};
        args.insert(args.end(), generator_args.begin(), generator_args.end());
        std::vector<gchar *> argv;
        for (auto &arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        gint status = 0;
        if (!g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr,
                          nullptr, &status, nullptr) ||
            !g_spawn_check_wait_status(status, nullptr))
            throw std::runtime_error("StorefrontServer: the generator failed");
    }

    HttpTestServer &server() { return *server_; }
    const std::string &data_dir() const { return data_dir_; }
    const std::string &root() const { return root_; }
    std::string catalogue_path() const { return data_dir_ + "/" VELMORA_URLS_FILE; }

    static std::string feed_path(const std::string &region, const std::string &category) {
        return "/feeds/" + region + "/" + category + ".xml";
    }

    // The number of items in a generated document, by its URL path; -1 when it is missing.
    int item_count_at(const std::string &url_path) const {
        const std::string path = root_ + url_path;
        if (!test_support::file_exists(path))
            return -1;
        const std::string text = test_support::read_file(path);
        int count = 0;
        for (size_t at = text.find("<item>"); at != std::string::npos;
             at = text.find("<item>", at + 1))
            ++count;
        return count;
    }
    int item_count(const std::string &region, const std::string &category) const {
        return item_count_at(feed_path(region, category));
    }

    // Whether the feed of a region and category holds the title (as text or
    // entity-escaped).
    bool feed_has_title(const std::string &region, const std::string &category,
                        const std::string &title) const {
        const std::string feed = test_support::read_file(root_ + feed_path(region, category));
        gchar *escaped = g_markup_escape_text(title.c_str(), -1);
        const bool found = !title.empty() && (feed.find(title) != std::string::npos ||
                                              feed.find(escaped) != std::string::npos);
        g_free(escaped);
        return found;
    }

    // Appends text (whole sections) to the data directory's URL catalogue.
    void add_catalogue_section(const std::string &text) const {
        test_support::write_file(catalogue_path(),
                                 test_support::read_file(catalogue_path()) + "\n" + text);
    }

  private:
    // Copies the build's data directory, all but the URL catalogue that the generator
    // writes.
    static void copy_build_data(const std::string &from, const std::string &to) {
        g_mkdir_with_parents(to.c_str(), 0700);
        for (const std::string &name : test_support::list_dir(from)) {
            const std::string source = from + "/" + name;
            if (g_file_test(source.c_str(), G_FILE_TEST_IS_DIR))
                copy_build_data(source, to + "/" + name);
            else if (name != VELMORA_URLS_FILE)
                test_support::write_file(to + "/" + name, test_support::read_file(source));
        }
    }

    std::string root_, data_dir_;
    std::unique_ptr<HttpTestServer> server_;
};

#endif // VELMORA_STOREFRONT_SERVER_H
