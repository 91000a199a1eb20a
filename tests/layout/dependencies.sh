#!/usr/bin/env bash
# The direction of the program's dependencies (docs/architecture.md), checked on the
# #include lines of the sources:
#   app/db knows nothing of windows, nor of the rest of app (calls are kept by the linker:
#   app/db/CMakeLists.txt);
#   app knows no window's insides: only app/Windows.cpp includes connect/, tables/ or
#   transfer/;
#   connect and tables meet only through app/Windows;
#   only app/db (and the benchmark's plain loop) includes the client libraries.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
broken=0

# Prints the matching #include lines of the files; a hit breaks the rule. ALLOWED, when
# not empty, names the includes that stay allowed.
forbid() {
  local rule=$1 pattern=$2 allowed=$3
  shift 3
  local hits
  hits=$(grep -nE "^#include [<\"]($pattern)" "$@" 2>/dev/null || true)
  if [ -n "$allowed" ]; then hits=$(grep -vE "$allowed" <<<"$hits" || true); fi
  if [ -n "$hits" ]; then
    echo "$rule:"
    echo "$hits"
    broken=1
  fi
}

mapfile -t db < <(find app/db -name '*.cpp' -o -name '*.h')
mapfile -t app < <(find app -maxdepth 1 \( -name '*.cpp' -o -name '*.h' \) ! -name 'Windows.cpp')
mapfile -t connect < <(find connect -name '*.cpp' -o -name '*.h')
mapfile -t tables < <(find tables -name '*.cpp' -o -name '*.h')
mapfile -t program < <(find app connect tables transfer \( -name '*.cpp' -o -name '*.h' \) ! -path 'app/db/*')

# The linker sees calls into the windows (quillstone_db_alone); these are the includes it
# cannot see: headers of the rest, inline code and all.
forbid "app/db includes windows or the rest of app" \
  'app/[A-Za-z]+\.h|connect/|tables/|transfer/|QtWidgets|QWidget|QApplication|QMessageBox' '' "${db[@]}"
forbid "app includes a window's insides" 'connect/|tables/|transfer/' '' "${app[@]}"
forbid "connect includes tables or transfer" 'tables/|transfer/' '' "${connect[@]}"
forbid "tables includes connect" 'connect/' '' "${tables[@]}"
forbid "a client library outside app/db" 'libpq-fe\.h|mysql\.h' '' "${program[@]}"

if [ "$broken" -ne 0 ]; then
  echo "FAIL: see docs/architecture.md for the direction of the dependencies" >&2
  exit 1
fi
echo "dependencies: every rule kept"
