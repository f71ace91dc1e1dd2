#!/usr/bin/python3
"""Text fidelity of merged values, checked with independent readers.

A corpus of values in many scripts is merged by the real `quorvel` program into a form made
here (fixed-size, auto-size, multi-line, comb and left/centre/right aligned text fields) in
separate and combined mode, each value also as the page's watermark. Every case is one
value, field, mode and reader:

  pdftotext, pymupdf   the text read back inside the field's box equals the value (NFC)
  render               pdftoppm finds ink inside the box and none outside every box beyond the
                       blank template's own drawing
  qpdf                 qpdf --check is clean (field "file")

Cases that fail today are listed in KNOWN below: they are reported as "known" and do not fail
the test. Any other failing case fails it; a listed case that passes is reported as "fixed"
so that its line can be taken off the list.

  corpus.py --quorvel build/bin/quorvel [--keep DIR] [--print-known]
"""

import argparse
import concurrent.futures
import csv
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unicodedata

try:
    import fitz
except ImportError:
    fitz = None

SKIP = 77  # ctest's skip code: a reader is missing

# Cases that fail today, one per line: value field mode reader ("merge": the program refused
# the value). Take a line off when its case passes.
KNOWN = """
# A watermark refuses format characters (the zero-width joiners of emoji sequences and Persian,
# the soft hyphen) as it refuses control characters: the record fails in both modes.
emoji          watermark  combined  merge
emoji          watermark  separate  merge
persian-zwnj   watermark  combined  merge
persian-zwnj   watermark  separate  merge
soft-hyphen    watermark  combined  merge
soft-hyphen    watermark  separate  merge
"""

SHY = "\u00ad"

VALUES = [
    ("dutch", "IJsselmeer: één coöperatie, ruïne en café"),
    ("turkish", "İstanbul'da ılık şiş, ĞÜŞİÖÇ ğüşıöç"),
    ("polish", "Zażółć gęślą jaźń, ŁÓDŹ"),
    ("vietnamese", "Tiếng Việt: Nguyễn Thị Hương ở Hà Nội"),
    ("greek", "Ελληνική γλώσσα, ΆΈΉΊΌΎΏ ΐΰ"),
    ("cyrillic", "Съешь же ещё этих мягких булок"),
    ("hebrew", "שלום עולם, עִבְרִית"),
    ("arabic-marks", "مَرْحَبًا بِالْعَالَمِ"),
    ("persian-zwnj", "می\u200cخواهم کتاب\u200cها را بخوانم"),
    ("devanagari", "नमस्ते दुनिया, क्षत्रिय"),
    ("bengali", "আমি বাংলায় গান গাই"),
    ("thai", "ภาษาไทยง่ายนิดเดียว"),
    ("cjk", "你好世界，日本語の文章と한국어"),
    ("emoji", "Emoji 😀👍🏽 👨\u200d👩\u200d👧 🇳🇱"),
    ("nfd", unicodedata.normalize("NFD", "Crème brûlée à Zürich, Ñandú")),
    ("soft-hyphen", "Donau" + SHY + "dampf" + SHY + "schiff" + SHY + "fahrts" + SHY + "gesellschaft"),
    ("long", " ".join(["Een zeer lange waarde met accenten (é, ü, ç) die over vele regels loopt."] * 4)),
]

# name: rect (PDF space), /DA, /Q, /Ff, /MaxLen
PAGE_W, PAGE_H = 612, 792
COMB_CELLS = 48
FIELDS = {
    "fixed": ([50, 700, 562, 724], "/Helv 12 Tf 0 g", 0, 0, 0),
    "auto": ([50, 650, 562, 674], "/Helv 0 Tf 0 g", 0, 0, 0),
    "multi": ([50, 520, 562, 620], "/Helv 10 Tf 0 g", 0, 1 << 12, 0),
    "comb": ([50, 460, 562, 484], "/Helv 0 Tf 0 g", 0, 1 << 24, COMB_CELLS),
    "left": ([50, 400, 562, 424], "/Helv 10 Tf 0 g", 0, 0, 0),
    "center": ([50, 340, 562, 364], "/Helv 10 Tf 0 g", 1, 0, 0),
    "right": ([50, 280, 562, 304], "/Helv 10 Tf 0 g", 2, 0, 0),
}
WATERMARK = "watermark"
# One line at a fixed size cannot hold the long value: it is clipped, so only the render check
# applies. Longer than the comb's cells or a watermark line it is refused, so those stay empty.
# The automatic size stops at a readable floor (4 pt) and clips beyond it, as one line at a
# fixed size does.
NOT_READABLE = {("long", f) for f in ("fixed", "left", "center", "right", "auto")}
LEFT_EMPTY = {("long", "comb"), ("long", WATERMARK)}

