#!/usr/bin/env bash
# Builds the Debian package build/package/voq006_<version>_<architecture>.deb with CPack:
# an optimised build of the two programs in its own build tree, with Debian's compiler
# and linker flags for packages (every hardening feature on), stripped; then lintian
# looks at it. Prints the package's path last. The tests make their own package from
# their build tree (tests/package), so this script is for people, not for CI.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

build=build/package
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

# Folders that CPack stages and packs keep the modes a package needs whatever the umask.
umask 022
log=build/package-build.log
mkdir -p build
rm -f "$build"/voq006_*.deb
if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOQ_BUILD_TESTS=OFF \
             -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" &&
       cmake --build "$build" &&
       cpack --config "$build/CPackConfig.cmake" -B "$build"; } >"$log" 2>&1; then
    cat "$log"
    echo "package.sh: building the package failed (log above, also in $log)" >&2
    exit 1
fi

deb=$(ls "$build"/voq006_*.deb)
lintian --fail-on error "$deb" 2>/dev/null || { echo "package.sh: lintian reports errors" >&2; exit 1; }
echo "$deb"
