#!/usr/bin/env bash
# make_artwork.sh -- draws the installer's pictures from scratch and writes them beside this
# script: title.bmp (320 x 240, the main dialog's picture), side.bmp (149 x 200, the uninstall
# dialog's banner) and setup.ico (one 32 x 32 image in 16 colours). The look is a night race
# track running into a striped sunset. Needs ImageMagick 6 (convert), python3 and the DejaVu
# fonts; downloads nothing. The same tools give the same bytes on every run. Ends by printing the
# header fields of the three files and fails when one of them is not in the expected format.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

fonts=/usr/share/fonts/truetype/dejavu
bold_oblique="$fonts/DejaVuSans-BoldOblique.ttf"
bold="$fonts/DejaVuSans-Bold.ttf"
for f in "$bold_oblique" "$bold"; do
    [[ -f $f ]] || { echo "make_artwork.sh: font $f is missing (apt-get install fonts-dejavu-core)" >&2; exit 1; }
done
command -v convert >/dev/null || { echo "make_artwork.sh: ImageMagick's convert is missing" >&2; exit 1; }

# The palette shared by all three pictures.
sky_top='#070a24'
sky_mid='#3b1460'
sky_low='#d2386e'
sun_hi='#ffe066'
sun_lo='#ff3d7f'
ground='#0c0620'
grid='#c03ad8'
neon='#3ee8ff'

# No metadata, no timestamps: 256-colour BMPs, reduced without dithering so that the runs stay
# long, then run-length coded (BI_RLE8, bottom-up) by rle8_bmp below: a quarter of the 24-bit
# pictures' bytes in setup.exe, and the same look.
bmp_out=(-alpha off +dither -colors 256 -type Palette -define bmp:format=bmp3 -compress None)

# rle8_bmp IN OUT: codes the uncompressed 8-bit BMP IN as BI_RLE8 into OUT. Every row codes
# exactly the picture's width (ImageMagick's own coder pads odd widths, which runs past the row);
# runs of two or more equal pixels are coded runs, the rest literal groups of three or more (or
# single-pixel runs), each row ends with an end of line, the last with the end of the bitmap.
rle8_bmp() {
    python3 - "$1" "$2" <<'EOF_RLE'
import struct, sys
d = open(sys.argv[1], 'rb').read()
offset = struct.unpack_from('<I', d, 10)[0]
(size, w, h, planes, bpp, comp, _, xppm, yppm, used, important) = \
    struct.unpack_from('<IiiHHIIiiII', d, 14)
assert size == 40 and bpp == 8 and comp == 0 and h > 0, 'not an uncompressed bottom-up 8-bit BMP'
stride = (w + 3) & ~3
colours = d[54:offset]
out = bytearray()
for y in range(h):
    row = d[offset + y * stride:offset + y * stride + w]
    x = 0
    while x < w:
        run = 1
        while x + run < w and run < 255 and row[x + run] == row[x]:
            run += 1
        if run >= 2:
            out += bytes((run, row[x]))
            x += run
            continue
        # A literal group: up to the next pair of equal pixels.
        end = x + 1
        while end < w and end - x < 255 and not (end + 1 < w and row[end] == row[end + 1]):
            end += 1
        if end - x < 3:
            for k in range(x, end):
                out += bytes((1, row[k]))
        else:
            out += bytes((0, end - x)) + row[x:end] + (b'\0' if (end - x) & 1 else b'')
        x = end
    out += b'\0\1' if y == h - 1 else b'\0\0'
header = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 1, len(out), xppm, yppm, used, important)
pixels = 14 + len(header) + len(colours)
open(sys.argv[2], 'wb').write(struct.pack('<2sIHHI', b'BM', pixels + len(out), 0, 0, pixels) +
                              header + colours + out)
EOF_RLE
}