# Lines wrap inside words (CJK, Thai, at a soft hyphen) and comb cells stand apart: readers put
# white space there that the value does not hold.
LOOSE_SPACES = {"multi", "comb"}

DPI = 100


# --- the form ---------------------------------------------------------------------------

def make_form():
    objects = []

    def add(body):
        objects.append(body)
        return len(objects)

    def stream(data, extra=""):
        data = data.encode("latin-1")
        return b"<<" + extra.encode() + b" /Length %d>>\nstream\n" % len(data) + data + b"\nendstream"

    helv = add(b"<</Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding>>")
    # Static drawing of the template: a caption over each field and a rule at the top.
    content = "0.6 G 1 w 50 760 m 562 760 l S BT /F1 8 Tf 0 g\n"
    for name, (rect, *_rest) in FIELDS.items():
        content += "1 0 0 1 %d %d Tm (%s) Tj\n" % (rect[0], rect[3] + 4, name)
    content += "ET"
    contents = add(stream(content))
    page = len(objects) + 1 + len(FIELDS)
    widgets = []
    for name, (rect, da, q, ff, maxlen) in FIELDS.items():
        d = "<</Type /Annot /Subtype /Widget /FT /Tx /T (%s) /Rect [%s] /F 4 /P %d 0 R /DA (%s) /Q %d /Ff %d" % (
            name, " ".join(map(str, rect)), page, da, q, ff)
        if maxlen:
            d += " /MaxLen %d" % maxlen
        widgets.append(add((d + ">>").encode()))
    refs = " ".join("%d 0 R" % w for w in widgets)
    assert add(("<</Type /Page /Parent %d 0 R /MediaBox [0 0 %d %d] /Resources <</Font <</F1 %d 0 R>>>> "
                "/Contents %d 0 R /Annots [%s]>>" % (page + 1, PAGE_W, PAGE_H, helv, contents, refs)).encode()) == page
    add(("<</Type /Pages /Count 1 /Kids [%d 0 R]>>" % page).encode())
    form = add(("<</Fields [%s] /DR <</Font <</Helv %d 0 R>>>> /DA (/Helv 0 Tf 0 g)>>" % (refs, helv)).encode())
    catalog = add(("<</Type /Catalog /Pages %d 0 R /AcroForm %d 0 R>>" % (page + 1, form)).encode())
    out = b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n"
    offsets = []
    for i, body in enumerate(objects):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % (i + 1) + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f\r\n" % (len(objects) + 1)
    for off in offsets:
        out += b"%010d 00000 n\r\n" % off
    out += b"trailer\n<</Size %d /Root %d 0 R>>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, catalog, xref)
    return out


# A watermark cannot be empty: where it is left out (or the program refuses the value) it shows this.
PLACEHOLDER = "x"


def cell(vid, value, field, refused=()):
    if (vid, field) in LEFT_EMPTY or (field == WATERMARK and vid in refused):
        return PLACEHOLDER if field == WATERMARK else ""
    return value


def write_data(path, refused):
    with open(path, "w", encoding="utf-8", newline="") as f:
        w = csv.writer(f, quoting=csv.QUOTE_ALL, lineterminator="\n")
        w.writerow(["id"] + list(FIELDS) + ["W"])
        for vid, value in VALUES:
            w.writerow([vid] + [cell(vid, value, f) for f in FIELDS] + [cell(vid, value, WATERMARK, refused)])


# --- reading back -----------------------------------------------------------------------

def run(argv, **kw):
    return subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)


def pdf_to_top(rect, margin=2.0):
    """PDF rect [x0 y0 x1 y1] -> (x, y from the top, w, h), grown by the margin."""
    x0, y0, x1, y1 = rect
    return x0 - margin, PAGE_H - y1 - margin, x1 - x0 + 2 * margin, y1 - y0 + 2 * margin


