// SPDX-License-Identifier: LGPL-2.1-or-later
// Feeds that are readable but not quite right: bytes that do not fit the declared (or the
// default) encoding are read as Windows-1252, and a flaw the parser can step over costs at
// most the item it is in, never the items after it.
#include "plugin_parser_support.h"

using namespace plugin_test;

namespace {

class FeedRecovery : public ParseOnly {};

// Five items titled one..five, the third holding flaw in its title.
std::string five_items_with(const std::string &flaw) {
    std::string body;
    for (const char *title : {"one", "two", "", "four", "five"})
        body +=
            std::string("<item><title>") + (*title ? title : "three" + flaw) + "</title></item>";
    return body;
}

std::vector<Text> titles_of(const std::vector<Parsed> &items) {
    std::vector<Text> titles;
    for (const Parsed &item : items)
        titles.push_back(item.title);
    return titles;
}

const std::vector<Text> kAllButThree = {"one", "two", "four", "five"};

TEST_F(FeedRecovery, EachFlawCostsAtMostItsItem) {
    struct Case {
        const char *what;
        std::string document;
        std::vector<Text> titles;
    };
    const std::string undeclared =
        "<feed><item><title>Caf\xe9</title></item>" + five_items_with("") + "</feed>";
    const std::vector<Case> cases = {
        {"Latin-1 bytes, no declaration",
         undeclared,
         {"Caf\xc3\xa9", "one", "two", "three", "four", "five"}},
        {"Latin-1 bytes under a UTF-8 declaration",
         feed("<item><title>Gr\xfc\xdf"
              "e</title></item><item><title>next</title></item>"),
         {"Gr\xc3\xbc\xc3\x9f"
          "e",
          "next"}},
        {"Windows-1252 euro sign and quotes",
         feed("<item><title>\x80 5 \x93quoted\x94</title></item><item><title>b</title></item>"),
         {"\xe2\x82\xac 5 \xe2\x80\x9cquoted\xe2\x80\x9d", "b"}},
        {"declared windows-1252 with a byte it leaves undefined",
         "<?xml version=\"1.0\" encoding=\"windows-1252\"?><feed><item><title>a\x81"
         "b</title></item><item><title>c</title></item></feed>",
         {"a\xc2\x81"
          "b",
          "c"}},
        {"an encoding the system does not know",
         "<?xml version=\"1.0\" encoding=\"x-no-such\"?><feed><item><title>Caf\xe9"
         "</title></item></feed>",
         {"Caf\xc3\xa9"}},
        {"Latin-1 under a declaration the parser cannot read",
         "<?xml versio=\"1.0\" encoding=\"ISO-8859-1\"?><feed><item><title>Caf\xe9"
         "</title></item><item><title>Th\xe9</title></item><item><title>next</title></item>"
         "</feed>",
         {"Th\xc3\xa9", "next"}},
        {"raw control character in item 3 of 5", feed(five_items_with("\x01")), kAllButThree},
        {"undeclared &nbsp; in item 3 of 5", feed(five_items_with("&nbsp;")), kAllButThree},
        {"bare ampersand in item 3 of 5", feed(five_items_with(" & co")), kAllButThree},
        {"unknown character reference in item 3 of 5", feed(five_items_with("&#1;")), kAllButThree},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(titles_of(parse({c.document})), c.titles);
    }
}

// What was readable before stays as it was: no second conversion of good UTF-8, a declared
// Latin-1 document read by the parser itself, and a cut document still ending at the cut.
TEST_F(FeedRecovery, ValidDocumentsAndCutsAreReadAsBefore) {
    auto items = parse({feed("<item><title>Caf\xc3\xa9 \xe2\x82\xac</title></item>"),
                        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><feed><item><title>Caf\xe9"
                        "</title></item></feed>",
                        "\xef\xbb\xbf<feed><item><title>marked</title></item></feed>",
                        feed("<item><title>whole</title></item><item><title>cut")});
    const std::vector<Text> expected = {"Caf\xc3\xa9 \xe2\x82\xac", "Caf\xc3\xa9", "marked",
                                        "whole"};
    EXPECT_EQ(titles_of(items), expected);
}

} // namespace
