#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""Generates the demo storefront: best-seller feeds for every region and category,
the pictures they name, small product pages, and a URL catalogue pointing at them.

Everything is derived from a fixed seed, so two runs give the same bytes. The feeds
use the shapes the plug-in's parser reads: "item" elements with "rank", "title",
"store", "listPriceAmount", "ourPriceAmount", "creator" (author links holding
"field-author="), "image" (an img tag with a _SL75_ picture address, mostly in a
CDATA section, sometimes entity-escaped) and "link" (/gp/aw/d.html?...&a=<ASIN>&...).

Layout under --root (served as the document root on http://127.0.0.1:<port>/):
  feeds/<region>/<category>.xml      one feed per region and category (20-30 items)
  images/I/<ASIN>._SL75_.png         the picture each feed names (75x75)
  images/I/<ASIN>._SL100_.png        the size the plug-in asks for (100x100)
  dp/<ASIN>/index.html               the product page an item link leads to
  bench/feed.xml, bench/feed.rss     with --bench-items N: one feed of N items in the
                                     storefront shape and the same items as RSS 2.0;
  bench/feed-nopictures.xml          the same feed with every picture entity-escaped,
                                     so that the parser finds no picture address
  bench/feed-changed.xml             the same feed with every tenth item (ranks 10, 20,
                                     ...) another product: title, price, link, picture
--urls writes the URL catalogue (sections = regions) for the given port.

Standard library only; run with /usr/bin/python3.
"""

import argparse
import html
import os
import random
import struct
import zlib

SEED = 20240611

REGIONS = ["velmora.ca", "velmora.co.uk", "velmora.com", "velmora.de", "velmora.fr"]
CATEGORIES = [
    "bestsellers", "movers_shakers", "bestsellers_book", "hotnew_books",
    "bestsellers_music", "bestsellers_dvd", "bestsellers_electronics", "bestsellers_games",
]
# The department each category draws from; the mixed lists draw from all of them.
CATEGORY_DEPARTMENTS = {
    "bestsellers": None, "movers_shakers": None,
    "bestsellers_book": "books", "hotnew_books": "books",
    "bestsellers_music": "music", "bestsellers_dvd": "dvd",
    "bestsellers_electronics": "electronics", "bestsellers_games": "games",
}
DEPARTMENTS = ["books", "music", "dvd", "electronics", "games"]

LANGUAGE = {"velmora.ca": "en", "velmora.co.uk": "en", "velmora.com": "en",
            "velmora.de": "de", "velmora.fr": "fr"}

STORE_NAMES = {
    "en": {"books": "Books", "music": "Music", "dvd": "DVD", "electronics": "Electronics",
           "games": "Video Games"},
    "de": {"books": "Bücher", "music": "Musik", "dvd": "DVD & Blu-ray",
           "electronics": "Elektronik & Foto", "games": "Games"},
    "fr": {"books": "Livres", "music": "Musique", "dvd": "DVD & Blu-ray",
           "electronics": "High-Tech", "games": "Jeux vidéo"},
}

# Titles are composed of a head, a noun and a tail, per language and department. A
# head is a template filled from the noun's forms, so that articles, contractions and
# adjective endings agree with the noun's gender, number and case:
#   German: "der" (article), "nom"/"dat"/"gen" (the noun in that case), "e" (the strong
#   adjective ending); French: "le"/"du"/"au" (article and its contractions), "de" (the
#   noun after "de"), "adj" (keys of ADJECTIVES_FR, agreeing). A plain string noun
#   stands for itself as {w}.
GERMAN_ARTICLE = {"m": "Der", "n": "Das", "f": "Die", "p": "Die"}
GERMAN_STRONG_ENDING = {"m": "er", "n": "es", "f": "e", "p": "e"}


def german_noun(nom, gender, dat=None, gen=None):
    return {"w": nom, "nom": nom, "dat": dat or nom, "gen": gen or nom,
            "der": GERMAN_ARTICLE[gender], "e": GERMAN_STRONG_ENDING[gender]}


FRENCH_ARTICLES = {"m": ("Le", "du", "au"), "f": ("La", "de la", "à la"),
                   "mp": ("Les", "des", "aux"), "fp": ("Les", "des", "aux")}


def french_noun(word, gender):
    le, du, au = FRENCH_ARTICLES[gender]
    return {"w": word, "g": gender, "le": le, "du": du, "au": au,
            "de": ("d'" if word[0] in "AEIOUÉÈÊ" else "de ") + word}


# Adjectives by the noun's gender and number.
ADJECTIVES_FR = {
    "silencieux": {"m": "silencieux", "f": "silencieuse", "mp": "silencieux", "fp": "silencieuses"},
    "dernier": {"m": "Le Dernier", "f": "La Dernière", "mp": "Les Derniers", "fp": "Les Dernières"},
    "doré": {"m": "doré", "f": "dorée", "mp": "dorés", "fp": "dorées"},
    "électrique": {"m": "électrique", "f": "électrique", "mp": "électriques", "fp": "électriques"},
    "sauvage": {"m": "sauvage", "f": "sauvage", "mp": "sauvages", "fp": "sauvages"},
    "bleu": {"m": "bleu", "f": "bleue", "mp": "bleus", "fp": "bleues"},
    "tranquille": {"m": "tranquille", "f": "tranquille", "mp": "tranquilles", "fp": "tranquilles"},
    "sans fil": {"m": "sans fil", "f": "sans fil", "mp": "sans fil", "fp": "sans fil"},
    "portable": {"m": "portable", "f": "portable", "mp": "portables", "fp": "portables"},
    "compact": {"m": "compact", "f": "compacte", "mp": "compacts", "fp": "compactes"},
    "intelligent": {"m": "intelligent", "f": "intelligente", "mp": "intelligents",
                    "fp": "intelligentes"},
    "rapide": {"m": "rapide", "f": "rapide", "mp": "rapides", "fp": "rapides"},
}


def french_with_adjective(head, noun):
    """A head with {adj:<key>} fields, each replaced by the adjective agreeing with noun."""
    out = head
    for key, forms in ADJECTIVES_FR.items():
        out = out.replace("{adj:%s}" % key, forms[noun["g"]])
    return out


TITLE_PARTS = {
    "en": {
        "books": (["The Silent {w}", "A Winter {w}", "The Last {w}", "Midnight {w}",
                   "The Lighthouse {w}", "Small {w}", "The Glass {w}", "Northern {w}",
                   "The Forgotten {w}", "Hidden {w}"],
                  ["Garden", "Orchard", "Keeper", "Letters", "River", "Kingdom", "Cartographer",
                   "Harbour", "Daughters", "Tides"],
                  ["", ": A Novel", " (Paperback)", ": Stories", " & Other Tales"]),
        "music": (["Neon {w}", "Paper {w}", "Golden {w}", "Electric {w}", "Velvet {w}",
                   "Quiet {w}", "Wild {w}", "Blue {w}"],
                  ["Hearts", "Skylines", "Echoes", "Satellites", "Summers", "Rivers", "Lights"],
                  ["", " (Deluxe Edition)", " [Vinyl]", " (Remastered)"]),
        "dvd": (["The Long {w}", "Return of the {w}", "Beyond the {w}", "Night of the {w}",
                 "Edge of the {w}"],
                ["Road", "Storm", "Horizon", "Frontier", "Heist", "Harbour"],
                ["", " [Blu-ray]", " (Special Edition)", " - Complete Series"]),
        "electronics": (["Wireless {w}", "Compact {w}", "Portable {w}", "Smart {w}",
                         "Noise-Cancelling {w}"],
                        ["Headphones", "Speaker", "E-Reader", "Charger 20W", "Camera",
                         "Keyboard"],
                        ["", ", Black", " with Case", " - 2-Pack", ", 32 GB"]),
        "games": (["Legends of {w}", "Kart {w}", "Star {w}", "Dungeon {w}", "Super {w}"],
                  ["Arcadia", "Racers", "Explorers", "Tactics", "Party"],
                  ["", " - Standard Edition", " (Console)", " & Friends"]),
    },
    "de": {
        "books": (["{der} stille {nom}", "{der} letzte {nom}", "{der} gläserne {nom}",
                   "Winter im {dat}", "{der} vergessene {nom}", "Der Hüter des {gen}",
                   "Die Töchter des {gen}", "Nächte am {dat}"],
                  [german_noun("Garten", "m", gen="Gartens"),
                   german_noun("Leuchtturm", "m", gen="Leuchtturms"),
                   german_noun("Fluss", "m", gen="Flusses"),
                   german_noun("Königreich", "n", gen="Königreichs"),
                   german_noun("Hafen", "m", gen="Hafens"),
                   german_noun("Obstgarten", "m", gen="Obstgartens"),
                   german_noun("Wald", "m", gen="Waldes")],
                  ["", ": Roman", " (Taschenbuch)", ": Erzählungen", " & andere Geschichten"]),
        "music": (["Goldene {w}", "Leise {w}", "Wilde {w}", "Blaue {w}", "Elektrische {w}"],
                  ["Herzen", "Lichter", "Sommer", "Flüsse", "Straßen"],
                  ["", " (Deluxe Edition)", " [Vinyl LP]"]),
        "dvd": (["Jenseits der {w}", "Die Nacht der {w}", "Rückkehr der {w}",
                 "Am Rande der {w}"],
                ["Grenze", "Stürme", "Wölfe", "Stadt"],
                ["", " [Blu-ray]", " - Die komplette Staffel"]),
        "electronics": (["Kabellos{e} {nom}", "Tragbar{e} {nom}", "Kompakt{e} {nom}",
                         "Smart{e} {nom}"],
                        [german_noun("Kopfhörer", "p"), german_noun("Lautsprecher", "m"),
                         german_noun("Ladegerät 20W", "n"), german_noun("Kamera", "f"),
                         german_noun("Tastatur", "f")],
                        ["", ", Schwarz", " mit Tasche", " - Doppelpack"]),
        "games": (["Legenden von {w}", "Abenteuer in {w}", "Die Ritter von {w}",
                   "Rennfieber: {w}"],
                  ["Arkadien", "Nordland", "Sternenstadt", "Grünwald"],
                  ["", " - Standard Edition", " (Konsole)"]),
    },
    "fr": {
        "books": (["{le} {w} {adj:silencieux}", "{adj:dernier} {w}", "Les Filles {du} {w}",
                   "L'Hiver {au} {w}", "Le Gardien {du} {w}", "La Maison {du} {w}",
                   "Les Nuits {du} {w}"],
                  [french_noun("Phare", "m"), french_noun("Port", "m"),
                   french_noun("Royaume", "m"), french_noun("Rivière", "f"),
                   french_noun("Lettre", "f"), french_noun("Cartographe", "m"),
                   french_noun("Jardin", "m")],
                  ["", " : roman", " (Poche)", " : nouvelles", " & autres contes"]),
        "music": (["{w} {adj:doré}", "{w} {adj:électrique}", "{w} {adj:sauvage}",
                   "{w} {adj:bleu}", "{w} {adj:tranquille}"],
                  [french_noun("Cœurs", "mp"), french_noun("Lumières", "fp"),
                   french_noun("Étés", "mp"), french_noun("Rivières", "fp"),
                   french_noun("Échos", "mp")],
                  ["", " (Édition Deluxe)", " [Vinyle]"]),
        "dvd": (["Au-delà {w}", "La Nuit {w}", "Le Retour {w}", "Au bord {w}"],
                ["de l'Horizon", "des Tempêtes", "de la Frontière", "de la Ville"],
                ["", " [Blu-ray]", " - Saison 1", " (Édition spéciale)"]),
        "electronics": (["{w} {adj:sans fil}", "{w} {adj:portable}", "{w} {adj:compact}",
                         "{w} {adj:intelligent}", "{w} {adj:rapide} 20W"],
                        [french_noun("Écouteurs", "mp"), french_noun("Enceinte", "f"),
                         french_noun("Liseuse", "f"), french_noun("Chargeur", "m"),
                         french_noun("Clavier", "m")],
                        ["", ", Noir", " avec étui", " - Lot de 2"]),
        "games": (["Légendes {de}", "Aventures à {w}", "Les Chevaliers {de}",
                   "Course folle : {w}"],
                  [french_noun("Arcadie", "f"), french_noun("Montclair", "m"),
                   french_noun("Ville-Étoile", "f"), french_noun("Boisvert", "m")],
                  ["", " - Édition Standard", " (Console)"]),
    },
}


def compose_title(rng, lang, department):
    """One title: a head filled from a noun, then a tail."""
    heads, nouns, tails = TITLE_PARTS[lang][department]
    head, noun, tail = rng.choice(heads), rng.choice(nouns), rng.choice(tails)
    if isinstance(noun, str):
        noun = {"w": noun, "g": "m"}
    if lang == "fr":
        head = french_with_adjective(head, noun)
    return head.format(**noun) + tail


FIRST_NAMES = {
    "en": ["Margaret", "James", "Olivia", "Samuel", "Harriet", "Daniel", "Eleanor", "Thomas",
           "Grace", "Oliver", "Nora", "William"],
    "de": ["Jürgen", "Anna", "Lukas", "Sophie", "Matthias", "Clara", "Felix", "Marlene",
           "Jonas", "Greta"],
    "fr": ["Amélie", "François", "Hélène", "Julien", "Céline", "Étienne", "Margaux", "Louis",
           "Chloé", "Benoît"],
}
LAST_NAMES = {
    "en": ["Whitfield", "Hargreaves", "Lowell", "Pemberton", "Ashby", "Caldwell", "Fairbanks",
           "Kingsley", "O'Connor", "Marsh"],
    "de": ["Müller", "Schäfer", "Bergmann", "Köhler", "Hoffmann", "Weiß", "Brandt", "Vogel"],
    "fr": ["Lefèvre", "Moreau", "Dubois", "Rousseau", "Lambert", "Girard", "Mercier",
           "Bonnet"],
}
BRANDS = ["Norvik", "Altura", "Kestrel", "Lumio", "Pellwood"]

UNAVAILABLE = {"en": "Currently unavailable", "de": "Derzeit nicht verfügbar",
               "fr": "Actuellement indisponible"}
FEED_TITLES = {"en": "Velmora: Best Sellers", "de": "Velmora: Bestseller",
               "fr": "Velmora : Meilleures ventes"}


# ---- prices ------------------------------------------------------------------------------

def format_price(region, amount):
    """A price as the region's storefront writes it."""
    whole = "%.2f" % amount
    if region == "velmora.com":
        return "$" + whole
    if region == "velmora.ca":
        return "CDN$ " + whole
    if region == "velmora.co.uk":
        return "£" + whole
    return "EUR " + whole.replace(".", ",")


# ---- pictures ----------------------------------------------------------------------------

def png_bytes(width, height, rows, level=6):
    """A PNG (8-bit RGB, no interlace) of the given rows (bytes of width*3 each)."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    raw = b"".join(b"\0" + row for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, level)) + chunk(b"IEND", b""))


GRAIN_ROWS = 509  # a prime: pictures start at different rows of the pool
_grain = {}


def grain(width):
    """Rows of faint noise (0 or 1 per channel), the same on every run, so that pictures
    compress like the photographs of real product thumbnails (a few KiB each)."""
    if width not in _grain:
        rng = random.Random(SEED + width)
        _grain[width] = [int.from_bytes(bytes(rng.randrange(2) for _ in range(width * 3)), "big")
                         for _ in range(GRAIN_ROWS)]
    return _grain[width]


def picture(size, seed, grainy=False):
    """A distinct picture per seed: two colours in one of four patterns, with a frame;
    grainy: under a faint grain."""
    rng = random.Random(seed)
    base = bytes(rng.randrange(40, 230) for _ in range(3))
    accent = bytes(255 - c for c in base)
    frame = bytes((c // 3) for c in base)
    band = max(3, size // rng.choice([5, 8, 10]))
    pattern = rng.randrange(4)
    cache = {}

    def row(y):
        if y < 2 or y >= size - 2:
            return frame * size
        if pattern == 0:    # vertical stripes
            key, cells = 0, [(x // band) % 2 for x in range(size)]
        elif pattern == 1:  # horizontal stripes
            key = (y // band) % 2
            cells = [key] * size
        elif pattern == 2:  # checker board
            key = (y // band) % 2
            cells = [((x // band) + key) % 2 for x in range(size)]
        else:               # diagonal stripes
            key = y % (2 * band)
            cells = [((x + y) // band) % 2 for x in range(size)]
        if key not in cache:
            middle = b"".join(accent if c else base for c in cells[2:size - 2])
            cache[key] = frame * 2 + middle + frame * 2
        return cache[key]

    if not grainy:
        return png_bytes(size, size, [row(y) for y in range(size)])
    # No channel exceeds 230 + 1, so adding the grain as big numbers never carries.
    noise = grain(size)
    start = rng.randrange(GRAIN_ROWS)
    rows = [(int.from_bytes(row(y), "big") + noise[(start + y) % GRAIN_ROWS]).to_bytes(size * 3, "big")
            for y in range(size)]
    return png_bytes(size, size, rows, level=1)  # grain hardly compresses: spare the time


# ---- items -------------------------------------------------------------------------------

class Item:
    pass


def asin_for(rng):
    alphabet = "0123456789ABCDEFGHJKLMNPQRSTUVWXYZ"
    return "B0" + "".join(rng.choice(alphabet) for _ in range(8))


def make_items(rng, region, category, count):
    lang = LANGUAGE[region]
    items = []
    seen_titles = set()
    for rank in range(1, count + 1):
        item = Item()
        item.rank = rank
        item.department = CATEGORY_DEPARTMENTS[category] or rng.choice(DEPARTMENTS)
        # A title drawn again until it is one the feed does not hold yet: each
        # department has far more titles than a feed has items.
        title = compose_title(rng, lang, item.department)
        while title in seen_titles:
            title = compose_title(rng, lang, item.department)
        seen_titles.add(title)
        item.title = title
        item.asin = asin_for(rng)
        item.store = STORE_NAMES[lang][item.department]
        if item.department in ("books", "music", "dvd"):
            people = 2 if rng.random() < 0.2 else 1
            item.authors = ["%s %s" % (rng.choice(FIRST_NAMES[lang]), rng.choice(LAST_NAMES[lang]))
                            for _ in range(people)]
            item.brand = None
        else:
            item.authors = []
            item.brand = rng.choice(BRANDS)
        list_amount = round(rng.uniform(6, 80), 0) - 0.01
        our_amount = round(list_amount * rng.uniform(0.55, 0.95), 2)
        item.list_price = format_price(region, list_amount) if rng.random() < 0.85 else None
        item.our_price = (UNAVAILABLE[lang] if rng.random() < 0.06
                          else format_price(region, our_amount))
        # Most pictures come in a CDATA section; some are entity-escaped, as the
        # storefront sends them now and then.
        item.image_in_cdata = rng.random() < 0.85
        items.append(item)
    return items


def creator_html(base, name):
    query = html.escape(name.replace(" ", "+"), quote=True)
    return '<a href="%s/s?ie=UTF8&field-author=%s&search-alias=stripbooks">%s</a>' % (
        base, query, html.escape(name, quote=False))


def image_html(base, item):
    return ('<a href="%s/dp/%s"><img src="%s/images/I/%s._SL75_.png" alt="%s" '
            'border="0" /></a>' % (base, item.asin, base, item.asin,
                                   html.escape(item.title, quote=True)))


def link_for(base, item, region):
    return ("%s/gp/aw/d.html?ie=UTF8&a=%s&ref_=zg_bs_%d&tag=%s" %
            (base, item.asin, item.rank, region.split(".", 1)[1]))


def text(value):
    return html.escape(value, quote=False)


def feed_document(base, region, title, items):
    lang = LANGUAGE[region]
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<rss version="2.0" xmlns:velmora="http://%s/rss">' % region,
           "<channel>",
           "<title>%s</title>" % text(title),
           "<link>%s/</link>" % base,
           "<language>%s</language>" % lang]
    for item in items:
        out.append("<item>")
        out.append("<rank>%d</rank>" % item.rank)
        out.append("<title>%s</title>" % text(item.title))
        out.append("<store>%s</store>" % text(item.store))
        if item.list_price:
            out.append("<listPriceAmount>%s</listPriceAmount>" % text(item.list_price))
        out.append("<ourPriceAmount>%s</ourPriceAmount>" % text(item.our_price))
        for index, name in enumerate(item.authors):
            fragment = creator_html(base, name)
            if index % 2:
                out.append("<creator><![CDATA[%s]]></creator>" % fragment)
            else:
                out.append("<creator>%s</creator>" % text(fragment))
        if item.brand:
            out.append("<creator>%s</creator>" % text(
                '<a href="%s/s?field-brand=%s">%s</a>' % (base, item.brand, item.brand)))
        fragment = image_html(base, item)
        if item.image_in_cdata:
            out.append("<image><![CDATA[%s]]></image>" % fragment)
        else:
            # Quotes escaped too: no single text chunk holds the whole src attribute.
            out.append("<image>%s</image>" % html.escape(fragment, quote=True))
        out.append("<link>%s</link>" % text(link_for(base, item, region)))
        out.append("</item>")
    out.append("</channel>")
    out.append("</rss>")
    return "\n".join(out) + "\n"


def rss_document(base, title, items):
    """The same items as a plain RSS 2.0 document, for other feed readers."""
    out = ['<?xml version="1.0" encoding="UTF-8"?>', '<rss version="2.0">', "<channel>",
           "<title>%s</title>" % text(title), "<link>%s/</link>" % base,
           "<description>%s</description>" % text(title)]
    for item in items:
        description = "%s<br/>%s %s" % (image_html(base, item), ", ".join(item.authors),
                                        item.our_price)
        out.append("<item><title>%s</title><link>%s/dp/%s</link>"
                   "<guid isPermaLink=\"false\">%s</guid>"
                   "<description>%s</description></item>" % (
                       text(item.title), base, item.asin, item.asin, text(description)))
    out.append("</channel></rss>")
    return "\n".join(out) + "\n"


def product_page(item):
    return ("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%s</title></head>"
            "<body><h1>%s</h1><p>%s</p><p>%s</p></body></html>\n" % (
                text(item.title), text(item.title), text(item.store), text(item.our_price)))


def write(path, data):
    """Writes bytes, or text as UTF-8, making the directories on the way."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(path, "wb") as f:
        f.write(data)


PICTURE_SIZES = {"_SL75_": 75, "_SL100_": 100}


def picture_bytes(asin, size_name):
    """The picture of an item by its ASIN and size name (_SL75_ or _SL100_): the same
    bytes whether written with the feeds or made when first asked for."""
    seed = int(asin[2:], 36)
    size = PICTURE_SIZES[size_name]
    return picture(size, seed, grainy=size == 100)


def write_item_files(root, item, pictures=True):
    if pictures:
        for size_name in PICTURE_SIZES:
            write(os.path.join(root, "images", "I", "%s.%s.png" % (item.asin, size_name)),
                  picture_bytes(item.asin, size_name))
    write(os.path.join(root, "dp", item.asin, "index.html"), product_page(item))


def url_catalogue(base):
    lines = ["# Demo storefront on %s: feed addresses per region and category." % base]
    for region in REGIONS:
        lines.append("")
        lines.append("[%s]" % region)
        for category in CATEGORIES:
            lines.append("%s=%s/feeds/%s/%s.xml" % (category, base, region, category))
        lines.append("homepage=%s/" % base)
        lines.append("link_url_suffix=/?tag=demo-%s" % region.split(".", 1)[1])
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True, help="document root to fill")
    parser.add_argument("--port", type=int, required=True, help="port the root is served on")
    parser.add_argument("--urls", help="write the URL catalogue to this file")
    parser.add_argument("--bench-items", type=int, default=0,
                        help="also write bench/feed.xml and bench/feed.rss with N items")
    parser.add_argument("--no-feeds", action="store_true",
                        help="skip the 40 region feeds (with --bench-items)")
    parser.add_argument("--no-pictures", action="store_true",
                        help="write no pictures (a server may make them when asked for)")
    args = parser.parse_args()

    base = "http://127.0.0.1:%d" % args.port
    rng = random.Random(SEED)
    if not args.no_feeds:
        for region in REGIONS:
            for category in CATEGORIES:
                items = make_items(rng, region, category, rng.randint(20, 30))
                title = "%s - %s" % (FEED_TITLES[LANGUAGE[region]], category)
                write(os.path.join(args.root, "feeds", region, category + ".xml"),
                      feed_document(base, region, title, items))
                for item in items:
                    write_item_files(args.root, item, pictures=not args.no_pictures)
        write(os.path.join(args.root, "index.html"),
              "<!DOCTYPE html><html><body><h1>Velmora demo storefront</h1></body></html>\n")
    if args.bench_items:
        bench_rng = random.Random(SEED + 1)
        items = make_items(bench_rng, "velmora.com", "bestsellers", args.bench_items)
        for item in items:
            item.image_in_cdata = True  # every item has its picture
            write_item_files(args.root, item)
        write(os.path.join(args.root, "bench", "feed.xml"),
              feed_document(base, "velmora.com", "Bench", items))
        write(os.path.join(args.root, "bench", "feed.rss"), rss_document(base, "Bench", items))
        changed = list(items)
        newcomers = make_items(random.Random(SEED + 2), "velmora.com", "bestsellers",
                               len(items) // 10)
        for index, newcomer in enumerate(newcomers):
            rank = (index + 1) * 10
            newcomer.rank = rank
            newcomer.image_in_cdata = True
            write_item_files(args.root, newcomer)
            changed[rank - 1] = newcomer
        write(os.path.join(args.root, "bench", "feed-changed.xml"),
              feed_document(base, "velmora.com", "Bench", changed))
        for item in items:
            item.image_in_cdata = False  # the parser sees no picture address
        write(os.path.join(args.root, "bench", "feed-nopictures.xml"),
              feed_document(base, "velmora.com", "Bench", items))
    if args.urls:
        write(args.urls, url_catalogue(base))
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
