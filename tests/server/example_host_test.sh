#!/usr/bin/env bash
# The README's example host against a freshly registered module: it must run and draw a picture.
# Arguments: the registration tool, the module, the example program.
set -euo pipefail
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
export QOR_REGISTRY_DIR="$folder/registry"
"$1" /i:user "$2" >/dev/null
"$3" "$folder/example.png"
test -s "$folder/example.png"
