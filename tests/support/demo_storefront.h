// demo_storefront.h - the demo storefront for one test: builds a data directory
// whose URL catalogue points at a storefront served on 127.0.0.1 (via
// demo/storefront/serve.sh) and stops the server when the object goes out of
// scope. Header-only; needs GLib. VELMORA_STOREFRONT_SERVE names serve.sh.
#ifndef VELMORA_DEMO_STOREFRONT_H
#define VELMORA_DEMO_STOREFRONT_H

#include <glib.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#ifndef VELMORA_STOREFRONT_SERVE
#error "VELMORA_STOREFRONT_SERVE must name demo/storefront/serve.sh"
#endif

class DemoStorefront {
  public:
    // data_dir is made anew from build_data_dir (catalogues and icons).
    DemoStorefront(std::string data_dir, const std::string &build_data_dir)
        : data_dir_(std::move(data_dir)) {
        const gchar *argv[] = {VELMORA_STOREFRONT_SERVE, data_dir_.c_str(), build_data_dir.c_str(),
                               nullptr};
        gint status = 0;
        gchar *err = nullptr;
        if (!g_spawn_sync(nullptr, const_cast<gchar **>(argv), nullptr, G_SPAWN_STDOUT_TO_DEV_NULL,
                          nullptr, nullptr, nullptr, &err, &status, nullptr) ||
            !g_spawn_check_wait_status(status, nullptr)) {
            std::string message = "the demo storefront did not start: ";
            message += err != nullptr ? err : "";
            g_free(err);
            throw std::runtime_error(message);
        }
        g_free(err);
    }
    ~DemoStorefront() {
        std::ifstream in(data_dir_ + "/storefront.pid");
        int pid = 0;
        if (in >> pid && pid > 0)
            kill(pid, SIGTERM);
    }
    DemoStorefront(const DemoStorefront &) = delete;
    DemoStorefront &operator=(const DemoStorefront &) = delete;

    const std::string &data_dir() const { return data_dir_; }
    // The served feed document of a region and category.
    std::string feed_path(const std::string &region, const std::string &category) const {
        return data_dir_ + "/storefront/feeds/" + region + "/" + category + ".xml";
    }
    // Whether that feed holds the title (as text or entity-escaped).
    bool feed_has_title(const std::string &region, const std::string &category,
                        const std::string &title) const {
        std::ifstream in(feed_path(region, category), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const std::string feed = text.str();
        gchar *escaped = g_markup_escape_text(title.c_str(), -1);
        const bool found = !title.empty() && (feed.find(title) != std::string::npos ||
                                              feed.find(escaped) != std::string::npos);
        g_free(escaped);
        return found;
    }

  private:
    std::string data_dir_;
};

#endif // VELMORA_DEMO_STOREFRONT_H
