#!/usr/bin/env python3
"""Python's re.findall of the pattern that text_all_between builds, over the
same 1 MiB page that text_bench writes, for comparison with BM_TextAllBetween.

    build/<dir>/bench/text_bench --write-page=/tmp/page.gbk.html
    python3 bench/text/findall_compare.py /tmp/page.gbk.html
"""
import re
import sys
import time

LEFT = b'<a href="http://wenda.pelquor.com/question/'
RIGHT = b'.html"'


def best_of(runs, fn):
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def main():
    page = open(sys.argv[1], "rb").read()
    # Case ignored and multi-line, as text_all_between runs it; a dot never
    # matches a line feed in either.
    pattern = re.compile(re.escape(LEFT) + b"(.*?)" + re.escape(RIGHT), re.IGNORECASE | re.MULTILINE)
    found = pattern.findall(page)
    runs = 200
    seconds = best_of(runs, lambda: pattern.findall(page))
    median = sorted(best_of(1, lambda: pattern.findall(page)) for _ in range(runs))[runs // 2]
    print(f"python {sys.version.split()[0]}: {len(page)} bytes, {len(found)} matches, "
          f"best {seconds * 1e6:.0f} us, median {median * 1e6:.0f} us per findall")


if __name__ == "__main__":
    main()
