#!/usr/bin/python3
"""The real forms of tests/data/forms merged by the real `quorvel` program with --all-fields,
in separate and combined mode with a watermark: every merge succeeds, qpdf --check is clean on
every output, and pdftotext finds the values and the watermark.

  realforms.py --quorvel build/bin/quorvel --forms tests/data/forms
"""

import argparse
import csv
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
# Forms that need a password are refused by design.
REFUSED = {"encrypted-aes256-mixed.pdf"}
# So is a watermark on a rotated page: these merge without one.
NO_WATERMARK = {"acrobat-rotation.pdf", "libreoffice-rotated-pages.pdf"}
VALUE = "Ëlla Jansen"


def run(argv, **kw):
    return subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)


def text_fields(quorvel, form, env):
    """(name, maximum length) of the text fields --all-fields fills."""
    r = run([quorvel, "fields", "--details", form], env=env)
    fields = {}
    for line in r.stdout.decode("utf-8", "replace").splitlines():
        parts = [p.strip() for p in line.split(" | ")]
        if len(parts) < 8 or parts[1] != "tekstveld" or not parts[7].endswith("ja"):
            continue
        maximum = parts[4].split(":")[-1].strip()
        fields[parts[2]] = int(maximum) if maximum.isdigit() else 0
    return fields


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--quorvel", required=True)
    ap.add_argument("--forms", required=True)
    args = ap.parse_args()
    for tool in ("pdftotext", "qpdf"):
        if not shutil.which(tool):
            print("skipped: %s is not installed" % tool)
            return SKIP
    quorvel = os.path.abspath(args.quorvel)
    folder = tempfile.mkdtemp(prefix="qv-realforms-")
    env = dict(os.environ, HOME=folder, XDG_CONFIG_HOME=os.path.join(folder, "config"), LANGUAGE="nl",
               LC_ALL="C.UTF-8")
    failures = []
    try:
        forms = sorted(f for f in os.listdir(args.forms) if f.endswith(".pdf") and f not in REFUSED)
        for name in forms:
            form = os.path.join(args.forms, name)
            fields = text_fields(quorvel, form, env)
            if not fields:
                failures.append("%s: no text field to fill" % name)
                continue
            data = os.path.join(folder, name + ".csv")
            with open(data, "w", encoding="utf-8", newline="") as f:
                w = csv.writer(f, quoting=csv.QUOTE_ALL, lineterminator="\n")
                w.writerow(list(fields) + ["Kopie"])
                for record in ("1", "2"):
                    w.writerow([(VALUE + record)[: m or None] for m in fields.values()] + ["Kopie " + record])
            for mode in ("separate", "combined"):
                out = os.path.join(folder, name + "-" + mode)
                watermark = [] if name in NO_WATERMARK else ["--watermark-column", "Kopie"]
                r = run([quorvel, "merge", "--all-fields", "--quiet", "--template", form, "--data", data,
                         "--output", out, "--mode", mode] + watermark, env=env)
                if r.returncode != 0:
                    failures.append("%s %s: merge failed: %s" % (name, mode, r.stderr.decode("utf-8", "replace")))
                    continue
                for pdf in sorted(os.listdir(out)):
                    path = os.path.join(out, pdf)
                    check = run(["qpdf", "--check", path])
                    if check.returncode != 0:
                        failures.append("%s %s %s: qpdf --check: %s" % (
                            name, mode, pdf, (check.stdout + check.stderr).decode("utf-8", "replace").strip()[-400:]))
                    text = run(["pdftotext", "-enc", "UTF-8", path, "-"]).stdout.decode("utf-8", "replace")
                    text = "".join(text.split())  # comb cells come apart
                    if watermark and "Kopie" not in text:
                        failures.append("%s %s %s: the watermark is not in the text" % (name, mode, pdf))
                    shortest = min(m or 99 for m in fields.values())
                    if shortest >= 4 and VALUE[:4] not in text:  # values are cut to their field's maximum length
                        failures.append("%s %s %s: no value in the text" % (name, mode, pdf))
            print("ok    %s (%d text fields)" % (name, len(fields)) if not any(f.startswith(name) for f in failures)
                  else "FAIL  %s" % name)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    for f in failures:
        print("FAIL  " + f)
    print("%d forms, %d problems" % (len(forms), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
