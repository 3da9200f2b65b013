#!/usr/bin/env bash
# Makes the two pictures of the built-in help report from the program's own windows, shot under Xvfb:
#   resources/help/MainWindow.bmp      the main window with its frame, 217 x 66 pixels
#   resources/help/PreviewToolBar.bmp  the preview window's tool bar with the numbers 1 to 5 under its
#                                      five button groups, 345 x 57 pixels
# Both are 24-bit BMP files. Needs a configured build (scripts/setup.sh release), Xvfb (xvfb-run),
# ImageMagick (import, convert), xwininfo, xprop and python3.
# Usage: scripts/make-help-pictures.sh [BUILD_DIR]      (default build/release)
# The preview is opened by clicking "Prohlížet" in the main window, so the tool bar shows the state
# after a report generated its pages. (A file named on the command line opens without the main
# window, which the pictures need.)
set -euo pipefail

# ---- Inside the X server: run the program and take the screenshot. ----
if [ "${1:-}" = "--shoot" ]; then
  out=$2
  build=$3
  source=$4
  "$build/shell/pagimo" >"$out/pagimo.log" 2>&1 &
  pid=$!
  trap 'kill $pid 2>/dev/null || true' EXIT
  if [ "$source" = view ]; then
    for _ in $(seq 1 100); do
      main=$(xwininfo -root -tree | grep -E '"Pagimo 1\.2": \("pagimo"' || true)
      [ -n "$main" ] && break
      sleep 0.2
    done
    [ -n "$main" ] || { echo "main window did not appear" >&2; exit 1; }
    sleep 1
    IFS='x+' read -r _ _ x y < <(grep -oE '[0-9]+x[0-9]+\+[0-9]+\+[0-9]+' <<<"$main" | head -1)
    # "Prohlížet" is the left button (5 pixels in, 98 wide, centred in the 34 rows): a pointer click
    # through the XTEST extension.
    python3 "$(dirname "$0")/x-click.py" $((x + 54)) $((y + 17))
  fi
  # The main window and the preview window, once both are mapped: "id name WxH+X+Y".
  for _ in $(seq 1 100); do
    tree=$(xwininfo -root -tree)
    main=$(grep -E '"Pagimo 1\.2": \("pagimo"' <<<"$tree" || true)
    preview=$(grep -E '\("pagimo" "Pagimo"\)' <<<"$tree" | grep -v '"Pagimo 1\.2"' || true)
    [ -n "$main" ] && [ -n "$preview" ] && break
    sleep 0.2
  done
  [ -n "$main" ] && [ -n "$preview" ] || { echo "windows did not appear" >&2; exit 1; }
  sleep 2 # the preview paints its first page
  geometry() { grep -oE '[0-9]+x[0-9]+\+[0-9]+\+[0-9]+' <<<"$1" | head -1; }
  geometry "$main" >"$out/main.geometry"
  geometry "$preview" >"$out/preview.geometry"
  xprop -id "$(awk '{print $1}' <<<"$main")" -notype 32c _NET_WM_ICON >"$out/icon.prop" || true
  import -window root "$out/screen.png"
  exit 0
fi

cd "$(dirname "$0")/.."
source=view
[ "${1:-}" = "--view" ] && shift # the only way now; kept for old command lines
build=${1:-build/release}
[ -f "$build/CMakeCache.txt" ] || { echo "no configured build in $build (run scripts/setup.sh release)" >&2; exit 1; }
cmake --build "$build" --target pagimo sample_qrp
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --shoot "$tmp" "$build" "$source"
mkdir -p resources/help
font=$(fc-match -f '%{file}' 'DejaVu Sans:bold')

# ---- The main window: its client area as shot, in a frame with a title bar (Xvfb has no window
# manager to draw one): 3 pixels of border, 26 of title bar, 211 x 34 of client area. ----
IFS='x+' read -r mw mh mx my <"$tmp/main.geometry"
[ "$mw" = 211 ] && [ "$mh" = 34 ] || { echo "main window is ${mw}x$mh, expected 211x34" >&2; exit 1; }
convert "$tmp/screen.png" -crop "${mw}x${mh}+${mx}+${my}" +repage "$tmp/client.png"

