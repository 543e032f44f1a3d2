#!/usr/bin/python3
"""zuninput-web in Debian's chromium through Selenium: an owner logs in,
checks and queues a file, sees it finish after a run of the service, reads
its line messages and downloads it unchanged; an operator retries and
cancels. A screenshot of each page goes
to BUILD/web-screenshots/. Exit 77 (skipped) only where chromium is absent.

usage: browser_test.py BUILD_DIR SOURCE_DIR"""
import hashlib, os, re, shutil, subprocess, sys, time

build, source = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
if not (os.path.exists("/usr/bin/chromium") and os.path.exists("/usr/bin/chromedriver")):
    print("SKIPPED: /usr/bin/chromium or /usr/bin/chromedriver is not installed (make deps)")
    sys.exit(77)
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.common.exceptions import StaleElementReferenceException, WebDriverException
from selenium.webdriver.support.ui import WebDriverWait

work = os.path.join(build, "web-browser")
shots = os.path.join(build, "web-screenshots")
downloads = os.path.join(work, "downloads")
for d in (work, shots):
    shutil.rmtree(d, ignore_errors=True)
os.makedirs(downloads)
os.makedirs(shots)
env = dict(os.environ, ZUNINPUT_PASSWORD="svc-browser-pw")
service_switches = ["-provider:SQLite", "-user:zunsvc"]


def db(*args, stdin=None):
    subprocess.run([os.path.join(build, "zuninput-db"), *args], cwd=work, check=True,
                   input=stdin, text=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


db("init")
for user, pw, admin in (("zunsvc", "svc-browser-pw", ["--admin"]), ("ana.lima", "ana-browser-pw", [])):
    db("user", "add", user, "--password-stdin", *admin, stdin=pw + "\n")
for sql in ["INSERT INTO empresa (id, cod, pais, nome) VALUES (1, 'PETR', 0, 'Petrobras')",
            "INSERT INTO ativo (id, emp, idclass, vote, tipoobj) VALUES (1, 1, 3, 1, 0)",
            "INSERT INTO anb (id, acao, cod, bolsa) VALUES (1, 1, 'PETR4', 1)"] + \
        [l for l in open(os.path.join(source, "examples/quote_series.sql")) if l.strip()]:
    db("sql", sql)

web = subprocess.Popen([os.path.join(build, "zuninput-web"), "--listen", "127.0.0.1:0",
                        *service_switches], cwd=work, env=env, stdout=subprocess.PIPE,
                       stderr=open(os.path.join(work, "web.err"), "w"), text=True)
base = re.match(r"listening on http://127\.0\.0\.1:(\d+)/", web.stdout.readline()).group(1)
base = "http://localhost:" + base

options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
for a in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1200,900"):
    options.add_argument(a)
browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"),
                           options=options)
browser.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def submit(button, timeout=30):
    """Clicks a form's button and waits until the page it leads to has replaced
    this one: the click returns before the answer, and a later get() or read
    could otherwise overtake it. chromedriver reports the old page's node as
    stale, or, while the new document is being attached, as "not belonging to
    the document"; both mean it has been replaced."""
    page = browser.find_element(By.TAG_NAME, "html")
    button.click()

    def replaced(_):
        try:
            page.is_enabled()
            return False
        except StaleElementReferenceException:
            return True
        except WebDriverException as e:
            if "does not belong to the document" in str(e):
                return True
            raise

    WebDriverWait(browser, timeout).until(replaced)


def shot(name):
    browser.save_screenshot(os.path.join(shots, name + ".png"))


def login(user, pw):
    browser.delete_all_cookies()
    browser.get(base + "/login")
    browser.find_element(By.NAME, "user").send_keys(user)
    browser.find_element(By.NAME, "password").send_keys(pw)
    shot("login")
    submit(browser.find_element(By.CSS_SELECTOR, "form.login button"))


def run_service():
    subprocess.run([os.path.join(build, "zuninput"), *service_switches,
                    "-MailGateway:http://127.0.0.1:9/", "-PathReqGBol:" + work + "/"],
                   cwd=work, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def check_and_queue(example):
    browser.get(base + "/")
    browser.find_element(By.NAME, "file").send_keys(os.path.join(source, "examples", example))
    submit(browser.find_element(By.CSS_SELECTOR, "form[action='/check'] button"), 60)
    shot("check-" + example[:-4])
    page = browser.page_source
    submit(browser.find_element(By.CSS_SELECTOR, "form[action='/queue'] button"))
    return page, int(browser.current_url.rsplit("/", 1)[1])


try:
    login("ana.lima", "ana-browser-pw")
    check("My entries" in browser.title, "the owner is logged in")
    shot("my-entries-empty")
    # The good file first: a run stops at the first file that fails.
    _, good = check_and_queue("good.txt")
    check(browser.find_element(By.CSS_SELECTOR, "meta[name='zun-refresh']") is not None,
          "a waiting entry refreshes itself")
    page, bad = check_and_queue("check_fails.txt")
    check("code 3952" in page and 'id="L6"' in page, "the check lists line 6 with its code")
    run_service()
    browser.get(base + "/entries/%d" % good)
    shot("entry-succeeded")
    check("succeeded" in browser.page_source, "the good file finished")
    browser.get(base + "/entries/%d" % bad)
    shot("entry-errors")
    check("Invalid &lt;exchange&gt;" in browser.page_source and "BOVESPA" in browser.page_source,
          "the failed file's messages show with the line")
    browser.find_element(By.LINK_TEXT, "Download the file").click()
    target = os.path.join(downloads, "check_fails.txt")
    for _ in range(100):
        if os.path.exists(target):
            break
        time.sleep(0.1)
    digest = lambda p: hashlib.sha256(open(p, "rb").read()).hexdigest() if os.path.exists(p) else ""
    check(digest(target) == digest(os.path.join(source, "examples/check_fails.txt")),
          "the downloaded file has the same SHA-256")
    browser.get(base + "/")
    shot("my-entries")

    run_service()  # the second try: the entry has used its tries
    login("zunsvc", "svc-browser-pw")
    browser.get(base + "/ops?state=failed")
    shot("ops")
    check("Failure class" in browser.page_source and "check_fails.txt" in browser.page_source,
          "the operators' page shows the run and the failed entry")
    browser.find_element(By.CSS_SELECTOR, "input[name='id'][value='%d']" % bad).click()
    submit(browser.find_element(By.CSS_SELECTOR, "button[value='retry']"))
    shot("ops-retried")
    check("offered once more" in browser.page_source, "the operator retried the entry")
    browser.get(base + "/entries/%d" % bad)
    submit(browser.find_element(By.XPATH, "//button[text()='Cancel this entry']"))
    browser.get(base + "/entries/%d" % bad)
    check("404" in browser.page_source, "the operator cancelled the entry")
    log = open(os.path.join(work, "web.err")).read()
    check("offered once more by zunsvc" in log and "cancelled by zunsvc" in log,
          "retry and cancel are logged with who did them")
finally:
    browser.quit()
    web.terminate()
    web.wait()
print("screenshots in " + shots)
sys.exit(1 if failures else 0)