def read_pdftotext(pdf, page, rect):
    x, y, w, h = pdf_to_top(rect)
    r = run(["pdftotext", "-q", "-enc", "UTF-8", "-f", str(page + 1), "-l", str(page + 1), "-r", "72",
             "-x", str(int(x)), "-y", str(int(y)), "-W", str(int(w + 1)), "-H", str(int(h + 1)), pdf, "-"])
    return r.stdout.decode("utf-8", "replace") if r.returncode == 0 else "<pdftotext failed>"


_rawdicts = {}


def read_pymupdf(doc, page, rect):
    """The characters whose centre lies in the box, line by line. (A clip would also drop
    characters whose font's line height pokes out of the box, which says nothing of the ink.)"""
    key = (id(doc), page)
    if key not in _rawdicts:
        _rawdicts[key] = doc[page].get_text("rawdict")
    x0, y0, x1, y1 = rect[0] - 2, PAGE_H - rect[3] - 2, rect[2] + 2, PAGE_H - rect[1] + 2
    lines = []
    for block in _rawdicts[key]["blocks"]:
        for line in block.get("lines", []):
            text = ""
            for span in line["spans"]:
                for ch in span["chars"]:
                    cx, cy = (ch["bbox"][0] + ch["bbox"][2]) / 2, (ch["bbox"][1] + ch["bbox"][3]) / 2
                    if x0 <= cx <= x1 and y0 <= cy <= y1:
                        text += ch["c"]
            if text:
                lines.append(text)
    return "\n".join(lines)


def expected_text(value):
    return unicodedata.normalize("NFC", value).replace(SHY, "")


# Marks poppler puts around right-to-left text it reorders; no value holds them.
READER_MARKS = dict.fromkeys(map(ord, "\u202a\u202b\u202c\u202d\u202e\u2066\u2067\u2068\u2069"))


def right_to_left(value):
    return any(unicodedata.bidirectional(c) in ("R", "AL") for c in value)


def same_text(got, value, loose_spaces, reader="pdftotext"):
    """Equal as NFC with white space runs as one space. `loose_spaces` (multi-line and comb
    fields): readers may also add or drop white space where lines wrap or between cells.
    Right-to-left text: PyMuPDF gives it in drawing order, which is the exact reverse of the
    characters (every cluster's characters are drawn reversed); poppler reorders it itself but
    puts white space of its own where neutral characters meet the runs."""
    if right_to_left(value):
        loose_spaces = True
        if reader == "pymupdf":
            got = "\n".join(line[::-1] for line in got.split("\n"))
    want = " ".join(expected_text(value).split())
    got = unicodedata.normalize("NFC", got.translate(READER_MARKS)).replace(SHY, "")
    if SHY in value:
        got = re.sub(r"-\s*\n", "", got)  # the hyphen a soft hyphen shows at a line break
    if " ".join(got.split()) == want:
        return True
    return loose_spaces and "".join(got.split()) == "".join(want.split())


class Pgm:
    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        parts = data.split(maxsplit=4)
        assert parts[0] == b"P5", path
        self.w, self.h = int(parts[1]), int(parts[2])
        self.px = parts[4][: self.w * self.h]

    def row(self, y, x0=0, x1=None):
        x1 = self.w if x1 is None else x1
        return self.px[y * self.w + x0: y * self.w + x1]


def render(pdf, folder, prefix):
    run(["pdftoppm", "-q", "-r", str(DPI), "-gray", pdf, os.path.join(folder, prefix)], check=True)
    pages = sorted(f for f in os.listdir(folder) if f.startswith(prefix + "-") and f.endswith(".pgm"))
    return [Pgm(os.path.join(folder, f)) for f in pages]


DARK = 128
DARK_TABLE = bytes(1 if b < DARK else 0 for b in range(256))


def to_pixels(rect, margin):
    s = DPI / 72.0
    x0, y0, x1, y1 = rect
    return (max(0, int((x0 - margin) * s)), max(0, int((PAGE_H - y1 - margin) * s)),
            int((x1 + margin) * s + 0.999), int((PAGE_H - y0 + margin) * s + 0.999))


def dark_count(img, box):
    x0, y0, x1, y1 = box
    return sum(img.row(y, x0, min(x1, img.w)).translate(DARK_TABLE).count(1) for y in range(y0, min(y1, img.h)))


