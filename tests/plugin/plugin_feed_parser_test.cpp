// SPDX-License-Identifier: LGPL-2.1-or-later
// The feed parser: what fills each field (chunked text, ranks, prices, pictures, links,
// authors), and during a run the deletion, storing and status 0 as each item closes.
#include "plugin_parser_support.h"
#include "velmora_contract.h"

using namespace plugin_test;

namespace {

class Parser : public ParseOnly {};

} // namespace

TEST_F(Parser, EveryFieldIsFilledFromItsElement) {
    auto items = parse({feed(R"(<item>
        <rank>1</rank><title>The Title</title><store>Books</store>
        <listPriceAmount>$20.00</listPriceAmount><ourPriceAmount>$12.99</ourPriceAmount>
        <creator><![CDATA[by <a href="/s?field-author=Ann">Ann Author</a>]]></creator>
        <image><![CDATA[<img src="http://127.0.0.1/I/x._SL75_.jpg" />]]></image>
        <link>http://127.0.0.1/gp/aw/d.html?x=1&amp;a=B000&amp;y=2</link>
        <unknown>ignored</unknown></item>)")});
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].rank, "1");
    EXPECT_EQ(items[0].title, "The Title");
    EXPECT_EQ(items[0].store, "Books");
    EXPECT_EQ(items[0].list_price, "$20.00");
    EXPECT_EQ(items[0].our_price, "$12.99");
    EXPECT_EQ(items[0].authors, "Ann Author");
    EXPECT_EQ(items[0].image_url, "http://127.0.0.1/I/x._SL100_.jpg");
    EXPECT_EQ(items[0].link, std::string("http://127.0.0.1/dp/B000") + kSuffix);
}

TEST_F(Parser, RankCarriesOverWithinADocumentButNotIntoTheNext) {
    auto items = parse({feed("<rank>7</rank>"
                             "<item><title>A</title></item>"
                             "<item><rank>2</rank><title>B</title></item>"
                             "<item><title>C</title></item>"),
                        feed("<item><title>D</title></item>")});
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].rank, "7"); // from a rank outside any item
    EXPECT_EQ(items[1].rank, "2");
    EXPECT_EQ(items[2].rank, "2"); // no rank of its own
    EXPECT_FALSE(items[3].rank);   // a new document starts without a rank
}

TEST_F(Parser, TextsSplitByReferencesAreJoinedOrKeepTheirLastChunk) {
    auto items = parse({feed("<item><title>Tom &amp; Jerry &#233;t&#xE9;</title>"
                             "<store>A&lt;B</store>"
                             "<listPriceAmount>$1&amp;2</listPriceAmount></item>")});
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].title, "Tom & Jerry \xc3\xa9t\xc3\xa9");
    EXPECT_EQ(items[0].store, "A<B");
    EXPECT_EQ(items[0].list_price, "2");
}

TEST_F(Parser, OurPriceNeedsADecimalNumberAndIsKeptWhole) {
    auto items = parse({feed("<item><ourPriceAmount>12.99</ourPriceAmount></item>"
                             "<item><ourPriceAmount>EUR 12,99</ourPriceAmount></item>"
                             "<item><ourPriceAmount>\xc2\xa3"
                             "7.99 each</ourPriceAmount></item>"
                             "<item><ourPriceAmount>12</ourPriceAmount></item>"
                             "<item><ourPriceAmount>.99</ourPriceAmount></item>"
                             "<item><ourPriceAmount>12.99</ourPriceAmount>"
                             "<ourPriceAmount>free</ourPriceAmount></item>")});
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[0].our_price, "12.99");
    EXPECT_EQ(items[1].our_price, "EUR 12,99");
    EXPECT_EQ(items[2].our_price, "\xc2\xa3"
                                  "7.99 each");
    EXPECT_FALSE(items[3].our_price);
    EXPECT_FALSE(items[4].our_price);
    EXPECT_FALSE(items[5].our_price); // a later text without a price clears it
}

