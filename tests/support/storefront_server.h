// storefront_server.h - the demo storefront (demo/storefront/generate_storefront.py) served
// on 127.0.0.1 by http_server.py, with request counts: feeds of every region and category
// with their pictures, and a data directory (copies of the build's catalogues) whose
// velmora_urls.dat points at the server. Header-only; needs GLib and http_test_server.h.
//
//   StorefrontServer store;                      // generates under $VELMORA_TEST_TMP, serves it
//   store.data_dir()                             // for VELMORA_DATA_DIR
//   store.item_count("velmora.com", "bestsellers")
//   store.server().request_count(StorefrontServer::feed_path("velmora.com", "bestsellers"))
//   store.add_catalogue_section("[dead]\nbestsellers=http://127.0.0.1:1/x\n")
//
// Extra generator arguments (e.g. {"--bench-items", "100"}) go to the constructor.
#ifndef VELMORA_STOREFRONT_SERVER_H
#define VELMORA_STOREFRONT_SERVER_H

#include "http_test_server.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class StorefrontServer {
  public:
    explicit StorefrontServer(const std::vector<std::string> &generator_args = {}) {
        const char *tmp = g_getenv("VELMORA_TEST_TMP");
        gchar *base =
            g_build_filename(tmp && *tmp ? tmp : g_get_tmp_dir(), "storefront-XXXXXX", nullptr);
        if (!g_mkdtemp(base)) {
            g_free(base);
            throw std::runtime_error("StorefrontServer: cannot make a directory");
        }
        base_ = base;
        g_free(base);
        root_ = base_ + "/www";
        data_dir_ = base_ + "/data";
        g_mkdir_with_parents(root_.c_str(), 0700);
        g_mkdir_with_parents(data_dir_.c_str(), 0700);
        copy_build_catalogues();
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
    std::string catalogue_path() const { return data_dir_ + "/velmora_urls.dat"; }

    static std::string feed_path(const std::string &region, const std::string &category) {
        return "/feeds/" + region + "/" + category + ".xml";
    }

    // The number of items in a generated document, by its URL path; -1 when it is missing.
    int item_count_at(const std::string &url_path) const {
        gchar *text = nullptr;
        if (!g_file_get_contents((root_ + url_path).c_str(), &text, nullptr, nullptr))
            return -1;
        int count = 0;
        for (const char *p = text; (p = strstr(p, "<item>")) != nullptr; p += 6)
            ++count;
        g_free(text);
        return count;
    }
    int item_count(const std::string &region, const std::string &category) const {
        return item_count_at(feed_path(region, category));
    }

    // Appends text (whole sections) to the data directory's URL catalogue.
    void add_catalogue_section(const std::string &text) const {
        gchar *old = nullptr;
        g_file_get_contents(catalogue_path().c_str(), &old, nullptr, nullptr);
        const std::string joined = std::string(old ? old : "") + "\n" + text;
        g_free(old);
        g_file_set_contents(catalogue_path().c_str(), joined.c_str(), -1, nullptr);
    }

  private:
    void copy_build_catalogues() const {
        GDir *dir = g_dir_open(VELMORA_BUILD_DATA_DIR, 0, nullptr);
        if (!dir)
            return;
        while (const gchar *name = g_dir_read_name(dir)) {
            if (!g_str_has_suffix(name, ".dat") || g_str_equal(name, "velmora_urls.dat"))
                continue;
            gchar *contents = nullptr;
            gsize length = 0;
            const std::string from = std::string(VELMORA_BUILD_DATA_DIR) + "/" + name;
            if (g_file_get_contents(from.c_str(), &contents, &length, nullptr)) {
                g_file_set_contents((data_dir_ + "/" + name).c_str(), contents,
                                    static_cast<gssize>(length), nullptr);
                g_free(contents);
            }
        }
        g_dir_close(dir);
    }

    std::string base_, root_, data_dir_;
    std::unique_ptr<HttpTestServer> server_;
};

#endif // VELMORA_STOREFRONT_SERVER_H
