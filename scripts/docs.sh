#!/usr/bin/env bash
# Generates the HTML reference of the library's public headers into build/docs/html with
# Doxygen (installed here when missing). Any Doxygen warning fails the run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
if ! command -v doxygen >/dev/null; then
  sudo=
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "docs: installing doxygen"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends doxygen >/dev/null
fi
mkdir -p build/docs
doxygen docs/Doxyfile
echo "docs: build/docs/html/index.html"