TEST_F(Parser, PictureAddressOnlyFromAChunkWithTheWholeAttribute) {
    auto items = parse({feed(
        R"(<item><image><![CDATA[<a href="x"><img src="http://127.0.0.1/I/a._SL75_._SL75_.jpg" alt="b"></a>]]></image></item>)"
        R"(<item><image>&lt;img src=&quot;http://127.0.0.1/I/b._SL75_.jpg&quot; /&gt;</image></item>)"
        R"(<item><image><![CDATA[<img src="http://127.0.0.1/c.jpg">]]></image>)"
        R"(<image><![CDATA[no picture here]]></image></item>)")});
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].image_url, "http://127.0.0.1/I/a._SL100_._SL100_.jpg");
    EXPECT_FALSE(items[1].image_url); // entity-escaped HTML arrives in pieces
    EXPECT_EQ(items[2].image_url, "http://127.0.0.1/c.jpg"); // a chunk without src keeps it
}

TEST_F(Parser, LinksAreShortenedAndGetTheRegionSuffix) {
    const std::string base = "http://www.velmora.com";
    auto items =
        parse({feed("<item><link>" + base + "/gp/aw/d.html?x=1&amp;a=B000&amp;y=2</link></item>" +
                    "<item><link>" + base + "/gp/aw/d.html?a=B000</link></item>" + "<item><link>" +
                    base + "/other/page</link></item>" + "<item><link/></item>")});
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].link, base + "/dp/B000" + kSuffix);
    EXPECT_EQ(items[1].link, base + "/gp/aw/d.html?a=B000" + kSuffix); // no '&' after the value
    EXPECT_EQ(items[2].link, base + "/other/page" + kSuffix);
    EXPECT_FALSE(items[3].link); // no link text: no bare suffix either

    // A region without a suffix in the catalogue: the link gets none.
    auto other = parse({feed("<item><link>" + base + "/gp/aw/d.html?a=B1&amp;b</link></item>")},
                       VELMORA_REGION_DE);
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0].link, base + "/dp/B1");
}

TEST_F(Parser, AuthorsComeFromCreatorLinksJoinedByComma) {
    auto items = parse({feed(
        // Two creators, one escaped with entities (its pieces are joined before matching).
        R"(<item><creator><![CDATA[<a href="/s?field-author=Ann">Ann One</a>]]></creator>)"
        R"(<creator>&lt;a href=&quot;/s?field-author=Bob&quot;&gt;Bob Two&lt;/a&gt;</creator></item>)"
        // No closing </a> on the line: nothing and no separator; no field-author=: dropped.
        R"(<item><creator><![CDATA[<a href="?field-author=A">A</a>]]></creator>)"
        R"(<creator><![CDATA[<a href="?field-author=B">B]]></creator>)"
        R"(<creator><![CDATA[<a href="/artist">Not an author</a>]]></creator>)"
        R"(<creator><![CDATA[<a href="?field-author=C">C</a>]]></creator></item>)"
        // Greedy: from the first '>' to the last "</a>" of the line.
        R"(<item><creator><![CDATA[x<a href="?field-author=D">D</a> & <a>E</a>]]></creator></item>)")});
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].authors, "Ann One, Bob Two");
    EXPECT_EQ(items[1].authors, "A, C");
    EXPECT_EQ(items[2].authors, "D</a> & <a>E");
}

TEST_F(Parser, CreatorTextNeverCarriesIntoALaterCreator) {
    // The creator's element closes after a nested item completed the open one: its text
    // must not be joined to the next item's creator.
    auto items = parse({feed(R"(<item><creator>field-author= <item/></creator></item>)"
                             R"(<item><creator><![CDATA[<a href="/x">Z</a>]]></creator></item>)")});
    ASSERT_EQ(items.size(), 2u);
    EXPECT_FALSE(items[1].authors);
}

TEST_F(Parser, TextOfNestedElementsIsNotCollected) {
    auto items = parse({feed("<item><title>Head <b>bold</b> tail</title></item>")});
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].title, "Head ");
}

