# Shared by scripts/run and scripts/test.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="$(nproc 2>/dev/null || echo 2)"

configure_and_build() { # build-dir, extra cmake args...
  local dir="$1"; shift
  cmake -S "$ROOT" -B "$ROOT/$dir" "$@" >/dev/null
  cmake --build "$ROOT/$dir" -j "$JOBS"
}
