#!/usr/bin/env bash
# Generates the locales that the tests run under, when they are missing:
# the UTF-8 locales of German, French, Japanese and Russian users, and two
# with 8-bit and multi-byte character sets of their own. Idempotent; runs
# localedef as root or through sudo. Needs Debian's `locales` package
# (scripts/install-deps.sh installs it).
set -euo pipefail

# name, source locale, character set
locales=(
  "de_DE.UTF-8 de_DE UTF-8"
  "fr_FR.UTF-8 fr_FR UTF-8"
  "ja_JP.UTF-8 ja_JP UTF-8"
  "ru_RU.UTF-8 ru_RU UTF-8"
  "fr_FR.ISO-8859-1 fr_FR ISO-8859-1"
  "ja_JP.EUC-JP ja_JP EUC-JP"
)

# locale -a lists the names normalised: lower case, without - in the
# character set ("de_DE.utf8").
normalised() {
  local language=${1%%.*} charset=${1#*.}
  charset=${charset//-/}
  echo "$language.${charset,,}"
}

installed=$(locale -a 2>/dev/null || true)
if [[ $(id -u) -eq 0 ]]; then
  sudo=()
elif command -v sudo >/dev/null; then
  sudo=(sudo)
else
  sudo=(false)
fi

for entry in "${locales[@]}"; do
  read -r name source charset <<<"$entry"
  if grep -qxF "$(normalised "$name")" <<<"$installed"; then
    continue
  fi
  echo "Generating locale $name"
  if ! "${sudo[@]}" localedef -i "$source" -f "$charset" "$name"; then
    echo "error: cannot generate the locale $name (needs root or sudo)" >&2
    exit 1
  fi
done
