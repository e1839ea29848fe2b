#!/usr/bin/python3
"""The lobby's pages in a real browser: headless Chromium, driven through
chromedriver, against zellhop-lobby running in a process of its own.

    browser_test.py PATH/TO/zellhop-lobby [SCREENSHOT_DIR]

A person creates accounts through the form; the game's requests (sent here
as the game sends them) publish, join and finish a game; the front page
shows it all. Screenshots go to SCREENSHOT_DIR when given. Exits 77 (a
skip) when Chromium, chromedriver or selenium is not installed.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import urllib.request

SKIP = 77
CHROMIUM = shutil.which("chromium")
CHROMEDRIVER = shutil.which("chromedriver")
try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support import expected_conditions
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    webdriver = None

LOBBY = None
SHOTS = None


def game_get(port, target):
    """A request as the game sends it: the target unencoded."""
    with urllib.request.urlopen(f"http://127.0.0.1:{port}{target}", timeout=10) as reply:
        return reply.read().decode("latin-1")


class LobbyPages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="zellhop-browser-")
        cls.lobby = subprocess.Popen(
            [LOBBY, "--db", os.path.join(cls.work, "lobby.db"), "--listen", "127.0.0.1:0",
             "--quiet"],
            stdout=subprocess.PIPE, text=True)
        line = cls.lobby.stdout.readline()
        match = re.search(r"listening on .*:(\d+)", line)
        if not match:
            cls.lobby.kill()
            raise RuntimeError("the lobby did not start: " + line)
        cls.port = int(match.group(1))
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                         "--no-first-run", "--disable-background-networking",
                         "--disable-component-update", "--disable-sync",
                         "--disable-dev-shm-usage", "--window-size=1100,900",
                         "--user-data-dir=" + os.path.join(cls.work, "profile")):
            options.add_argument(argument)
        cls.browser = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        cls.browser.set_page_load_timeout(30)

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        cls.lobby.terminate()
        cls.lobby.wait(timeout=30)
        shutil.rmtree(cls.work, ignore_errors=True)

    def url(self, path):
        return f"http://127.0.0.1:{self.port}{path}"

    def shot(self, name):
        if not SHOTS:
            return
        height = self.browser.execute_script("return document.documentElement.scrollHeight")
        self.browser.set_window_size(1100, max(600, height + 20))
        self.browser.save_screenshot(os.path.join(SHOTS, name + ".png"))
        self.browser.set_window_size(1100, 900)

    def create_account(self, name, password, repeat=None):
        self.browser.get(self.url("/main.php?pageno=100"))
        self.browser.find_element(By.NAME, "username").send_keys(name)
        self.browser.find_element(By.NAME, "password").send_keys(password)
        self.browser.find_element(By.NAME, "password2").send_keys(repeat or password)
        form_page = self.browser.find_element(By.TAG_NAME, "main")
        self.browser.find_element(By.CSS_SELECTOR, "button[type=submit]").click()
        # The answer comes after a password hash: wait for the next page.
        WebDriverWait(self.browser, 30).until(expected_conditions.staleness_of(form_page))
        return self.browser.find_element(By.TAG_NAME, "main").text

    def login(self, name, password):
        reply = game_get(self.port, "/tavlo/tavlologin2.php?username=" + name + "&password=" +
                         password + "&progversion=1.4.0.5")
        match = re.fullmatch(r"0([A-Za-z0-9]{32})\n(\d+)", reply)
        self.assertIsNotNone(match, reply)
        return match.group(1), int(match.group(2))

    def front_page_table(self, heading):
        section = self.browser.find_element(
            By.XPATH, f"//section[h2[normalize-space()='{heading}']]")
        return [[cell.text for cell in row.find_elements(By.TAG_NAME, "td")]
                for row in section.find_elements(By.CSS_SELECTOR, "tbody tr")]

    def test_1_account_form_refuses_then_creates(self):
        shown = self.create_account("ann<b>", "wonder1and", "wonder2and")
        self.assertIn("The two passwords differ.", shown)
        self.assertEqual(self.browser.find_element(By.NAME, "username").get_attribute("value"),
                         "ann<b>")
        self.shot("account-refused")
        shown = self.create_account("ann", "wonder1and")
        self.assertIn("The account ann is ready", shown)
        self.shot("account-created")
        # The stylesheet is applied: the page's security policy lets it in.
        header = self.browser.find_element(By.TAG_NAME, "header")
        self.assertEqual(header.value_of_css_property("background-color"), "rgba(34, 48, 74, 1)")
        self.assertEqual(self.browser.find_elements(By.TAG_NAME, "script"), [])
        self.login("ann", "wonder1and")

    def test_2_front_page_lists_games_players_and_winners(self):
        self.create_account("bob", "bobs-pass")
        host_session, _ = self.login("ann", "wonder1and")
        guest_session, guest = self.login("bob", "bobs-pass")
        self.browser.get(self.url("/"))
        self.assertIn("No game is waiting for players right now.", self.browser.page_source)
        self.shot("front-empty")

        created = game_get(self.port, "/tavlo/creategame.php?mysessid=" + host_session +
                           "&gametype=1&gamename=Evening%20game&players=130300")
        self.assertTrue(created.startswith("1\n"), created)
        game = created[2:]
        refresh = ("/tavlo/refreshgame.php?mysessid=" + host_session + "&gametype=1&gameno=" +
                   game)
        self.assertEqual(game_get(self.port, refresh + "&newplayer=" + str(guest)), "1")
        self.browser.get(self.url("/"))
        self.assertEqual(self.front_page_table("Open games"),
                         [["Evening game", "ann", "bob", "2/3"]])
        self.shot("front-open-game")

        game_get(self.port, refresh + "&newgamestate=2")
        game_get(self.port, refresh + "&newgamestate=3&winner=" + str(guest))
        self.browser.get(self.url("/"))
        self.assertEqual(self.front_page_table("Open games"), [])
        winners = self.front_page_table("Last winners")
        self.assertEqual(len(winners), 1)
        self.assertEqual(winners[0][:3], ["bob", "Evening game", "ann"])
        self.assertEqual(self.front_page_table("Players by games won"), [["1", "bob", "1"]])
        self.shot("front-winner")
        # The player list of the game shows what the front page shows.
        self.assertEqual(game_get(self.port, "/tavlo/getgames.php?mysessid=" + guest_session +
                                  "&gametype=1"), "1\n")


def main():
    global LOBBY, SHOTS
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    LOBBY = sys.argv[1]
    SHOTS = sys.argv[2] if len(sys.argv) > 2 else None
    if SHOTS:
        os.makedirs(SHOTS, exist_ok=True)
    missing = [what for what, there in (("chromium", CHROMIUM), ("chromedriver", CHROMEDRIVER),
                                        ("python3-selenium", webdriver)) if not there]
    if missing:
        print("SKIPPED: not installed: " + ", ".join(missing), file=sys.stderr)
        return SKIP
    result = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
    print(f"{result.testsRun - len(result.failures) - len(result.errors)} passed, "
          f"{len(result.failures) + len(result.errors)} failed")
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