# ---------------------------------------------------------------------------------------------
# Scene: sky, sun with cut stripes, perspective grid floor and a road to the vanishing point.
# draw_scene WIDTH HEIGHT HORIZON SUN_RADIUS OUT
draw_scene() {
    local w=$1 h=$2 hy=$3 r=$4 out=$5
    local cx=$((w / 2))

    # Sky gradient above the horizon, ground below.
    convert -size "${w}x$((hy * 55 / 100))" "gradient:$sky_top-$sky_mid" \
        \( -size "${w}x$((hy - hy * 55 / 100))" "gradient:$sky_mid-$sky_low" \) -append \
        \( -size "${w}x$((h - hy))" "gradient:#1a0a34-$ground" \) -append \
        "$tmp/sky.png"

    # Sun: vertical gradient disc; its visible (upper) half is cut by gaps that widen downwards.
    local d=$((2 * r))
    local cuts="" y=$((r * 2 / 5)) gap=1
    while ((y < d)); do
        cuts+=" rectangle 0,$y $d,$((y + gap - 1))"
        y=$((y + gap + r / 7)); gap=$((gap + 1))
    done
    convert -size "${d}x${d}" "gradient:$sun_hi-$sun_lo" \
        \( -size "${d}x${d}" xc:black -fill white -draw "circle $r,$r $r,0" \
           -fill black -draw "$cuts" \) \
        -alpha off -compose CopyOpacity -composite "$tmp/sun.png"
    # Glow behind the sun.
    convert -size "${w}x${h}" xc:none -fill "$sun_lo" \
        -draw "circle $cx,$((hy - 2)) $cx,$((hy - 2 - r - 6))" -blur 0x14 \
        -channel A -evaluate multiply 0.55 +channel "$tmp/glow.png"

    # Stars: a fixed pseudo-random scatter (a small LCG), dimmer towards the horizon.
    local seed=$((w * 7919 + h)) stars="" sx sy n v
    for n in $(seq 1 $((w * hy / 500))); do
        seed=$(((seed * 1103515245 + 12345) % 2147483648)); sx=$((seed / 65536 % w))
        seed=$(((seed * 1103515245 + 12345) % 2147483648)); sy=$((seed / 65536 % (hy * 3 / 4)))
        v=$((255 - sy * 160 / hy - seed / 65536 % 60))
        stars+=" fill rgb($v,$v,$((v * 9 / 10))) point $sx,$sy"
        ((seed / 65536 % 6 == 0)) && stars+=" point $((sx + 1)),$sy point $sx,$((sy + 1))"
    done
    convert "$tmp/sky.png" -draw "$stars" "$tmp/sky.png"

    # Floor grid: lines from the vanishing point, and cross lines that close in towards it.
    local lines="" k x
    for k in $(seq -12 12); do
        x=$((cx + k * w / 6))
        lines+=" line $cx,$hy $x,$h"
    done
    local i yy
    for i in $(seq 1 14); do
        yy=$((hy + (i * i * (h - hy)) / 150))
        ((yy <= h)) && lines+=" line 0,$yy $w,$yy"
    done
    convert -size "${w}x${h}" xc:none -stroke "$grid" -strokewidth 1 -fill none \
        -draw "$lines" \( +clone -blur 0x2 \) +swap -compose Over -composite \
        "$tmp/grid.png"
    # Fade the grid out near the horizon.
    convert -size "${w}x${h}" xc:black \
        \( -size "${w}x$((h - hy))" gradient:'#303030-white' \) -geometry "+0+$hy" -composite \
        "$tmp/gridfade.png"
    convert "$tmp/grid.png" \( "$tmp/grid.png" -alpha extract "$tmp/gridfade.png" \
        -compose Multiply -composite \) -alpha off -compose CopyOpacity -composite "$tmp/grid2.png"

    # Road: a dark wedge with neon edges and a dashed centre line.
    local rw=$((w * 45 / 100))
    local road="polygon $((cx - 2)),$hy $((cx + 2)),$hy $((cx + rw)),$h $((cx - rw)),$h"
    local dashes="" a b
    for i in $(seq 2 2 14); do
        a=$((hy + (i * i * (h - hy)) / 150)); b=$((hy + ((i + 1) * (i + 1) * (h - hy)) / 150))
        ((a < h)) || continue
        ((b > h)) && b=$h
        local wa=$(((a - hy) * 3 / 50 + 1)) wb=$(((b - hy) * 3 / 50 + 1))
        dashes+=" polygon $((cx - wa / 2)),$a $((cx + (wa + 1) / 2)),$a $((cx + (wb + 1) / 2)),$b $((cx - wb / 2)),$b"
    done
    convert -size "${w}x${h}" xc:none -fill '#07030fd0' -draw "$road" \
        -fill none -stroke "$neon" -strokewidth 2 \
        -draw "line $((cx - 2)),$hy $((cx - rw)),$h line $((cx + 2)),$hy $((cx + rw)),$h" \
        -stroke none -fill "$sun_hi" -draw "$dashes" \
        \( +clone -blur 0x3 \) +swap -compose Over -composite "$tmp/road.png"

    convert "$tmp/sky.png" "$tmp/glow.png" -compose Over -composite \
        "$tmp/sun.png" -geometry "+$((cx - r))+$((hy - r))" -compose Over -composite \
        \( -size "${w}x$((h - hy))" xc:"$ground" \) -geometry "+0+$hy" -compose Over -composite \
        "$tmp/grid2.png" -compose Over -composite \
        "$tmp/road.png" -compose Over -composite \
        -fill none -stroke "$sun_hi" -strokewidth 1 -draw "line 0,$hy $w,$hy" \
        "$out"
}

