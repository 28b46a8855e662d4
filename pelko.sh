#!/usr/bin/env bash
# Pelko's entry points:
#   ./pelko.sh run      install what is missing, build, start the server in ./run/
#   ./pelko.sh test     install what is missing, build with sanitizers, run every test
#   ./pelko.sh package  install what is missing, build the Debian package build/package/pelko_*.deb
#   ./pelko.sh image    build the package, then the container image pelko:<version> and build/image/pelko_*.tar
#   ./pelko.sh bench    install what is missing, build the release build, measure it beside nginx
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
JOBS=2
# Most end-to-end tests wait (for a fake downloader, a second of the id rule, a time-out): four
# run at once on two cores.
TEST_JOBS=4

# ca-certificates: the updater verifies the release host's HTTPS certificate; unzip unpacks the
# deno it installs; python3-mutagen lets yt-dlp put covers into M4A and Opus files; apprise sends the
# notifications to Apprise addresses.
RUN_PACKAGES=(g++ cmake make ccache pkg-config libmicrohttpd-dev libcurl4-openssl-dev libsodium-dev libpugixml-dev ca-certificates yt-dlp
  ffmpeg python3-mutagen apprise unzip)
PACKAGE_PACKAGES=(dpkg-dev)
IMAGE_PACKAGES=(podman runc uidmap mmdebstrap)
TEST_PACKAGES=(libgtest-dev python3 clang chromium lintian systemd adduser "${IMAGE_PACKAGES[@]}")
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
BENCH_PACKAGES=(libbenchmark-dev python3 nginx wrk curl)