TEST_F(Parser, ItemStartInsideAnOpenItemReplacesIt) {
    auto items = parse({feed("<item><title>Outer</title><item><title>Inner</title></item>"
                             "<title>after</title></item><item><title>Next</title></item>")});
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].title, "Inner");
    EXPECT_EQ(items[1].title, "Next");
}

TEST_F(Parser, ItemsBeforeACutAreKeptAndTheNextDocumentIsParsed) {
    auto items = parse({"<feed><item><title>A</title></item><item><title>B</title></item>"
                        "<item><title>C</title></it",
                        "", // a failed download
                        feed("<item><title>E</title></item>")});
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].title, "A");
    EXPECT_EQ(items[1].title, "B");
    EXPECT_EQ(items[2].title, "E");
}

TEST_F(Parser, NamesAreComparedExactly) {
    auto items = parse({feed("<Item><title>no</title></Item>"
                             "<item><Title>no</Title><ns:title>no</ns:title></item>")});
    ASSERT_EQ(items.size(), 1u);
    EXPECT_FALSE(items[0].title);

    // Names that begin like the ones read, or are their prefixes or extensions.
    items = parse({feed(
        "<item><rank>1</rank><ranks>2</ranks><r>3</r><l>x</l><li>x</li><lin>x</lin>"
        "<links>x</links><listPrice>9.99</listPrice><listPriceAmounts>9.99</listPriceAmounts>"
        "<i>x</i><it>x</it><items>x</items><imag>src=\"a\"</imag><images>src=\"b\"</images>"
        "<t>x</t><titles>x</titles><s>x</s><stores>x</stores><o>1.99</o><ourPrice>1.99</ourPrice>"
        "<c>x</c><creators>field-author= <a>A</a></creators></item>")});
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].rank, "1");
    for (const Text &field : {items[0].store, items[0].image_url, items[0].title, items[0].link,
                              items[0].authors, items[0].list_price, items[0].our_price})
        EXPECT_FALSE(field) << *field;
}

// ---- During a run: deletion, storing and statuses ----

namespace {

class ParserRun : public ServedStoreFixture {
  protected:
    static void SetUpTestSuite() {
        serve({{"1.jpg", "picture 1.jpg"}, {"2.jpg", "picture 2.jpg"}, {"3.jpg", "picture 3.jpg"}});
    }
    void SetUp() override {
        ServedStoreFixture::SetUp();
        urls_ = new_url_catalogue(dir_);
        ASSERT_NE(urls_, nullptr);
        // An item of an earlier run, which the run must delete first.
        VelmoraItemArray *old = new_item_array({new_item({.title = "old"})});
        do_velmora_item_save(old, db_, queries_);
        velmora_item_array_free(old);
    }
    void TearDown() override {
        query_loader_free(urls_);
        ServedStoreFixture::TearDown();
    }

    // What the widget would see at each status.
    struct Seen {
        gint32 status;
        std::vector<Row> rows;
    };

    static void record(gpointer user_data, gint32 status) {
        auto *self = static_cast<ParserRun *>(user_data);
        self->seen_.push_back({status, self->widget_rows()});
    }

    std::vector<Parsed> run(std::initializer_list<std::string> documents,
                            VelmoraStatusCallback callback = &ParserRun::record) {
        VelmoraItemRawData *raw = downloads_of(documents);
        VelmoraItemArray *items = do_velmora_item_parse_and_save(
            raw, kRegion, urls_, &db_, queries_, this, cache_dir_.c_str(), callback);
        velmora_item_raw_data_free(raw);
        return take_items(items);
    }

    std::string item_with_picture(const char *title, const char *picture) {
        return std::string("<item><title>") + title + "</title><image><![CDATA[<img src=\"" +
               server_->url(picture) + "\">]]></image></item>";
    }

    // Closes the connection and opens a new one in its place, as ensure_database may.
    static void replace_connection(ParserRun *self) {
        db_interface_free(self->db_);
        self->db_ = db_interface_new(self->db_path_.c_str());
    }

    QueryLoader *urls_ = nullptr;
    std::vector<Seen> seen_;
};

} // namespace

