"""The benchmark's job with Python's csv module (see peers.awk)."""
import csv
import sys

with open(sys.argv[1], newline="") as src, open(sys.argv[2], "w", newline="") as dst:
    rows = csv.reader(src)
    out = csv.writer(dst, quoting=csv.QUOTE_ALL, lineterminator="\r\n")
    next(rows)
    for r in rows:
        m, d, y = r[0].split("/")
        hm, marker = r[1].split(" ")
        h, mi = hm.split(":")
        out.writerow([r[2], r[4], f"{int(m):02d}/{int(d):02d}/{int(y) % 100:02d}",
                      f"{int(h):02d}:{mi} {marker}", r[3], r[5], r[6]])
