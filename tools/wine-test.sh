#!/usr/bin/env bash
# The control as a real Windows DLL: builds QORScan.dll, the example host and the Windows
# tests with mingw-w64 in build/mingw, then proves them under Wine in a throwaway prefix on a
# private Xvfb display: regsvr32 machine-wide and per user with the registry keys checked,
# the Windows tests through ctest, and the example host through CoCreateInstance.
#   --picture FILE   also writes a screenshot of a whole session in its Wine window (PNG)
set -euo pipefail
cd "$(dirname "$0")/.."

picture=""
if [[ "${1:-}" == "--picture" ]]; then
  picture=$(realpath -m "${2:?--picture needs a file}")
fi

packages=(cmake ninja-build googletest g++-mingw-w64-x86-64 mingw-w64-tools wine64 xvfb xauth)
[[ -n "$picture" ]] && packages+=(imagemagick)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build=build/mingw
cmake -S windows -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" >/dev/null
ninja -C "$build"

# The five exports and nothing else.
exports=$(x86_64-w64-mingw32-objdump -p "$build/bin/QORScan.dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\]/ && !/Table/ {print $NF}' | sort | xargs)
if [[ "$exports" != "DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer DllUnregisterServer" ]]; then
  echo "QORScan.dll exports: $exports" >&2
  exit 1
fi

work=$(mktemp -d)
wine=/usr/lib/wine/wine64
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  [[ -n "${xvfb_pid:-}" ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# One display for the whole run: the prefix's wineserver keeps the display it started with.
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
"$wine" wineboot -i >/dev/null 2>&1

dll="Z:$(realpath "$build/bin/QORScan.dll" | tr / '\\')"
clsid='{7C3E9A52-7700-0000-0000-770000000001}'
libid='{7C3E9A52-7700-7700-0000-770000000001}'
query() {  # the key's values as reg shows them; nothing when the key is missing
  local out
  out=$("$wine" reg query "$@" 2>/dev/null) && printf '%s\n' "$out" | tr -d '\r'
  return 0
}
expect_key() {  # expect_key KEY TEXT: the key exists and its values show TEXT
  local out
  out=$(query "$1")
  if [[ -z "$out" || "$out" != *"$2"* ]]; then
    echo "registry: $1 lacks \"$2\"" >&2
    echo "$out" >&2
    exit 1
  fi
}
expect_no_key() {
  if [[ -n "$(query "$1")" ]]; then
    echo "registry: $1 is still there" >&2
    exit 1
  fi
}
regsvr32() { "$wine" regsvr32 /s "$@" || { echo "regsvr32 $* failed with $?" >&2; exit 1; }; }

# Machine-wide, then per user; each undone again.
regsvr32 "$dll"
expect_key "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" "$dll"
expect_key "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" "Apartment"
expect_key "HKCR\\TypeLib\\$libid\\1.0\\0\\win64" "$dll"
regsvr32 /u "$dll"
expect_no_key "HKLM\\Software\\Classes\\CLSID\\$clsid"
expect_no_key "HKCR\\TypeLib\\$libid"
regsvr32 /i:user /n "$dll"
expect_key "HKCU\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" "$dll"
expect_no_key "HKLM\\Software\\Classes\\CLSID\\$clsid"
# Wine registers a per-user type library machine-wide (RegisterTypeLibForUser); HKCR shows it.
expect_key "HKCR\\TypeLib\\$libid\\1.0\\0\\win64" "$dll"
regsvr32 /u /i:user /n "$dll"
expect_no_key "HKCU\\Software\\Classes\\CLSID\\$clsid"
expect_no_key "HKCR\\TypeLib\\$libid"
echo "regsvr32: registered and unregistered, machine-wide and per user"

# The Windows tests (ctest runs them through Wine, the toolchain's emulator).
ctest --test-dir "$build" --output-on-failure

# The example host creates the control through the registry and draws it into a picture.
regsvr32 "$dll"
"$wine" "$build/bin/qorscan-example.exe" "Z:$(echo "$work/example.png" | tr / '\\')"
test -s "$work/example.png"
regsvr32 /u "$dll"

if [[ -n "$picture" ]]; then
  # A whole session held on the screen while the root window is taken.
  QOR_SESSION_HOLD_MS=4000 WINEDEBUG=-all "$wine" "$build/bin/test_win_session.exe" >/dev/null &
  session=$!
  sleep 3
  import -window root -crop 800x600+0+0 +repage "$picture"
  wait "$session"
  echo "picture: $picture"
fi
