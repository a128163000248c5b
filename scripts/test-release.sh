#!/usr/bin/env bash
# The release check, on the files scripts/package.sh made in DIST:
#  - the zip holds dikton.exe, dikton-cli.exe and ПРОЧТИ.txt (UTF-8 with a byte-order mark);
#    both programs carry the version in their file properties; unpacked into a fresh Wine
#    prefix, dikton-cli.exe --version prints it and dikton-cli.exe reads a virtual device (the
#    native rv7k-sim) through a COM port of that prefix; on Wine's console its station draws one
#    row per port;
#  - the .deb lists the three programs, the desktop entry and the icon (dpkg-deb -c), depends
#    on the Qt libraries and the font, and, unpacked into a scratch root (dpkg -x), its
#    dikton-cli --demo range answers;
#  - SHA256SUMS matches both.
# test-release.sh [DIST]; BUILD_DIR is the native build with rv7k-sim (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
DIST=${1:-dist}
NATIVE=${BUILD_DIR:-build}
scripts/deps.sh wine wine64 python3 dpkg-dev bsdutils
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$NATIVE/CMakeCache.txt")
ZIP=$DIST/dikton-$VERSION-windows-x64.zip
DEB=$DIST/dikton_${VERSION}_$(dpkg --print-architecture).deb
fail() {
  echo "release check: $*" >&2
  exit 1
}
for f in "$ZIP" "$DEB" "$DIST/SHA256SUMS"; do [ -f "$f" ] || fail "$f is missing"; done
(cd "$DIST" && sha256sum --check --quiet SHA256SUMS) || fail "SHA256SUMS does not match"

SCRATCH=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1
  rm -rf "$SCRATCH"
}
trap cleanup EXIT

# The zip: its files, the notes' encoding, the version resources.
python3 - "$ZIP" "$VERSION" "$SCRATCH/win" <<'PY' || fail "the zip"
import struct, sys, zipfile
path, version, out = sys.argv[1:]
z = zipfile.ZipFile(path)
names = sorted(z.namelist())
want = sorted(["dikton.exe", "dikton-cli.exe", "ПРОЧТИ.txt"])
assert names == want, f"zip holds {names}, not {want}"
notes = z.read("ПРОЧТИ.txt")
assert notes.startswith(b"\xef\xbb\xbf"), "ПРОЧТИ.txt has no byte-order mark"
text = notes[3:].decode("utf-8")
assert version in text and "\r\n" in text, "ПРОЧТИ.txt: no version or no CR LF"
major, minor, patch = (int(p) for p in version.split("."))
for exe in ("dikton.exe", "dikton-cli.exe"):
    data = z.read(exe)
    at = data.find(struct.pack("<I", 0xFEEF04BD))  # VS_FIXEDFILEINFO
    assert at >= 0, f"{exe} has no version resource"
    _, _, file_ms, file_ls, prod_ms, prod_ls = struct.unpack_from("<6I", data, at)
    assert (file_ms, file_ls) == ((major << 16) | minor, patch << 16), f"{exe}: FileVersion"
    assert (prod_ms, prod_ls) == (file_ms, file_ls), f"{exe}: ProductVersion"
    assert ("FileVersion\0\0" + version).encode("utf-16-le") in data or \
        ("FileVersion\0" + version).encode("utf-16-le") in data, f"{exe}: FileVersion text"
z.extractall(out)
print(f"zip: {', '.join(names)}; version {version} in the file properties")
PY

# A fresh Wine prefix of its own, no display.
export WINEPREFIX="$SCRATCH/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
. scripts/wine-server.sh
wine_warm_server
got=$(wine "$SCRATCH/win/dikton-cli.exe" --version </dev/null | tr -d '\r')
[ "$got" = "dikton-cli $VERSION" ] || fail "dikton-cli.exe --version says \"$got\""
echo "zip: dikton-cli.exe --version: $got"
# A virtual device of 64 KiB on a pseudo-terminal, as COM3 of the prefix.
exec 4< <(exec "$NATIVE/sim/rv7k-sim" --memory-size 65536 --end 0xFFFF --realistic 7 \
  --dump "$SCRATCH/device.bin" </dev/null)
sim_pid=$!
read -r pty <&4 || fail "rv7k-sim gave no pseudo-terminal"
mkdir -p "$WINEPREFIX/dosdevices"
ln -sfn "$pty" "$WINEPREFIX/dosdevices/com3"
(cd "$SCRATCH" && wine "$SCRATCH/win/dikton-cli.exe" -q -p 3 read memory.bin </dev/null) ||
  fail "dikton-cli.exe -p 3 read: status $?"
