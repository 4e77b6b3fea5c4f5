/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * velmora_feed_encoding.cpp - feeds whose bytes are not valid in their declared (or the
 * default) encoding. Such a document is a fatal error for the XML parser at its first
 * stray byte, which loses every item after it; storefronts that send Latin-1 text under
 * no declaration (or under a UTF-8 one) exist. Any byte sequence is valid Windows-1252
 * with Latin-1 for its five gaps, and that is what such a feed nearly always is.
 */
#include "velmora_feed_encoding.h"

#include <algorithm>
#include <string_view>

namespace {

/* The XML declaration's encoding, "" when there is none; *value_at receives where the
 * value starts. */
std::string_view declared_encoding(std::string_view head, gsize *value_at) {
    if (head.substr(0, 5) != "<?xml")
        return {};
    /* A declaration cut short ends with the head. */
    const gsize end = std::min(head.find("?>"), head.size());
    const gsize key = head.substr(0, end).find("encoding");
    if (key == std::string_view::npos)
        return {};
    gsize at = key + 8;
    while (at < end && (head[at] == ' ' || head[at] == '=' || head[at] == '\t'))
        at++;
    if (at >= end || (head[at] != '"' && head[at] != '\''))
        return {};
    const gsize close = head.find(head[at], at + 1);
    if (close == std::string_view::npos || close > end)
        return {};
    *value_at = at + 1;
    return head.substr(at + 1, close - at - 1);
}

bool is_utf8_name(std::string_view name) {
    return g_ascii_strncasecmp(name.data(), "UTF-8", name.size()) == 0 && name.size() == 5;
}

/* Whether the bytes are valid in the named encoding. An encoding unknown here is
 * unknown to the parser too, which would then hand on the bytes as they are, not
 * as UTF-8: such a document is read as Windows-1252 like an invalid one. */
bool valid_in(std::string_view document, std::string_view encoding) {
    if (encoding.empty() || is_utf8_name(encoding))
        return g_utf8_validate_len(document.data(), document.size(), nullptr);
    const std::string name(encoding);
    g_autoptr(GError) error = nullptr; /* an unknown encoding fails the conversion too */
    g_autofree gchar *converted = g_convert(document.data(), document.size(), "UTF-8", name.c_str(),
                                            nullptr, nullptr, &error);
    return converted != nullptr;
}

/* Code points of the bytes 0x80 to 0x9F in Windows-1252; 0 where it leaves a gap. */
constexpr gunichar kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string from_windows_1252(std::string_view document) {
    std::string converted;
    converted.reserve(document.size() + document.size() / 8);
    for (const char byte : document) {
        const auto code = static_cast<guchar>(byte);
        gunichar character = code;
        if (code >= 0x80 && code < 0xA0 && kWindows1252High[code - 0x80] != 0)
            character = kWindows1252High[code - 0x80];
        gchar encoded[6];
        converted.append(encoded, g_unichar_to_utf8(character, encoded));
    }
    return converted;
}

bool is_wide_unicode(std::string_view document) {
    return document.size() >= 2 && ((document[0] == '\xFE' && document[1] == '\xFF') ||
                                    (document[0] == '\xFF' && document[1] == '\xFE') ||
                                    document[0] == '\0' || document[1] == '\0');
}

} // namespace

std::string velmora_feed_readable_copy(const guint8 *bytes, gsize length) {
    std::string_view document(reinterpret_cast<const char *>(bytes), length);
    if (is_wide_unicode(document))
        return "";
    constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
    if (document.substr(0, kUtf8Mark.size()) == kUtf8Mark)
        document.remove_prefix(kUtf8Mark.size()); /* not UTF-8 after all if it is invalid */
    gsize value_at = 0;
    const std::string_view encoding = declared_encoding(document.substr(0, 256), &value_at);
    if (valid_in(document, encoding))
        return "";
    const gsize cut = encoding.empty() ? 0 : value_at;
    std::string readable = from_windows_1252(document.substr(0, cut));
    if (!encoding.empty())
        readable += "UTF-8";
    readable += from_windows_1252(document.substr(cut + encoding.size()));
    return readable;
}

std::string velmora_feed_readable_text(const gchar *text, gsize length) {
    if (g_utf8_validate_len(text, length, nullptr))
        return "";
    return from_windows_1252(std::string_view(text, length));
}
