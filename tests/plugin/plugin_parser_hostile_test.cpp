// SPDX-License-Identifier: LGPL-2.1-or-later
// Hostile feed documents: entity bombs, external entities and DTDs, deep nesting, huge
// documents and texts, invalid UTF-8, truncation, and texts that make the parser's
// regular expressions backtrack. Each yields the items completed before a fault that ends
// the document, and nothing else; nothing is read from disk or network.
#include "plugin_parser_support.h"

#include "http_test_server.h"
#include "velmora_feed_parser.h"
#include "velmora_feed_patterns.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <random>

using namespace plugin_test;

namespace {

class HostileFeed : public ParseOnly {};

// Reports whether a file was opened or read while it was alive.
class AccessWatch {
  public:
    explicit AccessWatch(const std::string &path) {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        EXPECT_GE(inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_ACCESS), 0) << path;
    }
    ~AccessWatch() { close(fd_); }
    bool touched() const {
        char events[4096];
        return read(fd_, events, sizeof events) > 0;
    }

  private:
    int fd_;
};

const std::string kGoodItem = "<item><rank>1</rank><title>good</title></item>";

} // namespace

TEST_F(HostileFeed, EntityExpansionBombsExpandNothing) {
    std::string laughs = "<!DOCTYPE feed [<!ENTITY lol0 \"lol\">";
    for (int i = 1; i <= 9; i++) {
        laughs += "<!ENTITY lol" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; j++)
            laughs += "&lol" + std::to_string(i - 1) + ";";
        laughs += "\">";
    }
    laughs += "]>";
    const std::string big_entity =
        "<!DOCTYPE feed [<!ENTITY big \"" + std::string(60000, 'a') + "\">]>";
    std::string quadratic = "<item><title>";
    for (int i = 0; i < 20000; i++)
        quadratic += "&big;";
    quadratic += "</title></item>";

    auto items = parse({laughs + "<feed>" + kGoodItem + "<item><title>&lol9;</title></item>" +
                            kGoodItem + "</feed>",
                        big_entity + "<feed>" + kGoodItem + quadratic + "</feed>"});
    // Every good item; an item whose reference is refused is dropped.
    ASSERT_EQ(items.size(), 3u);
    for (const Parsed &item : items)
        EXPECT_EQ(item.title, "good");
}

TEST_F(HostileFeed, ExternalEntitiesAndDtdsAreNeverLoaded) {
    const std::string secret = dir_ + "/secret.txt";
    write_file(secret, "TOP-SECRET");
    const std::string dtd = dir_ + "/evil.dtd";
    write_file(dtd, "<!ENTITY leak SYSTEM \"file://" + secret + "\">");
    HttpTestServer server(dir_);
    AccessWatch secret_watch(secret), dtd_watch(dtd);

    const std::string body = "<feed>" + kGoodItem + "<item><title>x&leak;y</title></item></feed>";
    auto items = parse({
        // A general external entity, by path and by address.
        "<!DOCTYPE feed [<!ENTITY leak SYSTEM \"file://" + secret + "\">]>" + body,
        "<!DOCTYPE feed [<!ENTITY leak SYSTEM \"" + server.url("/secret.txt") + "\">]>" + body,
        // An external DTD, from disk and from the network.
        "<!DOCTYPE feed SYSTEM \"" + dtd + "\">" + body,
        "<!DOCTYPE feed SYSTEM \"" + server.url("/evil.dtd") + "\">" + body,
        // A parameter entity that would pull the DTD into the internal subset.
        "<!DOCTYPE feed [<!ENTITY % ext SYSTEM \"" + server.url("/evil.dtd") + "\"> %ext;]>" + body,
        "<!DOCTYPE feed [<!ENTITY % ext SYSTEM \"file://" + dtd + "\"> %ext;]>" + body,
        // XInclude is not processed either.
        "<feed xmlns:xi=\"http://www.w3.org/2001/XInclude\"><item><title><xi:include href=\"" +
            secret + "\" parse=\"text\"/></title></item></feed>",
    });

    EXPECT_FALSE(secret_watch.touched());
    EXPECT_FALSE(dtd_watch.touched());
    EXPECT_EQ(server.request_count(), 0);
    std::vector<Text> titles;
    for (const Parsed &item : items) {
        titles.push_back(item.title);
        for (const Text &text : {item.title, item.rank, item.store, item.link})
            EXPECT_EQ(text.value_or("").find("SECRET"), std::string::npos);
    }
    // A reference to an entity that is not read costs the item it is in; a parameter
    // entity reference in the DTD costs nothing after it.
    const std::vector<Text> expected = {"good", "good", "good",      "good",
                                        "good", "good", std::nullopt};
    EXPECT_EQ(titles, expected);
}