# ---------------------------------------------------------------------------------------------
# Chrome lettering: TEXT FONT SIZE GRAVITY OFFSET_X OFFSET_Y over IN, written to OUT.
# Light-to-cool gradient fill, a magenta outline, a neon halo and a hard drop shadow.
letter() {
    local in=$1 text=$2 font=$3 size=$4 grav=$5 ox=$6 oy=$7 outline=$8 out=$9
    local w h
    w=$(identify -format %w "$in"); h=$(identify -format %h "$in")
    # Mask of the glyphs.
    convert -size "${w}x${h}" xc:black -font "$font" -pointsize "$size" -gravity "$grav" \
        -fill white -annotate "+${ox}+${oy}" "$text" "$tmp/mask.png"
    # Outline = mask grown by a few pixels.
    convert "$tmp/mask.png" -morphology Dilate "Disk:$outline" "$tmp/outline.png"
    # Chrome: white at the top of the letters, pale cyan in the middle, deep blue at the base.
    local top bot
    read -r top bot < <(convert "$tmp/mask.png" -trim -format '%Y %h' info: |
        sed 's/+//' | awk '{print $1, $1 + $2}')
    local mid=$(((top + bot) / 2))
    convert -size "${w}x$((mid - top + 1))" gradient:'#ffffff-#9feaff' \
        \( -size "${w}x$((bot - mid + 1))" gradient:'#3a6cff-#e8f6ff' \) -append \
        "$tmp/chrome_band.png"
    convert -size "${w}x${h}" xc:white "$tmp/chrome_band.png" -geometry "+0+$top" -composite \
        "$tmp/chrome.png"

    convert "$in" \
        \( -size "${w}x${h}" xc:'#05020c' "$tmp/outline.png" -alpha off -compose CopyOpacity -composite \
           -channel A -evaluate multiply 0.8 +channel \) -geometry +3+4 -compose Over -composite \
        -geometry +0+0 \
        \( -size "${w}x${h}" xc:"$sun_lo" "$tmp/outline.png" -alpha off -compose CopyOpacity -composite \
           \( +clone -blur 0x4 \) +swap -compose Over -composite \) -compose Over -composite \
        \( "$tmp/chrome.png" "$tmp/mask.png" -alpha off -compose CopyOpacity -composite \) \
        -compose Over -composite "$out"
}

# ---------------------------------------------------------------------------------------------
# title.bmp, 320 x 240
draw_scene 320 240 150 52 "$tmp/title_scene.png"
letter "$tmp/title_scene.png" "TRV 99" "$bold_oblique" 68 North -2 16 3 "$tmp/title_1.png"
# "Patch v 1.1" on a dark band across the floor.
convert "$tmp/title_1.png" \
    -fill '#0a0418e0' -draw "rectangle 0,196 320,228" \
    -fill none -stroke "$neon" -strokewidth 1 -draw "line 0,196 320,196 line 0,228 320,228" \
    -stroke none "$tmp/title_2.png"
