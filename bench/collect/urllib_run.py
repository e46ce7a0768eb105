#!/usr/bin/env python3
"""The collection run's request sequence as a plain Python script with urllib.

Starts qirvomorvalin-fakesite on a corpus of 20 result pages of 10 questions
(the same as collection_run_bench's), then walks it like a run does: each
result page fetched twice (probe and harvest), every question page fetched,
the title cut out, the site's cookies dropped after every question and page.

    python3 bench/collect/urllib_run.py BUILD/fakesite/qirvomorvalin-fakesite [RUNS]

Prints the mean time of one run in milliseconds.
"""
import http.cookiejar
import os
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

HOST = "wenda.pelquor.com"
PAGES = 20


def main() -> int:
    site_bin = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    with tempfile.NamedTemporaryFile("w", encoding="utf-8", suffix=".tsv", delete=False) as f:
        for i in range(PAGES * 10):
            f.write(f"bench\t基准问题第{i + 1}号\t这是一个用来测量的问题。\n")
        corpus = f.name
    site = subprocess.Popen([site_bin, "--port", "0", corpus], stdout=subprocess.PIPE, text=True)
    try:
        port = int(site.stdout.readline().split()[1])
        jar = http.cookiejar.CookieJar()
        opener = urllib.request.build_opener(urllib.request.HTTPCookieProcessor(jar))
        agent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)"

        def get(path: str) -> bytes:
            req = urllib.request.Request(f"http://127.0.0.1:{port}{path}",
                                         headers={"Host": HOST, "User-Agent": agent})
            try:
                with opener.open(req) as resp:
                    return resp.read()
            except urllib.error.HTTPError as e:
                return e.read()

        next_page = "下一页".encode("gbk")
        left = f'<a href="http://{HOST}/question/'.encode()
        word = urllib.parse.quote("bench".encode("gbk"), safe="")

        def run() -> int:
            titles = 0
            pn = 0
            while True:
                path = f"/search?lm=0&rn=10&pn={pn}&fr=search&ie=gbk&word={word}"
                probe = get(path)
                page = get(path)
                at = page.find(left)
                while at != -1:
                    at += len(left)
                    end = page.find(b'.html"', at)
                    if end == -1:
                        break
                    question = get(f"/question/{page[at:end].decode()}.html")
                    t = question.find(b"/><title>")
                    if t != -1 and question.find(b"_Pelquor</title>", t) != -1:
                        titles += 1
                    jar.clear()
                    at = page.find(left, end)
                jar.clear()
                if next_page not in probe:
                    return titles
                pn += 10

        assert run() == PAGES * 10
        start = time.perf_counter()
        for _ in range(runs):
            run()
        mean_ms = (time.perf_counter() - start) / runs * 1000
        print(f"urllib run: {mean_ms:.1f} ms per run (mean of {runs})")
    finally:
        site.terminate()
        site.wait()
        os.unlink(corpus)
    return 0


if __name__ == "__main__":
    sys.exit(main())