TEST_F(HostileFeed, DeepNestingStopsTheDocumentKeepingEarlierItems) {
    std::string deep = feed(kGoodItem + "<item><title>deep</title>" + [] {
        std::string open, close;
        for (int i = 0; i < 100000; i++) {
            open += "<x>";
            close += "</x>";
        }
        return open + close;
    }() + "</item>" + kGoodItem);
    auto items = parse({deep, feed(kGoodItem)});
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].title, "good");
    EXPECT_EQ(items[1].title, "good");
}

TEST_F(HostileFeed, FiftyMegabyteTextsAreCutAtTheTextLimit) {
    constexpr size_t kBig = 50u << 20;
    std::string huge_title = "<item><title>" + std::string(kBig / 2, 'x') + "</title>";
    std::string references = "<store>";
    while (references.size() < kBig / 2 / 5)
        references += "&amp;";
    references += "</store><creator>";
    for (int i = 0; i < 200000; i++)
        references += "field-author=&lt;a&gt;&#233;&lt;/a&gt;\n";
    references += "</creator></item>";
    auto items = parse({feed(huge_title + references + kGoodItem)});

    ASSERT_EQ(items.size(), 2u);
    ASSERT_TRUE(items[0].title);
    EXPECT_EQ(items[0].title->size(), static_cast<size_t>(VELMORA_MAX_TEXT_BYTES));
    EXPECT_EQ(items[0].title->find_first_not_of('x'), std::string::npos);
    ASSERT_TRUE(items[0].store);
    EXPECT_EQ(items[0].store->size(), static_cast<size_t>(VELMORA_MAX_TEXT_BYTES));
    EXPECT_EQ(items[0].authors, "\xc3\xa9");
    EXPECT_EQ(items[1].title, "good");
}

TEST_F(HostileFeed, TextLimitCutsBetweenCharacters) {
    // Two-byte characters across the limit: the kept text ends on a whole character.
    std::string title;
    title += "x";
    while (title.size() < VELMORA_MAX_TEXT_BYTES + 10)
        title += "\xc3\xa9";
    auto items = parse({feed("<item><title><![CDATA[" + title + "]]></title></item>")});
    ASSERT_EQ(items.size(), 1u);
    ASSERT_TRUE(items[0].title);
    EXPECT_EQ(items[0].title->size(), static_cast<size_t>(VELMORA_MAX_TEXT_BYTES - 1));
    EXPECT_TRUE(g_utf8_validate(items[0].title->data(), items[0].title->size(), nullptr));
}

TEST_F(HostileFeed, ARunTakesAtMostTheItemLimit) {
    std::string items_xml;
    while (items_xml.size() < (2u << 20))
        items_xml += "<item/>";
    auto items = parse({feed("<rank>9</rank>" + items_xml), feed(kGoodItem)});
    ASSERT_EQ(items.size(), static_cast<size_t>(VELMORA_MAX_ITEMS_PER_RUN));
    EXPECT_EQ(items.back().rank, "9");
}

TEST_F(HostileFeed, InvalidUtf8IsReadAsWindows1252KeepingEveryItem) {
    auto items =
        parse({feed(kGoodItem + "<item><title>bad \xff\xfe here</title></item>" + kGoodItem),
               feed(kGoodItem + "<item><title>cut \xe2\x82</title></item>"), feed(kGoodItem)});
    std::vector<Text> titles;
    for (const Parsed &item : items)
        titles.push_back(item.title);
    const std::vector<Text> expected = {"good", "bad \xc3\xbf\xc3\xbe here", "good",
                                        "good", "cut \xc3\xa2\xe2\x80\x9a",  "good"};
    EXPECT_EQ(titles, expected);
}

TEST_F(HostileFeed, TruncatedDocumentsKeepTheItemsCompletedBeforeTheCut) {
    const std::string whole =
        feed("<item><title>one</title></item><item><title>two</title></item>"
             "<item><title>three</title><link>http://x/gp/aw/d.html?a=1&amp;b</link></item>");
    for (size_t cut :
         {whole.find("two"), whole.find("three") - 5, whole.find("</link>"), whole.size() - 3}) {
        const std::string part = whole.substr(0, cut);
        size_t completed = 0;
        for (size_t at = part.find("</item>"); at != part.npos; at = part.find("</item>", at + 1))
            completed++;
        auto items = parse({part});
        ASSERT_EQ(items.size(), completed) << part;
        EXPECT_EQ(items[0].title, "one");
    }
}

