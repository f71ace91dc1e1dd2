#!/usr/bin/env bash
# `make install` into a prefix of its own, then the installed programs run from there, away from
# the build tree: the command line must find its strings tables and the host the plug-in bundle.
#   check-install.sh BUILD_DIR
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

# A home of its own: no stored language, no plug-ins of the user's.
mkdir -p "$work/home"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
unset LC_ALL LC_MESSAGES LANG DISPLAY WAYLAND_DISPLAY

fail() { echo "check-install: $*" >&2; exit 1; }

help="$(LANGUAGE=de "$prefix/bin/quorvel" --help)" || fail "installed quorvel --help failed"
grep -q 'Formular' <<<"$help" || fail "installed quorvel --help is not in German:"$'\n'"$help"

# Standard input closed: the host shows its menu bar and quits at the end of input.
host="$(LANGUAGE=en "$prefix/bin/quorvel-host" --ui terminal <&- 2>&1)" ||
  fail "installed quorvel-host failed:"$'\n'"$host"
grep -q 'Quorvel' <<<"$host" || fail "installed quorvel-host did not load the Quorvel plug-in:"$'\n'"$host"

# The engine as a library: a program built against the installed header and pkg-config file
# merges the bundled example.
command -v pkg-config >/dev/null || fail "pkg-config is missing"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig:$prefix/lib/$(gcc -print-multiarch 2>/dev/null)/pkgconfig"
cat >"$work/engine.cpp" <<'CPP'
#include <engine/Engine.h>
#include <fstream>
#include <iostream>
#include <sstream>
static std::string slurp(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
int main(int, char** argv) {
    const std::string form = slurp(argv[1]), data = slurp(argv[2]);
    QVMergeSettings settings;
    settings.templateBytes = form;
    settings.dataText = data;
    settings.outputFolder = argv[3];
    uint64_t count = 0;
    QVError error;
    if (!QVMergeWithSettings(settings, &count, &error, nullptr)) {
        std::cerr << error.message << "\n";
        return 1;
    }
    std::cout << count << "\n";
}
CPP
flags="$(pkg-config --cflags --libs quorvel)" || fail "pkg-config does not know quorvel"
# shellcheck disable=SC2086
c++ "$work/engine.cpp" -o "$work/engine" $flags 2>"$work/cc.log" ||
  fail "a program could not be built against the installed library:"$'\n'"$(cat "$work/cc.log")"
src="$(cd "$(dirname "$0")/../.." && pwd)"
mkdir "$work/merged"
count="$("$work/engine" "$src/examples/factuur.pdf" "$src/examples/klanten.csv" "$work/merged")" ||
  fail "the program built against the library failed"
[ "$count" = 25 ] && [ "$(ls "$work/merged" | wc -l)" = 25 ] || fail "the library merged $count records"

# Every library search path of every binary, built or installed, is absolute or relative to the
# binary itself: an empty or relative entry makes the loader look in the current folder, where
# any file named like one of the libraries would be loaded in place of it.
command -v readelf >/dev/null || fail "readelf is missing"
while IFS= read -r -d '' binary; do
  readelf -d "$binary" 2>/dev/null | sed -n 's/.*(R[UN]*PATH).*\[\(.*\)\]$/\1/p' |
    awk -v file="$binary" '{ n = split($0, entry, ":"); for (i = 1; i <= n; i++)
      if (entry[i] !~ /^(\/|\$ORIGIN)/) { printf "%s searches \"%s\" (%s)\n", file, entry[i], $0; bad = 1 } }
      END { exit bad }' || fail "a library search path depends on the current folder"
done < <(find "$build/bin" "$prefix" -type f \( -perm -u+x -o -name '*.so*' \) -print0)