# Installs the Debian packages that are not there yet; a machine that has them all is left alone.
install_missing() {
  local missing=()
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || missing+=("$pkg")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# Node.js and npm may come from Debian or from a build that bundles npm with node: the Debian
# package of each is wanted only when its command is missing.
missing_node_packages() {
  command -v node >/dev/null || echo nodejs
  command -v npm >/dev/null || echo npm
}

# The browser tests' npm packages, exactly as package-lock.json pins them. A tree installed from the
# same lock file is kept, so a second run needs no registry.
install_browser_packages() {
  local dir="$ROOT/tests/browser" stamp="$ROOT/tests/browser/node_modules/.installed-from-lock"
  if cmp -s "$dir/package-lock.json" "$stamp"; then
    return
  fi
  (cd "$dir" && npm ci --no-audit --no-fund --prefer-offline --loglevel=error)
  cp "$dir/package-lock.json" "$stamp"
}

# Every build goes through ccache, whose cache lies outside the checkout: paths are taken
# relative to the checkout, so a fresh clone elsewhere reuses what an earlier one compiled.
export CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=1

# build <dir> <target|all> <cmake options...>
build() {
  local dir="$1" target="$2"; shift 2
  cmake -S "$ROOT" -B "$ROOT/build/$dir" -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@" >/dev/null
  cmake --build "$ROOT/build/$dir" -j "$JOBS" --target "$target"
}

cmd_run() {
  install_missing "${RUN_PACKAGES[@]}"
  build release all -DCMAKE_BUILD_TYPE=Release -DPELKO_TESTS=OFF
  mkdir -p "$ROOT/run"
  # The server serves "frontend" from its working directory by default.
  ln -sfn ../frontend "$ROOT/run/frontend"
  cd "$ROOT/run"
  exec "$ROOT/build/release/pelko"
}

# debian_flags <CXXFLAGS|CPPFLAGS|LDFLAGS>: Debian's build flags with every hardening option.
debian_flags() {
  DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"
}

# The package is built as Debian builds its own: optimised, with the distribution's hardening
# flags, and installed under /usr.
cmd_package() {
  install_missing "${RUN_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
  build package all -DCMAKE_BUILD_TYPE=None -DPELKO_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS="$(debian_flags CXXFLAGS) $(debian_flags CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(debian_flags LDFLAGS)"
  rm -f "$ROOT"/build/package/pelko_*.deb
  (cd "$ROOT/build/package" && cpack -G DEB >/dev/null)
  ls "$ROOT"/build/package/pelko_*.deb
}

# The container image of the package built last; made again only when the package's content or
# packaging/image/ changed. mmdebstrap and podman run as root.
build_image() {
  $SUDO "$ROOT/packaging/image/build-image.sh" "$ROOT"/build/package/pelko_*.deb "$ROOT/build/image"
}

cmd_image() {
  install_missing "${IMAGE_PACKAGES[@]}"
  cmd_package >/dev/null
  build_image
}

# timed <what> <command...>: runs the command and says how long it took (the test run's breakdown).
timed() {
  local what="$1" start=$SECONDS
  shift
  "$@"
  echo "pelko.sh: $what took $((SECONDS - start)) s" >&2
}

install_test_packages() {
  # shellcheck disable=SC2046 # one package name per word
  # One install for everything the test command needs, the package build's tools included.
  install_missing "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}" $(missing_node_packages)
  install_browser_packages
}

run_ctest() {
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$ROOT/build/asan" --output-on-failure -j "$TEST_JOBS"
}

# The download workers are the server's only threads besides the main one: their suite runs
# once more under ThreadSanitizer, and any data race fails the command.
run_tsan() {
  local output="$ROOT/build/tsan/test_downloader.out"
  if ! TSAN_OPTIONS=halt_on_error=1:exitcode=66 "$ROOT/build/tsan/tests/test_downloader" --gtest_brief=1 >"$output" 2>&1; then
    cat "$output"
    echo "ThreadSanitizer run of test_downloader failed" >&2
    exit 1
  fi
  tail -n 2 "$output"
}

cmd_test() {
  local start=$SECONDS
  timed "installing" install_test_packages
  timed "the sanitizer build" build asan all -DCMAKE_BUILD_TYPE=Debug -DPELKO_SANITIZE=ON
  timed "CTest" run_ctest
  timed "the ThreadSanitizer build" build tsan test_downloader -DCMAKE_BUILD_TYPE=Debug -DPELKO_TSAN=ON
  timed "the ThreadSanitizer run" run_tsan
  # The fields that threads share are annotated with what guards them; clang proves it.
  timed "the clang build" build clang pelko_core -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
    -DPELKO_TESTS=OFF -DPELKO_THREAD_SAFETY=ON
  # The Debian package, installed into a scratch root and run as its systemd unit runs it.
  timed "the package build" cmd_package
  timed "the package test" $SUDO python3 "$ROOT/tests/package/test_package.py" "$ROOT"/build/package/pelko_*.deb
  # The container image of that package, run under podman.
  timed "the image build" build_image
  timed "the image test" $SUDO python3 "$ROOT/tests/image/test_image.py" \
    "pelko:$(dpkg-deb --field "$ROOT"/build/package/pelko_*.deb Version)"
  echo "pelko.sh: the whole test command took $((SECONDS - start)) s" >&2
}

# Every figure of the performance table, printed and kept in build/bench/report.md.
# Runs on 127.0.0.1 only and stops itself; a loaded machine gives slower figures.
cmd_bench() {
  install_missing "${RUN_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
  build release all -DCMAKE_BUILD_TYPE=Release -DPELKO_TESTS=OFF -DPELKO_BENCH=ON >&2
  python3 "$ROOT/bench/run_bench.py" --pelko "$ROOT/build/release/pelko" --micro "$ROOT/build/release/bench" \
    --work "$ROOT/build/bench"
  # Following 100 channels of 10,000 videos each, with the fake downloader of the tests.
  python3 "$ROOT/bench/subscriptions_scale.py" --pelko "$ROOT/build/release/pelko" | tee -a "$ROOT/build/bench/report.md"
  # Notifications: a download's end to its webhook and its Apprise message; a hanging target.
  python3 "$ROOT/bench/notification_delivery.py" --pelko "$ROOT/build/release/pelko" | tee -a "$ROOT/build/bench/report.md"
  # History and logs of years: the queries, the full listings, RSS, and the page in Chromium.
  python3 "$ROOT/bench/history_scale.py" --pelko "$ROOT/build/release/pelko" | tee -a "$ROOT/build/bench/report.md"
}

case "${1:-}" in
  run) cmd_run ;;
  test) cmd_test ;;
  package) cmd_package ;;
  image) cmd_image ;;
  bench) cmd_bench ;;
  *) echo "usage: $0 run|test|package|image|bench" >&2; exit 2 ;;
esac
