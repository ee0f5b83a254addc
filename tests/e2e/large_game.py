#!/usr/bin/env python3
"""Writes a Wine-prefix-shaped folder whose game files are tens of MB.

Usage: large_game.py PREFIX [SCALE]
The country file's FA_CUP entry stands near its end, behind hundreds of
thousands of other entries, so that the run spends its time reading,
copying and writing big files. SCALE (default 1) multiplies the sizes.
"""
import os
import sys

prefix = sys.argv[1]
scale = float(sys.argv[2]) if len(sys.argv) > 2 else 1.0
game = os.path.join(prefix, "drive_c", "Games", "TCM 2005")
os.makedirs(os.path.join(game, "script"), exist_ok=True)
os.makedirs(os.path.join(game, "database"), exist_ok=True)

with open(os.path.join(prefix, "system.reg"), "wb") as f:
    f.write(b"WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
            b"[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005] 1700000000\n"
            b"\"Install Dir\"=\"C:\\\\Games\\\\TCM 2005\\\\\"\n")


def write_lines(path, lines):
    with open(path, "wb") as f:
        f.write(b"".join(line + b"\r\n" for line in lines))


# Cup script: ~10 MB of cup blocks, none of them Portugal's. The game's
# indexes run to 99 only, so the blocks are few and long.
cups = 60
script = [str(cups).encode(), b"; cup allocation script"]
for i in range(cups):
    script += [b"%%INDEX%%CUP%d" % i, b"XX", b"_ID_CUP_%d" % i, b"0", b"4"]
    script += [b"{ %d, 8, 16,  0,   0,   0, ROUND_1, BEG_1ST_LEG, BEG_WITH_EXTRA_TIME, "
               b"BEG_WITH_PENALTY }" % r for r in range(int(1800 * scale))]
    script += [b"%%INDEXEND%%CUP%d" % i]
write_lines(os.path.join(game, "script", "cupAlloc.txt"), script)

# Country file: ~30 MB of league entries, then Portugal's cup entry.
entries = int(300000 * scale)
country = [b"; country 38", b"%INDEX%COMPETITION"]
for i in range(entries):
    country += [b"", b"{ %d, LEAGUE, ID_LEAGUE_%d }" % (i, i), b"18", b"34", b"0", b"2",
                b"4,5,6", b"%INDEXEND%COMP"]
country += [b"", b"{ %d, FA_CUP, ID_TA\xc7A_DE_PORTUGAL }" % entries, b"128", b"8", b"0", b"3",
            b"7,8", b"%INDEXEND%COMP", b"%INDEXEND%COMPETITION", b"", b"%INDEX%CLUBS"]
country += [b"Club %d" % i for i in range(int(20000 * scale))]
write_lines(os.path.join(game, "database", "Country38.sav"), country)

# Rules file: the two settings near the top, then ~8 MB of other values.
rules = [b"%d" % i for i in range(int(1000000 * scale))]
write_lines(os.path.join(game, "database", "Rules.sav"), rules)
