/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * mcc_config_test.cpp - the region setup tool run as a child process against
 * the stand-in SIM service on the private system bus; the region key is read
 * back from the isolated GConf after each run.
 */
#include "gconf_test_helpers.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <vector>
#include "velmora_contract.h"

namespace {

constexpr const char *kRegionKey = VELMORA_GCONF_REGION_KEY;
constexpr const char *kSimName = VELMORA_SIM_SERVICE_NAME;

/* Calls a method of the bus itself; NULL when it answered with an error. */
GVariant *call_bus(const char *method, GVariant *args, const char *reply_type) {
    GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
    if (!bus)
        return nullptr;
    GVariant *reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method, args,
        G_VARIANT_TYPE(reply_type), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    g_object_unref(bus);
    return reply;
}

/* Process id of the SIM service name's owner, 0 when nobody owns it. */
guint32 sim_owner_pid() {
    GVariant *reply = call_bus("GetConnectionUnixProcessID", g_variant_new("(s)", kSimName), "(u)");
    guint32 pid = 0;
    if (reply) {
        g_variant_get(reply, "(u)", &pid);
        g_variant_unref(reply);
    }
    return pid;
}

template <typename Condition> bool wait_until(Condition condition) {
    for (int i = 0; i < 1000; i++) {
        if (condition())
            return true;
        g_usleep(10 * 1000);
    }
    return false;
}

/* The stand-in SIM service, running with the given options while the object
 * lives; the name has been released again when it is gone. */
class SimService {
  public:
    explicit SimService(std::vector<std::string> options) : options_(std::move(options)) {
        std::vector<char *> argv{const_cast<char *>(SIM_SERVICE_PROGRAM)};
        for (std::string &option : options_)
            argv.push_back(option.data());
        argv.push_back(nullptr);
        const auto flags =
            static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL);
        if (!g_spawn_async(nullptr, argv.data(), nullptr, flags, nullptr, nullptr, &pid_,
                           nullptr)) {
            pid_ = 0;
            return;
        }
        /* Ready once the name belongs to this process, not to one that is
         * still going away. */
        ready_ = wait_until([this] { return sim_owner_pid() == static_cast<guint32>(pid_); });
    }
    ~SimService() {
        if (!pid_)
            return;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        g_spawn_close_pid(pid_);
        wait_until([] { return sim_owner_pid() == 0; });
    }
    SimService(const SimService &) = delete;
    SimService &operator=(const SimService &) = delete;
    bool ready() const { return ready_; }

  private:
    std::vector<std::string> options_;
    GPid pid_ = 0;
    bool ready_ = false;
};

struct ToolRun {
    int exit_status = -1;
    std::string out, err;
};

/* Runs the tool with the test's environment, plus the given overrides. */
ToolRun run_tool(const std::vector<std::string> &env_overrides = {}) {
    gchar **envp = g_get_environ();
    for (const std::string &entry : env_overrides) {
        const auto eq = entry.find('=');
        envp = g_environ_setenv(envp, entry.substr(0, eq).c_str(), entry.c_str() + eq + 1, TRUE);
    }
    char *argv[] = {const_cast<char *>(MCC_CONFIG_PROGRAM), nullptr};
    gchar *out = nullptr, *err = nullptr;
    int wait_status = 0;
    ToolRun run;
    if (g_spawn_sync(nullptr, argv, envp, G_SPAWN_DEFAULT, nullptr, nullptr, &out, &err,
                     &wait_status, nullptr)) {
        run.exit_status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
        run.out = out;
        run.err = err;
    }
    g_free(out);
    g_free(err);
    g_strfreev(envp);
    return run;
}

class MccConfig : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(sim_owner_pid(), 0u) << "a SIM service is still running"; }
};

struct DecodingCase {
    const char *plmn_hex;
    const char *region;
};

TEST_F(MccConfig, WritesTheRegionOfTheHomeCountryCode) {
    const DecodingCase cases[] = {
        {"32F451", VELMORA_REGION_UK}, /* 234 */
        {"0208", VELMORA_REGION_FR},   /* 208 */
        {"3258", VELMORA_REGION_UK},   /* 238: the network digit in the high nibble is ignored */
        {"1300", VELMORA_REGION_US},   /* 310 is not in the table */
        {"FFF4", VELMORA_REGION_US},   /* nibbles above 9 make "15154", which matches nothing */
        {"03F2", VELMORA_REGION_CA},   /* 302 */
        {"32F2", VELMORA_REGION_DE},   /* 232 */
        {"62F2", VELMORA_REGION_DE},   /* 262, Germany's own code */
        {"06F5", VELMORA_REGION_FR},   /* 605, the last entry of the table */
        {"FF", nullptr},               /* one byte is no country code: exit 1 */
    };
    for (const DecodingCase &c : cases) {
        SCOPED_TRACE(c.plmn_hex);
        /* Whatever the key held, a successful run replaces it. */
        ASSERT_TRUE(gconf_test::set_string(kRegionKey, "before.example"));
        SimService sim({"--hplmn-bytes", c.plmn_hex});
        ASSERT_TRUE(sim.ready());

        ToolRun run = run_tool();
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.exit_status, c.region ? 0 : 1);
        EXPECT_EQ(gconf_test::get_string(kRegionKey), c.region ? c.region : "before.example");
    }
}

TEST_F(MccConfig, MncOnTheCommandLineIsPackedAsOnTheSim) {
    SimService sim({"--mcc", "208", "--mnc", "10"});
    ASSERT_TRUE(sim.ready());
    ToolRun run = run_tool();
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(gconf_test::get_string(kRegionKey), VELMORA_REGION_FR);
}

TEST_F(MccConfig, FailedReadsLeaveTheKeyAsItWas) {
    ASSERT_TRUE(gconf_test::set_string(kRegionKey, VELMORA_REGION_DE));
    {
        SimService sim({"--hplmn-bytes", ""});
        ASSERT_TRUE(sim.ready());
        ToolRun run = run_tool();
        EXPECT_EQ(run.exit_status, 1) << "empty array";
        EXPECT_EQ(run.out + run.err, "");
    }
    {
        SimService sim({"--reply-error"});
        ASSERT_TRUE(sim.ready());
        ToolRun run = run_tool();
        EXPECT_EQ(run.exit_status, 1) << "error reply";
        EXPECT_EQ(run.out + run.err, "");
    }
    EXPECT_EQ(gconf_test::get_string(kRegionKey), VELMORA_REGION_DE);
}

TEST_F(MccConfig, WithoutSimServiceExitsOneAndKeepsTheKey) {
    ASSERT_TRUE(gconf_test::set_string(kRegionKey, VELMORA_REGION_CA));
    ToolRun run = run_tool();
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_EQ(gconf_test::get_string(kRegionKey), VELMORA_REGION_CA);

    ASSERT_TRUE(gconf_test::unset(kRegionKey));
    run = run_tool();
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(gconf_test::get_string(kRegionKey), std::nullopt);
}

TEST_F(MccConfig, WithoutSystemBusExitsOneSilently) {
    ASSERT_TRUE(gconf_test::set_string(kRegionKey, VELMORA_REGION_FR));
    std::string missing = std::string("unix:path=") + g_getenv("VELMORA_TEST_TMP") + "/no-bus";
    ToolRun run = run_tool({"DBUS_SYSTEM_BUS_ADDRESS=" + missing});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_EQ(gconf_test::get_string(kRegionKey), VELMORA_REGION_FR);
}

} // namespace
