#!/usr/bin/env bash
# Set-up, build, run and test on Debian 12.
#   ./build.sh run    install what is missing, build (Release), start the program
#   ./build.sh test   install what is missing, run every test twice: built with sanitizers,
#                     then in the Release build that the run command uses
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev
  libgtest-dev libgmock-dev
  fonts-wqy-microhei fonts-arphic-uming fonts-urw-base35 poppler-utils xvfb xauth
  qt6-translations-l10n locales cups cups-client printer-driver-cups-pdf libcups2-dev
)

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

as_root() { if [ "$(id -u)" -ne 0 ]; then sudo "$@"; else "$@"; fi; }

# The comma-decimal locale the number-format tests switch to.
setup_locale() {
  locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$' && return 0
  as_root localedef -i de_DE -f UTF-8 de_DE.UTF-8
}

# A spooler with a PDF queue, so printing works at once (and the print tests have a printer).
setup_printer() {
  if ! lpstat -r 2>/dev/null | grep -q "is running"; then
    as_root cupsd
    for _ in $(seq 50); do lpstat -r 2>/dev/null | grep -q "is running" && break; sleep 0.1; done
  fi
  lpstat -p PDF >/dev/null 2>&1 && return 0
  as_root lpadmin -p PDF -E -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd
  as_root lpadmin -d PDF
}

configure() {  # configure <dir> <cmake args...>
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja "$@" > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
}

# The run and test commands share one Release configuration, tests included, so neither
# undoes the other's; the run command builds only the program and the generator.
release_args=(-DCMAKE_BUILD_TYPE=Release -DQUNO_TESTS=ON)

run_tests() {  # run_tests <dir>
  ctest --test-dir "$1" --output-on-failure --parallel "$(nproc)" --timeout 300
}

case "${1:-}" in
  run)
    install_missing
    setup_printer
    mkdir -p build
    configure build/release "${release_args[@]}"
    cmake --build build/release --parallel "$(nproc)" --target quno qmdgen
    demo="$root/build/release/demo.qmd"
    [ -f "$demo" ] || "$root/build/release/qmdgen" --out "$demo" --channels 32 --records 680000 --alarms --power-failures 5 >/dev/null
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
      echo "No display: DISPLAY and WAYLAND_DISPLAY are not set, so the program's window cannot open."
      echo "Start it from a desktop session, or under a virtual display: xvfb-run -a ./build.sh run"
      echo "The program is built at build/release/quno; a demo data file is at $demo"
      exit 1
    fi
    echo "A demo data file to open: $demo"
    exec "$root/build/release/quno"
    ;;
  test)
    install_missing
    setup_locale
    setup_printer
    mkdir -p build
    export QT_QPA_PLATFORM=offscreen
    # The leak checker's tracer can crash while it walks the dynamic thread-local ranges
    # it learns by intercepting __tls_get_addr; it finds leaks without them.
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0
    export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    echo "== Tests built with AddressSanitizer and UndefinedBehaviorSanitizer (build/test)"
    configure build/test -DCMAKE_BUILD_TYPE=Debug -DQUNO_SANITIZE=ON -DQUNO_TESTS=ON
    cmake --build build/test --parallel "$(nproc)"
    run_tests build/test
    # Again at full speed: a test that only passes while the sanitizers slow the code down
    # fails here.
    echo "== Tests in the Release build (build/release)"
    configure build/release "${release_args[@]}"
    cmake --build build/release --parallel "$(nproc)"
    run_tests build/release
    ;;
  *)
    echo "usage: ./build.sh run | ./build.sh test" >&2
    exit 2
    ;;
esac