def render_check(img, blank, boxes):
    """boxes: name -> (rect, filled). Answers name -> problem (or None)."""
    problems = {}
    inner = {n: to_pixels(r, -1) for n, (r, _f) in boxes.items()}
    outer = {n: to_pixels(r, 1.5) for n, (r, _f) in boxes.items()}
    for name, (rect, filled) in boxes.items():
        if filled and dark_count(img, inner[name]) - dark_count(blank, inner[name]) < 5:
            problems[name] = "no ink inside the box"
    stray = {}
    for y in range(min(img.h, blank.h)):
        if img.row(y) == blank.row(y):
            continue
        spans = sorted((b[0], b[2]) for b in outer.values() if b[1] <= y < b[3])
        x = 0
        for s0, s1 in spans + [(img.w, img.w)]:
            if s0 > x and img.row(y, x, s0) != blank.row(y, x, s0):
                a, b = img.row(y, x, s0), blank.row(y, x, s0)
                for i in range(len(a)):
                    if a[i] < DARK <= b[i]:
                        px, py = x + i, y
                        near = min(outer, key=lambda n: distance(outer[n], px, py))
                        stray[near] = stray.get(near, 0) + 1
            x = max(x, s1)
    for name, count in stray.items():
        if count > 3:
            problems[name] = (problems.get(name, "") + "; " if name in problems else "") + \
                "%d px of ink outside every box (nearest this one)" % count
    return problems


def distance(box, x, y):
    dx = max(box[0] - x, 0, x - box[2])
    dy = max(box[1] - y, 0, y - box[3])
    return dx * dx + dy * dy


# --- the run ----------------------------------------------------------------------------

def merge(quorvel, folder, mode, form, data, refused, results):
    """Merges; a watermark the program refuses is a failed case, and the value's watermark
    becomes the placeholder so that the rest can still be checked."""
    out = os.path.join(folder, mode)
    env = dict(os.environ, HOME=folder, XDG_CONFIG_HOME=os.path.join(folder, "config"), LANGUAGE="nl")
    for _attempt in range(len(VALUES) + 1):
        write_data(data, refused)
        r = run([quorvel, "merge", "--template", form, "--data", data, "--output", out, "--mode", mode,
                 "--pattern", "{id}", "--watermark-column", "W", "--watermark-position", "bottom",
                 "--watermark-size", "10", "--quiet"], env=env)
        if r.returncode == 0:
            return out
        message = r.stderr.decode("utf-8", "replace")
        record = re.search(r"Watermerk voor record (\d+)", message)
        if not record or not 1 <= int(record.group(1)) <= len(VALUES):
            break
        vid = VALUES[int(record.group(1)) - 1][0]
        refused.add(vid)
        results[(vid, WATERMARK, mode, "merge")] = "refused: " + message.splitlines()[0]
        shutil.rmtree(out, ignore_errors=True)
    sys.exit("quorvel merge --mode %s failed (%d):\n%s" % (mode, r.returncode, r.stderr.decode("utf-8", "replace")))


def watermark_rects(separate):
    """The watermark's rectangle per value, from the annotation of the separate output."""
    rects = {}
    for vid, _v in VALUES:
        doc = fitz.open(os.path.join(separate, vid + ".pdf"))
        for annot in doc[0].annots() or []:
            if annot.type[1] == "FreeText":
                r = annot.rect
                rects[vid] = [r.x0, PAGE_H - r.y1, r.x1, PAGE_H - r.y0]
        doc.close()
    return rects


