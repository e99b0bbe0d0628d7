"""The reader console in headless Chromium, driven as a person uses it, against volneda serve."""

import os
import shutil
import sys
import tempfile
import time

import pytest

CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
DRIVER = shutil.which("chromedriver") or ("/usr/bin/chromedriver" if os.path.exists("/usr/bin/chromedriver") else None)
try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select, WebDriverWait
except ImportError:
    webdriver = None
MISSING = not (CHROMIUM and DRIVER and webdriver)
if __name__ == "__main__":
    # How ctest runs it: 77 is reported as skipped (SKIP_RETURN_CODE).
    sys.exit(77 if MISSING else pytest.main(["-q", "-p", "no:cacheprovider", __file__]))
if MISSING:
    pytest.skip("no chromium, chromedriver or selenium (Debian: chromium chromium-driver python3-selenium)",
                allow_module_level=True)

PALLET, CARTON, PASSING, ARRIVING = "0123456789ABCDEF", "0456000000000007", "0456000000000012", "0123000000000002"


@pytest.fixture(scope="module")
def page(serve):
    console = serve("--listen", "127.0.0.1:0")
    options = webdriver.ChromeOptions()
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--window-size=1400,1000", "--user-data-dir=" + tempfile.mkdtemp(dir=console.folder)):
        options.add_argument(flag)
    options.binary_location = CHROMIUM
    driver = webdriver.Chrome(service=Service(DRIVER), options=options)
    driver.console = console
    driver.get(console.url)
    yield driver
    driver.quit()


def wait(driver, what, seconds=20):
    return WebDriverWait(driver, seconds, poll_frequency=0.05).until(lambda d: what(d) or None)


# Read in one script, so that a table redrawn meanwhile leaves no stale element behind.
def texts(driver, selector):
    return driver.execute_script("return [...document.querySelectorAll(arguments[0])].map(e => e.innerText.replace(/\\s+/g, ' '))",
                                 selector)


def row_state(driver, tag):
    return driver.execute_script("const r = document.querySelector('#tags tr[data-id=\"' + arguments[0] + '\"]');"
                                 "return r && r.classList[0]", tag)


def test_readers_appear(page):
    wait(page, lambda d: texts(d, "#readers .name") == ["DOCK1", "GATE2"])
    assert wait(page, lambda d: d.find_element(By.ID, "live").text == "live")


def test_tags_arrive_and_leave_in_the_live_table(page):
    # Every mark a row gets is recorded as it is drawn: a slow poll misses none.
    page.execute_script("window.marks = new Set(); new MutationObserver(() => document.querySelectorAll('#tags tr')"
                        ".forEach(r => marks.add(r.dataset.id + ' ' + r.classList[0])))"
                        ".observe(document.getElementById('tags'), {childList: true, subtree: true})")
    Select(page.find_element(By.ID, "interval")).select_by_value("500")
    page.find_element(By.CSS_SELECTOR, '#readers li[data-reader="DOCK1"] button').click()
    wait(page, lambda d: row_state(d, PALLET) and row_state(d, CARTON))
    assert texts(page, '#tags tr[data-id="%s"] td' % PALLET)[1:5] == [PALLET, "0123456789AB", "0123456789AB", "1"]
    # Rounds 3 and 4 have the passing carton; round 5 has the arriving pallet instead.
    marks = [PASSING + " arrived", PASSING + " present", PASSING + " left", ARRIVING + " arrived"]
    wait(page, lambda d: d.execute_script("return arguments[0].every(m => marks.has(m))", marks))
    page.find_element(By.ID, "pause").click()
    wait(page, lambda d: d.find_element(By.ID, "pause").text == "Resume")
    assert len(page.find_elements(By.CSS_SELECTOR, "#chart rect.bar")) >= 5
    page.find_element(By.CSS_SELECTOR, '#tags tr[data-id="%s"]' % PALLET).click()
    wait(page, lambda d: "WIDGET-A" in texts(d, "#fields td.value"))
    shots = os.path.join(os.environ.get("VOLNEDA_BINARY_DIR", "."), "console")
    os.makedirs(shots, exist_ok=True)
    page.save_screenshot(os.path.join(shots, "main-view.png"))


def test_a_field_written_through_the_form_reads_back(page):
    Select(page.find_element(By.ID, "write-field")).select_by_visible_text("Product (#1, String)")
    page.find_element(By.ID, "write-value").send_keys("CRATE-9")
    page.find_element(By.ID, "write-button").click()
    wait(page, lambda d: "Write OK" in d.find_element(By.ID, "write-outcome").text)
    wait(page, lambda d: "CRATE-9" in texts(d, "#fields td.value"))
    assert "57 49 44 47" not in page.find_element(By.ID, "hex").text  # "WIDG" is gone from memory
    assert any("Write OK" in t and "write" in t for t in texts(page, "#log tbody tr"))


def test_a_bad_command_shows_its_code_and_meaning(page):
    page.find_element(By.ID, "command").send_keys("bogus")
    page.find_element(By.ID, "command-run").click()
    meaning = 'the command begins with neither "read" nor "identify"'
    wait(page, lambda d: "-3201 (%s)" % meaning in d.find_element(By.ID, "command-outcome").text)
    assert any("-3201 (%s)" % meaning in t for t in texts(page, ".banner"))
    assert any("command-parse -3201 " + meaning in t for t in texts(page, "#log tbody tr"))


def test_a_command_shows_its_table_and_exact_xml(page):
    box = page.find_element(By.ID, "command")
    box.clear()
    box.send_keys("read field(1) where tagid=" + CARTON)
    page.find_element(By.ID, "command-run").click()
    wait(page, lambda d: d.find_element(By.ID, "command-xml").text.startswith('<ReadTags Reader="DOCK1" TagCount="1"'))
    assert ["1", "Weight", "Int", "40", "4", "0", "1000"] in [t.split() for t in texts(page, "#command-table tbody tr")]


def test_a_reader_that_fails_to_open_shows_the_list(page):
    page.execute_script("openReader('NOWHERE')")
    wait(page, lambda d: any("Cannot open reader NOWHERE: -" in t and "DOCK1 stays open. The reader list" in t
                             and "holds: DOCK1, GATE2." in t
                             for t in texts(d, ".banner")))


def test_no_request_leaves_the_machine(page):
    origin = page.console.url.rstrip("/")
    names = page.execute_script("return ['navigation', 'resource'].flatMap(t => performance.getEntriesByType(t))"
                                ".map(e => e.name)")
    assert names and all(n.startswith(origin + "/") for n in names), names


def test_the_stream_comes_back_after_the_server_refused_it(page):
    console, held = page.console, []

    def stream(source):
        sock = console.connect(source)
        sock.sendall(b"GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % console.port)
        if sock.recv(64).startswith(b"HTTP/1.1 200"):
            return held.append(sock) or True
        sock.close()

    def address():
        return "127.0.0.%d" % (len(held) + 2)

    # Clients of their own (loopback addresses) take every place but the page's, then, once the page is
    # gone, that one too; the page, loaded again, is refused.
    while len(held) < 64 and stream(address()):
        pass
    page.get("about:blank")
    wait(page, lambda d: stream(address()))
    page.get(console.url)
    wait(page, lambda d: d.find_element(By.ID, "live").text == "reconnecting")
    time.sleep(3)
    for sock in held:
        sock.close()
    assert wait(page, lambda d: d.find_element(By.ID, "live").text == "live", 30)