TEST_F(HostileFeed, BacktrackingTextsAreHandledInLinearTime) {
    // The plain expressions take about 40 seconds for each of these texts, so five such
    // items would run past this test's time-out; guarded, they take milliseconds.
    const std::string many_gt(60000, '>');
    const std::string digits(60000, '1');
    std::string link;
    while (link.size() < 30000)
        link += "/gp/aw/d.html";
    while (link.size() < 60000)
        link += "a=";
    std::string body;
    for (int i = 0; i < 5; i++) {
        body += "<item><creator><![CDATA[field-author= " + many_gt +
                "\n<a>Name</a>]]></creator><ourPriceAmount><![CDATA[" + digits +
                "]]></ourPriceAmount><link><![CDATA[" + link + "\n&]]></link></item>";
    }
    body += "<item><ourPriceAmount><![CDATA[" + digits.substr(0, 30000) + "x" +
            digits.substr(0, 30000) + ".5]]></ourPriceAmount></item>";
    auto items = parse({feed(body)});
    ASSERT_EQ(items.size(), 6u);
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(items[i].authors, "Name");
        EXPECT_FALSE(items[i].our_price);
        EXPECT_EQ(items[i].link, link + "\n&" + kSuffix);
    }
    EXPECT_TRUE(items[5].our_price);
}