# The window icon as the program set it (the 16 x 16 entry of _NET_WM_ICON), as a PAM picture.
python3 - "$tmp/icon.prop" "$tmp/icon.pam" <<'EOF'
import re, sys
values = [int(v, 0) for v in re.findall(r'0x[0-9a-fA-F]+|\d+', open(sys.argv[1]).read().split('=', 1)[-1])]
i, best = 0, None
while i + 2 <= len(values):
    w, h = values[i], values[i + 1]
    if w <= 0 or h <= 0 or i + 2 + w * h > len(values):
        break
    if best is None or abs(w - 16) < abs(best[0] - 16):
        best = (w, h, values[i + 2:i + 2 + w * h])
    i += 2 + w * h
if best is None:
    best = (16, 16, [0] * 256)
w, h, pixels = best
with open(sys.argv[2], 'wb') as f:
    f.write(b'P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n' % (w, h))
    f.write(bytes(b for p in pixels for b in ((p >> 16) & 255, (p >> 8) & 255, p & 255, (p >> 24) & 255)))
EOF
convert "$tmp/icon.pam" -resize 16x16 "$tmp/icon.png"

convert -size 217x66 xc:'#d4d0c8' \
  -fill none -stroke '#808080' -draw 'rectangle 0,0 216,65' \
  -stroke '#ffffff' -draw 'line 1,1 215,1' -draw 'line 1,1 1,64' \
  -stroke none \( -size 25x211 gradient:'#a6caf0-#0a246a' -rotate -90 \) -geometry +3+3 -composite \
  "$tmp/icon.png" -geometry +6+7 -composite \
  -font "$font" -pointsize 11 -fill white -annotate +26+20 'Pagimo 1.2' \
  -fill '#d4d0c8' -stroke '#404040' -strokewidth 1 -draw 'rectangle 193,7 209,23' \
  -stroke '#ffffff' -draw 'line 193,7 208,7' -draw 'line 193,7 193,22' \
  -stroke black -strokewidth 2 -draw 'line 197,11 205,19' -draw 'line 205,11 197,19' \
  "$tmp/client.png" -geometry +3+29 -composite \
  -alpha off -type TrueColor BMP3:resources/help/MainWindow.bmp

# ---- The preview tool bar: 32 rows from the preview window's top, 345 columns from 2 pixels left of
# its first divider, then a strip of 25 rows with the group numbers centred under the groups. ----
IFS='x+' read -r pw ph px py <"$tmp/preview.geometry"
convert "$tmp/screen.png" -crop "${pw}x32+${px}+${py}" +repage "$tmp/toolbar.png"
# Dividers are sunken lines: a dark column with a white one right of it, in rows 6 and 12 alike.
# Prints the divider columns.
read -r -a found < <(convert "$tmp/toolbar.png" -crop "${pw}x7+0+6" +repage -colorspace gray txt:- | python3 -c '
import re, sys
rows = {}
for line in sys.stdin:
    m = re.match(r"(\d+),(\d+): \((\d+)", line)
    if m: rows.setdefault(int(m.group(2)), {})[int(m.group(1))] = int(m.group(3))
full = 65535 if max(max(r.values()) for r in rows.values()) > 255 else 255
def dividers(row):
    return {x for x in row if row[x] < full * 0.75 and row.get(x + 1, 0) == full and row.get(x - 1, full) >= full * 0.9}
print(" ".join(map(str, sorted(dividers(rows[0]) & dividers(rows[6])))))
')
[ "${#found[@]}" -eq 5 ] || { echo "expected 5 tool bar dividers, found: ${found[*]}" >&2; exit 1; }
left=$((found[0] - 2))
right=$(convert "$tmp/toolbar.png" -crop "${pw}x24+0+4" +repage -threshold 60% -negate -trim -format '%[fx:page.x+w]' info:)
[ $((right - left)) -le 345 ] || { echo "tool bar content is $((right - left)) pixels wide, more than 345" >&2; exit 1; }
background=$(convert "$tmp/toolbar.png" -format '%[pixel:p{1,1}]' info:)
ends=("${found[@]}" "$right")
labels=()
for i in 0 1 2 3 4; do
  centre=$(( (ends[i] + ends[i + 1]) / 2 - left ))
  labels+=(-annotate "+$((centre - 345 / 2))+3" "$((i + 1))")
done
convert "$tmp/toolbar.png" -crop "345x32+${left}+0" +repage \
  \( -size 345x25 xc:"$background" -font "$font" -pointsize 15 -fill black -gravity North "${labels[@]}" \) \
  -append -alpha off -type TrueColor BMP3:resources/help/PreviewToolBar.bmp

identify resources/help/MainWindow.bmp resources/help/PreviewToolBar.bmp