TEST_F(ParserRun, EachItemIsStoredWithItsPictureWhenStatus0IsReported) {
    auto items =
        run({feed(item_with_picture("one", "/1.jpg") + item_with_picture("two", "/2.jpg")),
             feed(item_with_picture("three", "/1.jpg") + "<item><title>four</title></item>" +
                  item_with_picture("five", "/3.jpg"))});
    ASSERT_EQ(items.size(), 5u);
    const char *titles[] = {"one", "two", "three", "four", "five"};
    ASSERT_EQ(seen_.size(), 5u);
    for (size_t i = 0; i < seen_.size(); i++) {
        EXPECT_EQ(seen_[i].status, 0);
        // The old run's item is gone; exactly the items so far are there, in order.
        ASSERT_EQ(seen_[i].rows.size(), i + 1);
        for (size_t j = 0; j <= i; j++)
            EXPECT_EQ(seen_[i].rows[j]["title"], titles[j]);
        // The item just reported already has its cached picture (or none).
        const Text &path = seen_[i].rows[i]["image_path"];
        if (i == 3) {
            EXPECT_FALSE(path);
        } else {
            ASSERT_TRUE(path) << titles[i];
            EXPECT_TRUE(file_exists(*path));
        }
    }
    EXPECT_EQ(seen_[2].rows[2]["image_path"], seen_[0].rows[0]["image_path"]); // shared
    EXPECT_EQ(server_->request_count(), 3);
    EXPECT_EQ(list_dir(cache_dir_).size(), 3u);
    EXPECT_EQ(items[4].title, "five");
}

TEST_F(ParserRun, ChildlessItemIsStoredAndReported) {
    auto items = run({feed("<rank>3</rank><item/>")});
    ASSERT_EQ(items.size(), 1u);
    ASSERT_EQ(seen_.size(), 1u);
    ASSERT_EQ(seen_[0].rows.size(), 1u);
    Row &row = seen_[0].rows[0];
    EXPECT_EQ(row["rank"], "3");
    for (const char *column : {"title", "item_url", "store", "suggested_price", "velmora_price",
                               "authors", "image_path"})
        EXPECT_FALSE(row[column]) << column;
}

TEST_F(ParserRun, DocumentsWithoutItemsKeepTheStoredItems) {
    auto items = run({feed("<rank>1</rank>"), ""});
    EXPECT_TRUE(items.empty());
    EXPECT_TRUE(seen_.empty());
    EXPECT_EQ(count_rows("velmora_items"), 1);
}

TEST_F(ParserRun, ItemsBeforeACutStayStored) {
    auto items = run({"<feed><item><title>kept</title></item><item><title>never</title>"});
    ASSERT_EQ(items.size(), 1u);
    ASSERT_EQ(seen_.size(), 1u);
    auto rows = widget_rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["title"], "kept");
}

TEST_F(ParserRun, WithoutCallbackNothingIsDeletedStoredOrReported) {
    auto items = run({feed(item_with_picture("one", "/1.jpg"))}, nullptr);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].title, "one");
    auto rows = widget_rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["title"], "old");
    EXPECT_EQ(server_->request_count(), 0);
}

TEST_F(ParserRun, AConnectionReplacedDuringTheRunIsUsedFromThenOn) {
    // The run reads the connection from its slot at every use: replace it at the first
    // status and the later items go through the new handle.
    struct Swap {
        ParserRun *self;
        int calls = 0;
    } swap{this};
    auto on_status = [](gpointer user_data, gint32) {
        auto *state = static_cast<Swap *>(user_data);
        if (state->calls++ == 0)
            replace_connection(state->self);
    };
    VelmoraItemRawData *raw = downloads_of({feed("<item><title>a</title></item>"
                                                 "<item><title>b</title></item>")});
    VelmoraItemArray *items = do_velmora_item_parse_and_save(raw, kRegion, urls_, &db_, queries_,
                                                             &swap, cache_dir_.c_str(), on_status);
    velmora_item_raw_data_free(raw);
    velmora_item_array_free(items);
    EXPECT_EQ(swap.calls, 2);
    EXPECT_EQ(widget_rows().size(), 2u);
}
