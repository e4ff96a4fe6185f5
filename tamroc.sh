#!/bin/sh
# Set up a Debian 12 machine for Tamroc, build it, and either open the program
# on the demo account book ("run") or run every test ("test"). The tests run
# twice: in a GCC build with warnings as errors, and in a Clang build with
# AddressSanitizer and UndefinedBehaviorSanitizer, which also runs each fuzz
# target for TAMROC_FUZZ_SECONDS (60) seconds and kills saves at random moments.
set -e
mode=${1:-run}
here=$(cd "$(dirname "$0")" && pwd)
build="$here/build"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi

PKGS="build-essential cmake qt6-base-dev qt6-charts-dev libqt6opengl6-dev libqt6sql6-sqlite libsqlite3-dev libpq-dev \
qt6-qpa-plugins fonts-ipafont-gothic xvfb xauth postgresql libqt6sql6-psql qt6-translations-l10n"
# The checked build: Clang, its sanitizer and libFuzzer runtimes, and the
# symbolizer that puts names and lines into a sanitizer's report.
if [ "$mode" = test ]; then
    PKGS="$PKGS clang libclang-rt-14-dev llvm-14"
fi
missing=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    $SUDO apt-get update
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi

jobs=$(nproc 2>/dev/null || echo 2)
case "$mode" in
run)
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release
    cmake --build "$build" -j "$jobs"
    if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ]; then
        echo "No display found: starting Tamroc under Xvfb."
        exec xvfb-run -a -s "-screen 0 1280x800x24" "$build/bin/Tamroc"
    fi
    exec "$build/bin/Tamroc"
    ;;
test)
    start=$(date +%s)
    cmake -S "$here" -B "$build-test" -DCMAKE_BUILD_TYPE=Debug -DTAMROC_WERROR=ON
    cmake --build "$build-test" -j "$jobs"
    # the server tests run against a throwaway PostgreSQL cluster
    (cd "$build-test" && QT_QPA_PLATFORM=offscreen \
        sh "$here/tools/pgcluster.sh" run ctest --output-on-failure -j "$jobs")
    echo "== GCC build tested in $(($(date +%s) - start)) s"

    cmake -S "$here" -B "$build-asan" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
        -DTAMROC_SANITIZE=ON -DTAMROC_FUZZ=ON -DTAMROC_BENCH=OFF \
        -DTAMROC_FUZZ_SECONDS="${TAMROC_FUZZ_SECONDS:-60}"
    cmake --build "$build-asan" -j "$jobs"
    (cd "$build-asan" && QT_QPA_PLATFORM=offscreen \
        sh "$here/tools/pgcluster.sh" run ctest --output-on-failure -j "$jobs")
    echo "== sanitizer build and fuzzing tested in $(($(date +%s) - start)) s in all"
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
