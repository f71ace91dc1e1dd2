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