letter "$tmp/title_2.png" "Patch v 1.1" "$bold" 26 North 0 197 2 "$tmp/title_3.png"
convert "$tmp/title_3.png" "${bmp_out[@]}" "BMP3:$tmp/title.bmp"
rle8_bmp "$tmp/title.bmp" "$here/title.bmp"

# ---------------------------------------------------------------------------------------------
# side.bmp, 149 x 200
draw_scene 149 200 128 36 "$tmp/side_scene.png"
letter "$tmp/side_scene.png" "TRV" "$bold_oblique" 44 North 0 8 2 "$tmp/side_1.png"
letter "$tmp/side_1.png" "99" "$bold_oblique" 44 North 0 50 2 "$tmp/side_2.png"
convert "$tmp/side_2.png" \
    -fill '#0a0418e0' -draw "rectangle 0,166 149,190" \
    -fill none -stroke "$neon" -strokewidth 1 -draw "line 0,166 149,166 line 0,190 149,190" \
    -stroke none "$tmp/side_3.png"
letter "$tmp/side_3.png" "Uninstall" "$bold" 17 North 0 167 2 "$tmp/side_4.png"
convert "$tmp/side_4.png" "${bmp_out[@]}" "BMP3:$tmp/side.bmp"
rle8_bmp "$tmp/side.bmp" "$here/side.bmp"

# ---------------------------------------------------------------------------------------------
# setup.ico: drawn at 8x size, scaled to 32 x 32, then quantised by hand to a fixed 16-colour
# palette and written as a single 4-bit icon image (header, colour table, XOR bitmap, AND mask).
s=256
convert \( -size "${s}x${s}" "gradient:$sky_mid-$sky_top" \
       \( -size "${s}x${s}" xc:black -fill white -draw "roundrectangle 8,8 247,247 44,44" \) \
       -alpha off -compose CopyOpacity -composite \) -compose Over \
    -fill none -stroke "$neon" -strokewidth 14 -draw "roundrectangle 12,12 243,243 40,40" \
    -stroke none -fill "$sun_lo" -draw "circle 128,236 128,150" \
    -fill "$sun_hi" -draw "circle 128,236 128,176" \
    -fill "$sky_top" -draw "rectangle 30,196 226,204 rectangle 30,220 226,230" \
    -font "$bold_oblique" -pointsize 150 -gravity center \
    -fill black -annotate +8-2 "99" \
    -fill white -annotate +0-10 "99" \
    -resize 32x32 -depth 8 "RGBA:$tmp/icon.rgba"

python3 - "$tmp/icon.rgba" "$here/setup.ico" <<'EOF'
import struct, sys
src, dst = sys.argv[1], sys.argv[2]
data = open(src, 'rb').read()
assert len(data) == 32 * 32 * 4
# Fixed palette: index 0 is black (also used under transparent pixels).
palette = [
    (0x00, 0x00, 0x00), (0x07, 0x0a, 0x24), (0x1c, 0x0f, 0x42), (0x3b, 0x14, 0x60),
    (0x6a, 0x1e, 0x80), (0xd2, 0x38, 0x6e), (0xff, 0x3d, 0x7f), (0xff, 0x8a, 0x5a),
    (0xff, 0xe0, 0x66), (0x3e, 0xe8, 0xff), (0x1f, 0x8c, 0xb0), (0xff, 0xff, 0xff),
    (0xc8, 0xc8, 0xe0), (0x80, 0x80, 0xa0), (0x40, 0x38, 0x58), (0xa0, 0x60, 0xc0),
]
def nearest(r, g, b):
    best, bi = None, 0
    for i, (pr, pg, pb) in enumerate(palette):
        d = (r - pr) ** 2 + (g - pg) ** 2 + (b - pb) ** 2
        if best is None or d < best:
            best, bi = d, i
    return bi
idx, opaque = [], []
for p in range(32 * 32):
    r, g, b, a = data[4 * p:4 * p + 4]
    opaque.append(a >= 128)
    idx.append(nearest(r, g, b) if a >= 128 else 0)
# XOR bitmap: bottom-up rows of 16 bytes (two pixels a byte, high nibble first).
xor = bytearray()
for y in range(31, -1, -1):
    row = idx[32 * y:32 * y + 32]
    xor += bytes((row[x] << 4) | row[x + 1] for x in range(0, 32, 2))
# AND mask: bottom-up rows of 4 bytes, bit set where the pixel is transparent.
andm = bytearray()
for y in range(31, -1, -1):
    bits = 0
    for x in range(32):
        bits = (bits << 1) | (0 if opaque[32 * y + x] else 1)
    andm += struct.pack('>I', bits)
colours = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)
header = struct.pack('<IiiHHIIiiII', 40, 32, 64, 1, 4, 0, len(xor) + len(andm), 0, 0, 0, 0)
image = header + colours + bytes(xor) + bytes(andm)
icondir = struct.pack('<HHH', 0, 1, 1)
entry = struct.pack('<BBBBHHII', 32, 32, 16, 0, 1, 4, len(image), 6 + 16)
open(dst, 'wb').write(icondir + entry + image)
EOF

# ---------------------------------------------------------------------------------------------
# Check the three files' headers.
python3 - "$here/title.bmp" 320 240 "$here/side.bmp" 149 200 "$here/setup.ico" <<'EOF'
import struct, sys
def fail(msg):
    print('make_artwork.sh: ' + msg, file=sys.stderr)
    sys.exit(1)
def check_bmp(path, want_w, want_h):
    d = open(path, 'rb').read()
    magic, fsize, _, _, off = struct.unpack_from('<2sIHHI', d, 0)
    (bisize, w, h, planes, bpp, comp, isize, _, _, clrused, _) = struct.unpack_from('<IiiHHIIiiII', d, 14)
    print(f'{path}: {w} x {h}, {bpp} bpp, compression {comp}, biSize {bisize}, biClrUsed {clrused},'
          f' pixel offset {off}, file {len(d)} bytes (header says {fsize}), image {isize} bytes')
    ok = (magic == b'BM' and bisize == 40 and w == want_w and h == want_h and planes == 1 and
          bpp == 8 and comp == 1 and 0 < clrused <= 256 and off == 54 + 4 * clrused and
          fsize == len(d) and isize == len(d) - off and d[-2:] == b'\x00\x01')
    if not ok:
        fail(path + ' is not an 8-bit BI_RLE8 bottom-up BMP of the expected size')
def check_ico(path):
    d = open(path, 'rb').read()
    res, typ, count = struct.unpack_from('<HHH', d, 0)
    w, h, ncol, _, planes, bits, size, off = struct.unpack_from('<BBBBHHII', d, 6)
    (bisize, bw, bh, bplanes, bpp, comp, isize, _, _, clrused, _) = struct.unpack_from('<IiiHHIIiiII', d, off)
    print(f'{path}: {count} image(s), entry {w} x {h} {ncol} colours {bits} bpp, {size} bytes at {off};'
          f' image header biSize {bisize}, {bw} x {bh}, {bpp} bpp, compression {comp},'
          f' biClrUsed {clrused} (16-entry colour table); file {len(d)} bytes')
    ok = (res == 0 and typ == 1 and count == 1 and w == 32 and h == 32 and ncol == 16 and
          planes == 1 and bits == 4 and off == 22 and off + size == len(d) and bisize == 40 and
          bw == 32 and bh == 64 and bplanes == 1 and bpp == 4 and comp == 0 and
          size == 40 + 16 * 4 + 32 * 16 + 32 * 4)
    if not ok:
        fail(path + ' is not a single 32 x 32 4-bit icon')
a = sys.argv[1:]
check_bmp(a[0], int(a[1]), int(a[2]))
check_bmp(a[3], int(a[4]), int(a[5]))
check_ico(a[6])
EOF
