#!/usr/bin/env python3
"""Writes english.lf and French.lf from the text tables: one text per line behind a
three-digit number, CR LF line ends, UTF-8 without byte-order mark."""
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
import english_texts  # noqa: E402
import french_texts  # noqa: E402

out = os.path.dirname(here)
for name, texts in (("english.lf", english_texts.TEXTS), ("French.lf", french_texts.TEXTS)):
    lines = ["%03d %s" % (i, t) for i, t in enumerate(texts)]
    with open(os.path.join(out, name), "w", encoding="utf-8", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")
