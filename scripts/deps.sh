#!/usr/bin/env bash
# Installs the Debian packages this project needs, and only those that are missing.
# Safe to run again: with everything present it prints nothing and exits 0.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  # the viewer: Qt 6 Widgets, xcb for the single-instance guard, XKB for the lock keys
  qt6-base-dev libxcb1-dev libxcb-xkb-dev libgl-dev
  libseccomp-dev  # the reader process confines itself with a seccomp filter
  qt6-translations-l10n  # Qt's own Japanese texts: the file dialog, the message boxes' buttons
  librsvg2-bin  # rsvg-convert renders the scalable icon into the icon theme's larger sizes
  # the font the drawing is laid out for
  fonts-ipafont-gothic
  # tests, benchmarks, fuzzing
  libgtest-dev googletest libbenchmark-dev libsndfile1-dev sox
  time  # /usr/bin/time -v: peak memory of the reader in bench/run.sh
  clang libclang-rt-14-dev
  clang-tidy  # scripts/tidy.sh, run by CI over the program's code
  # end-to-end tests: a real X server, window manager and X tools
  xvfb openbox x11-utils xdotool imagemagick locales
  xclip  # reads the text a message box copies with Ctrl+C
  # the window read as a screen reader reads it: a session bus, the accessibility bus
  # and registry, and a client of it (Debian's python3 with pyatspi)
  dbus at-spi2-core python3-pyatspi
  # the thumbnailer entry, tested through a real thumbnailer service on its own D-Bus session
  tumbler
  # slow and stalling files for the background load's tests: a FUSE file system of the tests' own
  libfuse3-dev fuse3
  # the Debian package (dpkg-shlibdeps computes its dependencies) and its checks
  dpkg-dev desktop-file-utils appstream lintian file man-db groff-base
)

# The drawing's number texts are tested under de_DE.UTF-8, whose printf writes a decimal
# comma, and the pictures under ja_JP.UTF-8, the language of the program's users (fontconfig
# names fonts in it). The package locales brings their sources; a fresh system has a locale
# compiled only when someone chose it, so compile what is missing here.
ensure_locales() {
  local name as=()
  for name in de_DE ja_JP; do
    locale -a 2>/dev/null | grep -qix "${name}\.utf-\?8" && continue
    if [ "$(id -u)" -ne 0 ] && [ ${#as[@]} -eq 0 ]; then
      if command -v sudo >/dev/null 2>&1; then as=(sudo); else
        echo "deps.sh: the ${name}.UTF-8 locale is missing; as root run:" >&2
        echo "  localedef -i ${name} -f UTF-8 ${name}.UTF-8" >&2
        return 1
      fi
    fi
    echo "deps.sh: generating the ${name}.UTF-8 locale"
    "${as[@]}" localedef -i "${name}" -f UTF-8 "${name}.UTF-8"
  done
}

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && { ensure_locales; exit 0; }

if [ "$(id -u)" -eq 0 ]; then
  run=()
elif command -v sudo >/dev/null 2>&1; then
  run=(sudo)
else
  echo "deps.sh: these packages are missing; install them as root:" >&2
  echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi

echo "deps.sh: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${run[@]}" apt-get update -qq
"${run[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
ensure_locales
