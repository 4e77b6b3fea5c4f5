# SPDX-License-Identifier: LGPL-2.1-or-later
"""The demo storefront: serve.sh reuses a generated storefront on the same port while
its generator is unchanged, makes pictures on demand with the generator's bytes, and
the generated titles are whole phrases (no stray numbers, no title twice in a feed)."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import urllib.request

HERE = os.environ["VELMORA_STOREFRONT_DIR"]
sys.path.insert(0, HERE)
import generate_storefront  # noqa: E402


def serve(out, data):
    """Runs serve.sh; returns the port it serves on."""
    line = subprocess.run([os.path.join(HERE, "serve.sh"), out, data], check=True,
                          capture_output=True, text=True).stdout
    return int(re.search(r"port=(\d+)", line).group(1))


def stop(out):
    with open(os.path.join(out, "storefront.pid")) as f:
        pid = int(f.read())
    try:
        os.kill(pid, 15)
    except ProcessLookupError:
        pass


class StorefrontServer(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="storefront-test-")
        self.data = os.path.join(self.dir, "build-data")
        os.makedirs(self.data)
        with open(os.path.join(self.data, "velmora_applet_queries.dat"), "w") as f:
            f.write("# stand-in\n")
        self.out = os.path.join(self.dir, "out")

    def tearDown(self):
        if os.path.exists(os.path.join(self.out, "storefront.pid")):
            stop(self.out)
        shutil.rmtree(self.dir, ignore_errors=True)

    def feed_mtime(self):
        return os.stat(os.path.join(self.out, "storefront", "feeds", "velmora.de",
                                    "bestsellers_games.xml")).st_mtime_ns

    def test_second_start_reuses_the_storefront_on_the_same_port(self):
        port = serve(self.out, self.data)
        made = self.feed_mtime()
        with open(os.path.join(self.out, "velmora_urls.dat")) as f:
            self.assertIn("http://127.0.0.1:%d/feeds/velmora.de/" % port, f.read())
        self.assertEqual(serve(self.out, self.data), port)
        self.assertEqual(self.feed_mtime(), made)
        # The build's data is copied anew each time.
        self.assertTrue(os.path.exists(os.path.join(self.out, "velmora_applet_queries.dat")))

        # A storefront made by another generator (or for another port) is made again.
        stamp = os.path.join(self.out, "storefront", ".generated")
        with open(stamp, "w") as f:
            f.write("another generator\n")
        self.assertEqual(serve(self.out, self.data), port)
        self.assertNotEqual(self.feed_mtime(), made)

    def test_pictures_are_made_when_asked_for_with_the_generators_bytes(self):
        port = serve(self.out, self.data)
        images = os.path.join(self.out, "storefront", "images", "I")
        self.assertFalse(os.path.exists(images) and os.listdir(images))
        with open(os.path.join(self.out, "storefront", "feeds", "velmora.fr",
                               "bestsellers_dvd.xml")) as f:
            asin = re.search(r"images/I/(B0[0-9A-Z]{8})\._SL75_\.png", f.read()).group(1)
        for size in ("_SL75_", "_SL100_"):
            url = "http://127.0.0.1:%d/images/I/%s.%s.png" % (port, asin, size)
            with urllib.request.urlopen(url) as answer:
                self.assertEqual(answer.read(), generate_storefront.picture_bytes(asin, size))
        self.assertEqual(len(os.listdir(images)), 2)
        # Only names of the storefront's shape are made.
        with self.assertRaises(urllib.error.HTTPError) as refused:
            urllib.request.urlopen("http://127.0.0.1:%d/images/I/../../x._SL75_.png" % port)
        self.assertEqual(refused.exception.code, 404)


class GeneratedTitles(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="storefront-titles-")
        subprocess.run([sys.executable, os.path.join(HERE, "generate_storefront.py"),
                        "--root", cls.dir, "--port", "1", "--no-pictures"], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def titles(self, region):
        feeds = os.path.join(self.dir, "feeds", region)
        for name in sorted(os.listdir(feeds)):
            with open(os.path.join(feeds, name)) as f:
                yield name, re.findall(r"<item>\n<rank>\d+</rank>\n<title>(.*?)</title>", f.read())

    def test_no_title_twice_in_a_feed_and_no_stray_number(self):
        for region in generate_storefront.REGIONS:
            for name, titles in self.titles(region):
                self.assertGreaterEqual(len(titles), 20, name)
                self.assertEqual(len(set(titles)), len(titles), "%s %s" % (region, name))
                for title in titles:
                    # Numbers belong to the product ("20W", "2-Pack", "Saison 1", "Lot de 2").
                    self.assertNotRegex(title, r"(?<!Lot de) [2-9]$", title)

    def test_german_and_french_words_agree(self):
        wrong = [r"\bDie (stille|letzte|gläserne|vergessene) (Garten|Leuchtturm|Fluss|Hafen|Wald)",
                 r"\bDas (stille|gläserne) (Garten|Fluss|Hafen)", r"\bKabellose Ladegerät",
                 r"\bdes (Garten|Hafen|Fluss)\b", r"\bdes (la|l')", r"\bLumières dorés",
                 r"\bRivières (dorés|bleus)", r"\bdu (Rivière|Lettre)", r"\bChargeur compacte",
                 r"\bÉcouteurs (intelligent|compact)\b", r"d' ", r"\bLa (Dernière )?(Phare|Port)"]
        for region in ("velmora.de", "velmora.fr"):
            for name, titles in self.titles(region):
                for title in titles:
                    for pattern in wrong:
                        self.assertNotRegex(title.replace("&amp;", "&"), pattern, title)


if __name__ == "__main__":
    unittest.main()