size=$(stat -c %s "$SCRATCH/memory.bin")
[ "$size" -eq $((65536 + 16)) ] || fail "the image read through COM3 has $size bytes"
# The station on a console: COM3 answers, COM4 is not there. Wine's console (a pseudo-terminal
# here, as a Linux terminal runs it) takes the program's UTF-16 text and passes the rows' cursor
# escapes through to the terminal, so the screen is played back and read row by row.
rm -f "$WINEPREFIX/dosdevices/com4"
status=0
script -qfec "wine '$SCRATCH/win/dikton-cli.exe' -p 3,4 range" "$SCRATCH/console.txt" \
  </dev/null >/dev/null || status=$?
[ "$status" -eq 1 ] || fail "dikton-cli.exe -p 3,4 range on a console: status $status, not 1"
python3 - "$SCRATCH/console.txt" <<'PY' || fail "the station's rows on Wine's console"
import re, sys
sent = open(sys.argv[1], "rb").read().decode("utf-8")
sent = sent[sent.index("\n") + 1:sent.rindex("\nScript done")]  # script's own lines
# Wine's console hides and shows the cursor around each cell it writes; that is its own.
sent = sent.replace("\x1b[?25l", "").replace("\x1b[?25h", "")
assert "\x1b[2A" in sent, "the rows were not redrawn in place"
lines, y, x = [""], 0, 0
def put(ch):
    global x
    line = lines[y].ljust(x)
    lines[y] = line[:x] + ch + line[x + 1:]
    x += 1
for m in re.finditer(r"\x1b\[(\d*)([A-Za-z])|(.)", sent, re.S):
    n, op, ch = m.group(1), m.group(2), m.group(3)
    if op == "A":
        y = max(0, y - int(n or 1))
    elif op == "C":
        x += int(n or 1)
    elif op == "K":
        lines[y] = "" if n == "2" else lines[y][:x]
    elif op:
        raise AssertionError(f"an escape the rows do not use: {m.group(0)!r}")
    elif ch == "\r":
        x = 0
    elif ch == "\n":
        y, x = y + 1, 0
        if y == len(lines):
            lines.append("")
    else:
        put(ch)
rows = [l.rstrip() for l in lines]
assert re.match(r"COM3 +a127 готово +done$", rows[0]), rows[0]
assert re.match(r"COM4 +a127 ошибка +port_not_opened  Не могу открыть порт!$", rows[1]), rows[1]
assert any(r.startswith("COM3: StartSoundAddr=") for r in rows), rows
assert "devices done: 1, failed: 1" in rows, rows
print("zip: dikton-cli.exe -p 3,4 on a console: " + " | ".join(" ".join(r.split()) for r in rows[:2]))
PY
kill "$sim_pid" && wait "$sim_pid" 2>/dev/null || true
sim_pid=""
cmp -s <(tail -c 65536 "$SCRATCH/memory.bin") "$SCRATCH/device.bin" ||
  fail "the image read through COM3 differs from the device's memory"
echo "zip: dikton-cli.exe read 64 KiB of a virtual device through COM3"

# The Debian package.
dpkg-deb -c "$DEB" | awk '{print $NF}' >"$SCRATCH/deb.list"
for f in ./usr/bin/dikton ./usr/bin/dikton-cli ./usr/bin/rv7k-sim \
  ./usr/share/applications/dikton.desktop ./usr/share/icons/hicolor/32x32/apps/dikton.png; do
  grep -qxF "$f" "$SCRATCH/deb.list" || fail "the .deb has no $f"
done
depends=$(dpkg-deb -f "$DEB" Depends)
for d in libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins fonts-dejavu-core libc6; do
  [[ "$depends" == *"$d"* ]] || fail "the .deb does not depend on $d: $depends"
done
[ "$(dpkg-deb -f "$DEB" Version)" = "$VERSION" ] || fail "the .deb's version"
dpkg -x "$DEB" "$SCRATCH/root"
"$SCRATCH/root/usr/bin/dikton-cli" --demo range </dev/null >"$SCRATCH/range.out" ||
  fail "dikton-cli --demo range from the package: status $?"
grep -q '^StartSoundAddr=[0-9]* EndSoundAddr=[0-9]* Size=[0-9]*$' "$SCRATCH/range.out" ||
  fail "dikton-cli --demo range printed: $(cat "$SCRATCH/range.out")"
echo "deb: $(wc -l <"$SCRATCH/deb.list") entries; Depends: $depends"
echo "deb: dikton-cli --demo range: $(cat "$SCRATCH/range.out")"
echo "release check passed"
