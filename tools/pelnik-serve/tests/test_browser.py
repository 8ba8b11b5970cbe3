"""The page in headless Chromium: live chart, a control, the snapshot."""

from __future__ import annotations

import io
import json
import os
import time

import numpy as np
import pytest
from PIL import Image

from conftest import need


@pytest.fixture
def browser(tmp_path):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = need("chromium")
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run",
                 "--window-size=1400,1200", f"--user-data-dir={tmp_path / 'profile'}"):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(need("chromedriver")), options=options)
    driver.set_page_load_timeout(30)
    downloads = tmp_path / "downloads"
    downloads.mkdir()
    driver.execute_cdp_cmd("Page.setDownloadBehavior",
                           {"behavior": "allow", "downloadPath": str(downloads)})
    driver.downloads = downloads
    yield driver
    driver.quit()


def wait_for(condition, seconds: float = 30, what: str = "condition"):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.2)
    pytest.fail(f"timed out waiting for {what}")


def test_page_shows_the_chart_changes_a_control_and_downloads_a_snapshot(start_server, browser,
                                                                         tmp_path):
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys

    server = start_server("0", ["--token", "page-token"])
    browser.get(server.url("/#token=page-token"))
    wait_for(lambda: browser.execute_script(
        "const i=document.getElementById('live0');return i&&i.complete&&i.naturalWidth>0;"),
        what="the live picture")
    wait_for(lambda: "frames/s" in browser.find_element(By.ID, "fps0").text, what="the frame rate")

    shot = tmp_path / "page.png"
    browser.save_screenshot(str(shot))
    if os.environ.get("PELNIK_PAGE_SCREENSHOT"):
        browser.save_screenshot(os.environ["PELNIK_PAGE_SCREENSHOT"])
    picture = browser.find_element(By.ID, "live0")
    box = picture.rect
    ratio = browser.execute_script("return window.devicePixelRatio")
    page = np.asarray(Image.open(shot).convert("RGB")).astype(int)
    live = page[int(box["y"] * ratio):int((box["y"] + box["height"]) * ratio),
                int(box["x"] * ratio):int((box["x"] + box["width"]) * ratio)]
    assert live.shape[0] > 200 and live.shape[1] > 300
    # The chart's colour patches: strongly coloured pixels the grey page has none of.
    spread = live.max(axis=2) - live.min(axis=2)
    assert (spread > 60).mean() > 0.02, "no colour patches in the live picture"

    gain = browser.find_element(By.ID, "c0-gain")
    gain.clear()
    gain.send_keys("9", Keys.TAB)
    wait_for(lambda: json.loads(server.request("/api/state", token="page-token")[2])
             ["cameras"][0]["controls"]["gain"] == 9, what="the gain to reach the camera")

    browser.find_element(By.ID, "snapshot0").click()
    png = wait_for(lambda: [p for p in browser.downloads.iterdir() if p.suffix == ".png"],
                   what="the snapshot download")[0]
    snapshot = Image.open(io.BytesIO(png.read_bytes()))
    assert snapshot.format == "PNG" and snapshot.size == (1280, 1024)
    snapshot.verify()


def test_page_without_the_token_shows_no_picture(start_server, browser):
    from selenium.webdriver.common.by import By

    server = start_server("0", ["--token", "page-token"])
    browser.get(server.url("/"))
    # The page asks for the token; declining leaves it without cameras.
    alert = wait_for(lambda: _alert(browser), what="the token prompt")
    alert.dismiss()
    wait_for(lambda: "token required" in browser.find_element(By.ID, "message").text,
             what="the refusal")
    assert not browser.find_elements(By.ID, "live0")
    # Declined once, the page does not ask again at its next refreshes.
    time.sleep(2.5)
    assert _alert(browser) is None


def _alert(browser):
    try:
        return browser.switch_to.alert
    except Exception:  # no prompt yet
        return None