def check(quorvel, folder):
    form = os.path.join(folder, "form.pdf")
    with open(form, "wb") as f:
        f.write(make_form())
    data = os.path.join(folder, "corpus.csv")
    results = {}  # (value, field, mode, reader) -> problem or None
    refused = set()
    separate = merge(quorvel, folder, "separate", form, data, refused, results)
    combined = merge(quorvel, folder, "combined", form, data, refused, results)
    for vid in refused:  # refused in one mode, it was not tried in the other
        for mode in ("separate", "combined"):
            results.setdefault((vid, WATERMARK, mode, "merge"), "refused in the other mode")
    combined_pdf = os.path.join(combined, "merge-gecombineerd.pdf")
    wm = watermark_rects(separate)
    blank = render(form, folder, "blank")[0]
    pool = concurrent.futures.ThreadPoolExecutor(max_workers=2)

    def field_boxes(vid):
        """name -> (rect, whether the value is there to check); every box may hold ink."""
        value = dict(VALUES)[vid]
        boxes = {f: (r, cell(vid, value, f) != "") for f, (r, *_x) in FIELDS.items()}
        if vid in wm:
            boxes[WATERMARK] = (wm[vid], cell(vid, value, WATERMARK, refused) != PLACEHOLDER)
        return boxes

    # Where each value is: (mode, pdf, page index).
    places = []
    for i, (vid, _v) in enumerate(VALUES):
        places.append((vid, "separate", os.path.join(separate, vid + ".pdf"), 0))
        places.append((vid, "combined", combined_pdf, i))

    for pdf in [os.path.join(separate, vid + ".pdf") for vid, _v in VALUES] + [combined_pdf]:
        r = run(["qpdf", "--check", pdf])
        problem = None if r.returncode == 0 else (r.stdout + r.stderr).decode("utf-8", "replace").strip()[-300:]
        if pdf == combined_pdf:
            for vid, _v in VALUES:
                results[(vid, "file", "combined", "qpdf")] = problem
        else:
            results[(os.path.basename(pdf)[:-4], "file", "separate", "qpdf")] = problem

    # Pages rendered while the text is read.
    renders = {("combined", 0): pool.submit(render, combined_pdf, folder, "combined")}
    for vid, mode, pdf, _page in places:
        if mode == "separate":
            renders[(mode, vid)] = pool.submit(render, pdf, folder, "sep-" + vid)

    # Text, read back by both readers inside each box.
    jobs = {}
    docs = {}
    for vid, mode, pdf, page in places:
        value = dict(VALUES)[vid]
        for name, (rect, filled) in field_boxes(vid).items():
            if not filled or (vid, name) in NOT_READABLE:
                continue
            jobs[(vid, name, mode, "pdftotext")] = pool.submit(read_pdftotext, pdf, page, rect)
            doc = docs.setdefault(pdf, fitz.open(pdf))
            got = read_pymupdf(doc, page, rect)
            results[(vid, name, mode, "pymupdf")] = None if same_text(got, value, name in LOOSE_SPACES, "pymupdf") else \
                "expected %r, read %r" % (expected_text(value), got.strip())
    for key, future in jobs.items():
        got = future.result()
        value = dict(VALUES)[key[0]]
        results[key] = None if same_text(got, value, key[1] in LOOSE_SPACES) else \
            "expected %r, read %r" % (expected_text(value), got.strip())

    # Ink.
    for vid, mode, pdf, page in places:
        img = renders[(mode, vid)].result()[0] if mode == "separate" else renders[("combined", 0)].result()[page]
        boxes = field_boxes(vid)
        problems = render_check(img, blank, boxes)
        for name, (_r, filled) in boxes.items():
            if filled or name in problems:
                results[(vid, name, mode, "render")] = problems.get(name)
    return results


def known_cases():
    cases = {}
    for line in KNOWN.splitlines():
        line = line.split("#")[0].strip()
        if line:
            parts = tuple(line.split())
            assert len(parts) == 4, line
            cases[parts] = True
    return cases


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--quorvel", required=True)
    ap.add_argument("--keep", help="keep the outputs in this new folder")
    ap.add_argument("--print-known", action="store_true", help="print today's failures as KNOWN lines")
    args = ap.parse_args()
    for tool in ("pdftotext", "pdftoppm", "qpdf"):
        if not shutil.which(tool):
            print("skipped: %s is not installed" % tool)
            return SKIP
    if fitz is None:
        print("skipped: PyMuPDF (python3-fitz) is not installed")
        return SKIP

    folder = tempfile.mkdtemp(prefix="qv-corpus-")
    try:
        results = check(os.path.abspath(args.quorvel), folder)
    finally:
        if args.keep:
            shutil.copytree(folder, args.keep)
        shutil.rmtree(folder, ignore_errors=True)

    known = known_cases()
    failed = fixed = listed = 0
    for key in sorted(results):
        problem = results[key]
        label = " ".join(key)
        if problem is None:
            if key in known:
                fixed += 1
                print("fixed  %s: passes now; take it off the known list" % label)
            continue
        if key in known:
            listed += 1
            print("known  %s: %s" % (label, problem))
        else:
            failed += 1
            print("FAIL   %s: %s" % (label, problem))
    for key in known:
        if key not in results:
            print("stale  %s: no such case" % " ".join(key))
    if args.print_known:
        print("\n# value field mode reader")
        for key in sorted(k for k, p in results.items() if p is not None):
            print("%-14s %-10s %-9s %s" % key)
    print("%d cases: %d pass, %d known failures, %d fixed, %d new failures" % (
        len(results), len(results) - listed - failed, listed, fixed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
