#!/usr/bin/python3
# The text of every page of the PDF files named, as two independent readers extract it:
# poppler's pdftotext and MuPDF (PyMuPDF). Prints {"file": {"poppler": [...], "mupdf": [...]}}.
import json
import subprocess
import sys

import fitz

out = {}
for path in sys.argv[1:]:
    doc = fitz.open(path)
    mupdf = [page.get_text() for page in doc]
    poppler = []
    for number in range(1, len(mupdf) + 1):
        run = subprocess.run(["pdftotext", "-enc", "UTF-8", "-f", str(number), "-l", str(number), path, "-"],
                             capture_output=True, check=True)
        poppler.append(run.stdout.decode("utf-8"))
    out[path] = {"poppler": poppler, "mupdf": mupdf}
json.dump(out, sys.stdout, ensure_ascii=False)
