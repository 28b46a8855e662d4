#!/usr/bin/env bash
# Pelko's two entry points:
#   ./pelko.sh run    install what is missing, build, start the server in ./run/
#   ./pelko.sh test   install what is missing, build with sanitizers, run every test
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
JOBS=2

# ca-certificates: the updater verifies the release host's HTTPS certificate.
RUN_PACKAGES=(g++ cmake make pkg-config libmicrohttpd-dev libcurl4-openssl-dev libsodium-dev ca-certificates yt-dlp
  ffmpeg)
TEST_PACKAGES=(libgtest-dev python3 chromium)

# Installs the Debian packages that are not there yet; a machine that has them all is left alone.
install_missing() {
  local missing=()
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || missing+=("$pkg")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
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

# build <dir> <target|all> <cmake options...>
build() {
  local dir="$1" target="$2"; shift 2
  cmake -S "$ROOT" -B "$ROOT/build/$dir" "$@" >/dev/null
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

cmd_test() {
  # shellcheck disable=SC2046 # one package name per word
  install_missing "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}" $(missing_node_packages)
  install_browser_packages
  build asan all -DCMAKE_BUILD_TYPE=Debug -DPELKO_SANITIZE=ON
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$ROOT/build/asan" --output-on-failure -j "$JOBS"
  # The download workers are the server's only threads besides the main one: their
  # suite runs once more under ThreadSanitizer, and any data race fails the command.
  build tsan test_downloader -DCMAKE_BUILD_TYPE=Debug -DPELKO_TSAN=ON
  local output="$ROOT/build/tsan/test_downloader.out"
  if ! TSAN_OPTIONS=halt_on_error=1:exitcode=66 "$ROOT/build/tsan/tests/test_downloader" --gtest_brief=1 >"$output" 2>&1; then
    cat "$output"
    echo "ThreadSanitizer run of test_downloader failed" >&2
    exit 1
  fi
  tail -n 2 "$output"
}

case "${1:-}" in
  run) cmd_run ;;
  test) cmd_test ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac
