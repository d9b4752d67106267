#!/usr/bin/env python3
"""Drives a page in headless Chromium over the DevTools protocol (a pipe, no port): loads
URL, waits in real time until the JavaScript expression --until is true, optionally samples
--sample once a second for --seconds and prints each value, then writes a screenshot.

Real time rather than Chromium's virtual time: virtual time stands still while a request is
open, and a page that long-polls its server always has one open.

Exit status: 0 done, 1 the condition never held (or the page failed), 2 Chromium failed."""
import argparse
import base64
import json
import os
import subprocess
import sys
import time


class Browser:
    def __init__(self, chromium, profile, size):
        to_chrome_r, self.to_chrome = os.pipe()
        self.from_chrome, from_chrome_w = os.pipe()
        # Chromium reads commands from fd 3 and writes answers to fd 4. The pipe's own ends
        # may be 3 or 4 already (close-on-exec): copy them out of the way first.
        to_chrome_r, from_chrome_w = os.dup(to_chrome_r), os.dup(from_chrome_w)
        r_high, w_high = os.dup2(to_chrome_r, 200), os.dup2(from_chrome_w, 201)

        def fds():
            os.dup2(r_high, 3)
            os.dup2(w_high, 4)
        self.proc = subprocess.Popen(
            [chromium, "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
             "--user-data-dir=" + profile, "--window-size=" + size,
             "--remote-debugging-pipe", "about:blank"],
            preexec_fn=fds, close_fds=False,
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(profile, "chromium.log"), "w"))
        for fd in (to_chrome_r, from_chrome_w, r_high, w_high):
            os.close(fd)
        self.next_id = 0
        self.buffer = b""

    def call(self, method, params=None, session=None, timeout=30):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_chrome, json.dumps(message).encode() + b"\0")
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            while b"\0" in self.buffer:
                raw, self.buffer = self.buffer.split(b"\0", 1)
                answer = json.loads(raw)
                if answer.get("id") == self.next_id:
                    if "error" in answer:
                        raise RuntimeError(f"{method}: {answer['error']}")
                    return answer.get("result", {})
            chunk = os.read(self.from_chrome, 1 << 20)
            if not chunk:
                raise RuntimeError("Chromium closed the pipe")
            self.buffer += chunk
        raise RuntimeError(f"{method}: no answer in {timeout} s")

    def close(self):
        try:
            self.call("Browser.close", timeout=5)
        except (RuntimeError, OSError):
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("chromium")
    p.add_argument("url")
    p.add_argument("--profile", required=True)
    p.add_argument("--until", default="true")
    p.add_argument("--wait", type=float, default=60)
    p.add_argument("--sample", default="")
    p.add_argument("--seconds", type=int, default=0)
    p.add_argument("--screenshot", default="")
    p.add_argument("--size", default="1300,1100")
    a = p.parse_args()
    os.makedirs(a.profile, exist_ok=True)
    try:
        browser = Browser(a.chromium, a.profile, a.size)
    except OSError as e:
        print(f"Chromium did not start: {e}")
        return 2
    try:
        target = browser.call("Target.createTarget", {"url": a.url})["targetId"]
        session = browser.call("Target.attachToTarget",
                               {"targetId": target, "flatten": True})["sessionId"]

        def evaluate(expression):
            r = browser.call("Runtime.evaluate",
                             {"expression": expression, "returnByValue": True}, session)
            return r.get("result", {}).get("value")

        end = time.monotonic() + a.wait
        while not evaluate(f"Boolean({a.until})"):
            if time.monotonic() > end:
                print(f"the page never reached: {a.until} (title: {evaluate('document.title')})")
                return 1
            time.sleep(0.2)
        for _ in range(a.seconds):
            time.sleep(1)
            print(f"{a.sample}: {evaluate(a.sample)}", flush=True)
        if a.screenshot:
            shot = browser.call("Page.captureScreenshot", {"format": "png"}, session)
            with open(a.screenshot, "wb") as f:
                f.write(base64.b64decode(shot["data"]))
        return 0
    except (RuntimeError, OSError) as e:
        print(f"Chromium failed: {e}")
        return 2
    finally:
        browser.close()


if __name__ == "__main__":
    sys.exit(main())