// The scans give exactly what the plain expressions give over the whole text. Texts are
// random joins of pieces chosen to meet every decision a scan makes: all of GLib's line
// ends (which "." does not cross), multibyte characters, digits of other scripts around a
// point or comma, src= without its quotes, a= without an ampersand, half an "</a>", and
// now and then bytes that are not valid UTF-8 (GRegex refuses such text whole).
TEST(FeedPatterns, ScansGiveWhatThePlainExpressionsGive) {
    VelmoraFeedPatterns *patterns = velmora_feed_patterns_new();
    const char *pieces[] = {
        "/gp/aw/d.html", "/gp/aw/d.htm", "a=", "&", ">", "</a>", "</a", "<a>", "1", "9", ".", ",",
        "x", "a", "=", " ", "src=\"", "src=", "\"", "_SL75_", "SL75_", "_SL7", "5_",
        // line ends: LF, CR, CRLF, VT, FF, NEL, LINE and PARAGRAPH SEPARATOR
        "\n", "\r", "\r\n", "\v", "\f", "\xc2\x85", "\xe2\x80\xa8", "\xe2\x80\xa9",
        // multibyte characters, among them digits of other scripts (Arabic-Indic 3,
        // fullwidth 1) and characters sharing a lead byte with a line end
        "\xd9\xa3", "\xef\xbc\x91", "\xc3\xa9", "\xc2\xa3", "\xe2\x80\x93", "\xe2\x82\xac",
        "\xf0\x9f\x93\x9a"};
    // Not valid UTF-8: a stray byte, a lone continuation byte, a lead byte without its
    // continuation (also the first bytes of NEL and LINE SEPARATOR), a surrogate.
    const char *invalid[] = {"\xff", "\x80", "\xc3", "\xc2", "\xe2\x80", "\xed\xa0\x80"};
    // Half the texts are the literal parts of one expression in order, with random
    // pieces between them, so that matches and near misses are frequent for each.
    const std::vector<std::vector<const char *>> skeletons = {
        {"src=\"", "\""}, {"_SL75_"}, {"1."}, {",\xef\xbc\x91"}, {"/gp/aw/d.html", "a=", "&"},
        {">", "</a>"}};
    std::mt19937 random(12345);
    std::uniform_int_distribution<size_t> piece(0, std::size(pieces) - 1), count(0, 14),
        filler(0, 3), skeleton(0, skeletons.size() * 2 - 1), bad(0, std::size(invalid) - 1),
        one_in(0, 7);
    auto random_pieces = [&](size_t n) {
        std::string text;
        for (; n > 0; n--)
            text += pieces[piece(random)];
        return text;
    };
    auto plain_group = [](GRegex *regex, const std::string &text) -> Text {
        GMatchInfo *match = nullptr;
        Text group;
        if (g_regex_match(regex, text.c_str(), static_cast<GRegexMatchFlags>(0), &match)) {
            gchar *value = g_match_info_fetch(match, 1);
            group = text_of(value);
            g_free(value);
        }
        g_match_info_free(match);
        return group;
    };
    // A replacement GRegex refuses (null) leaves the text as it was.
    auto plain_replace = [](GRegex *regex, const std::string &text, const char *by,
                            bool literal) -> std::string {
        gchar *replaced = literal
                              ? g_regex_replace_literal(regex, text.c_str(), -1, 0, by,
                                                        static_cast<GRegexMatchFlags>(0), nullptr)
                              : g_regex_replace(regex, text.c_str(), -1, 0, by,
                                                static_cast<GRegexMatchFlags>(0), nullptr);
        std::string result = replaced ? replaced : text;
        g_free(replaced);
        return result;
    };
    // How often each expression matched, so that every scan is seen deciding both ways.
    int addresses = 0, scaled_count = 0, prices = 0, rewrites = 0, authors = 0, refused = 0;
    for (int round = 0; round < 40000; round++) {
        const size_t shape = skeleton(random);
        std::string text = random_pieces(shape < skeletons.size() ? filler(random) : count(random));
        for (size_t i = 0; shape < skeletons.size() && i < skeletons[shape].size(); i++)
            text += skeletons[shape][i] + random_pieces(filler(random));
        if (one_in(random) == 0)
            text.insert(text.empty() ? 0 : random() % text.size(), invalid[bad(random)]);
        if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
            refused++;

        gchar *address = velmora_pattern_picture_address(patterns, text.c_str());
        const Text plain_address = plain_group(patterns->picture_address, text);
        EXPECT_EQ(text_of(address), plain_address) << text;
        addresses += plain_address.has_value();
        g_free(address);

        gchar *scaled = velmora_pattern_scale_picture(patterns, text.c_str());
        const std::string plain_scaled =
            plain_replace(patterns->picture_size, text, "_SL100_", true);
        EXPECT_EQ(scaled, plain_scaled) << text;
        scaled_count += plain_scaled != text;
        g_free(scaled);

        const bool plain_price =
            g_regex_match(patterns->price, text.c_str(), static_cast<GRegexMatchFlags>(0), nullptr);
        EXPECT_EQ(bool(velmora_pattern_is_price(patterns, text.c_str(), text.size())), plain_price)
            << text;
        prices += plain_price;

        gchar *rewritten = velmora_pattern_rewrite_link(patterns, text.c_str());
        const std::string plain_rewritten =
            plain_replace(patterns->link_rewrite, text, "/dp/\\2", false);
        EXPECT_EQ(rewritten, plain_rewritten) << text;
        rewrites += plain_rewritten != text;
        g_free(rewritten);

        gchar *author = velmora_pattern_author(patterns, text.c_str());
        const Text plain_author = plain_group(patterns->author, text);
        EXPECT_EQ(text_of(author), plain_author) << text;
        authors += plain_author.has_value();
        g_free(author);
    }
    for (int matched : {addresses, scaled_count, prices, rewrites, authors, refused})
        EXPECT_GT(matched, 400);
    velmora_feed_patterns_free(patterns);
}

// Texts where a scan finds a match GRegex refuses, since bytes elsewhere in the text are
// not valid UTF-8: the result is GRegex's (nothing found, nothing replaced).
TEST(FeedPatterns, TextThatIsNotUtf8MatchesNothing) {
    VelmoraFeedPatterns *patterns = velmora_feed_patterns_new();
    const std::string bad = "\xff";
    gchar *address = velmora_pattern_picture_address(patterns, ("src=\"a\" " + bad).c_str());
    EXPECT_EQ(address, nullptr);
    gchar *author = velmora_pattern_author(patterns, (">Name</a>\n" + bad).c_str());
    EXPECT_EQ(author, nullptr);
    const std::string price = "12.99 " + bad;
    EXPECT_FALSE(velmora_pattern_is_price(patterns, price.c_str(), price.size()));
    const std::string link = "/gp/aw/d.html?a=B0&x" + bad;
    gchar *rewritten = velmora_pattern_rewrite_link(patterns, link.c_str());
    EXPECT_EQ(rewritten, link);
    const std::string picture = bad + "_SL75_";
    gchar *scaled = velmora_pattern_scale_picture(patterns, picture.c_str());
    EXPECT_EQ(scaled, picture);
    for (gchar *result : {address, author, rewritten, scaled})
        g_free(result);
    velmora_feed_patterns_free(patterns);
}
