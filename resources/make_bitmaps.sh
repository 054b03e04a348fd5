#!/bin/bash
# Draws the program's bitmaps (resource numbers 107, 108 and 129 to 141) into resources/bitmaps/.
# Run it again after changing a picture; the PNGs are committed so the build needs no ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
IM=/usr/bin/convert
SANS=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
BOLD=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
OUT=bitmaps
mkdir -p "$OUT"

TEAL='rgb(64,128,128)'      # screen background
FACE='rgb(115,185,185)'     # button and mode strip face
BLUE='rgb(192,192,255)'
GREEN='rgb(192,255,192)'

# png ID convert-arguments...: writes bitmaps/ID.png as a plain 24-bit picture.
png() {
    local id=$1
    shift
    "$IM" "$@" -strip -define png:color-type=2 "PNG24:$OUT/$id.png"
}

# 129: graph panel, black with a white border.
png 129 -size 482x322 xc:white -fill black -draw 'rectangle 1,1 480,320'

# 130: note strip, ten 48-pixel octave fields alternating blue and green, white border.
args=()
for o in 0 1 2 3 4 5 6 7 8 9; do
    x0=$((1 + 48 * o))
    if ((o % 2 == 0)); then c=$BLUE; else c=$GREEN; fi
    args+=(-fill "$c" -draw "rectangle $x0,1 $((x0 + 47)),35")
done
png 130 -size 482x37 xc:white "${args[@]}"

# 131: octave ruler, each field naming its C and that C's frequency; C4 is middle C.
freqs=(16.35 32.70 65.41 130.8 261.6 523.3 1046.5 2093.0 4186.0 8372.0)
args=()
for o in 0 1 2 3 4 5 6 7 8 9; do
    x0=$((1 + 48 * o))
    name="C$o"
    ((o == 4)) && name="C4 mid"
    args+=(-fill "$TEAL" -draw "rectangle $x0,1 $((x0 + 46)),27")
    args+=(-fill white -draw "text $((x0 + 3)),12 '$name'" -draw "text $((x0 + 3)),24 '${freqs[$o]}'")
done
png 131 -size 482x29 xc:white -font "$SANS" -pointsize 9 "${args[@]}"

# 132: the lit meter bar: red top, then yellow, then the scale colour.
png 132 -size 15x388 xc:"$FACE" -fill 'rgb(215,85,85)' -draw 'rectangle 0,0 14,12' \
    -fill 'rgb(209,213,87)' -draw 'rectangle 0,13 14,25'

# 133, 134: Start and Stop on a raised button face.
button() {
    png "$1" -size 38x27 xc:"$FACE" -fill none -stroke white -draw 'line 0,0 37,0' -draw 'line 0,0 0,26' \
        -stroke 'rgb(40,90,90)' -draw 'line 0,26 37,26' -draw 'line 37,0 37,26' -stroke none \
        -font "$BOLD" -pointsize 10 -fill black -gravity center -annotate +0+0 "$2"
}
button 133 Start
button 134 Stop

# Markers, 12 x 12 on the strip face: empty, selected (black centre), red "no" sign.
png 137 -size 12x12 xc:"$FACE" -fill white -stroke black -draw 'circle 5.5,5.5 5.5,0.5'
png 138 -size 12x12 xc:"$FACE" -fill white -stroke black -draw 'circle 5.5,5.5 5.5,0.5' \
    -fill black -stroke none -draw 'circle 5.5,5.5 5.5,2.5'
png 139 -size 12x12 xc:"$FACE" -fill white -stroke 'rgb(220,0,0)' -strokewidth 2 \
    -draw 'circle 5.5,5.5 5.5,1' -draw 'line 2.5,2.5 8.5,8.5'

# 135, 136: the mode strip with its three labels, each after its marker (markers at x 21, 94, 159).
strip() {
    local marker="$OUT/$2.png"
    png "$1" -size 235x27 xc:"$FACE" \
        "$marker" -geometry +21+7 -composite "$marker" -geometry +94+7 -composite \
        "$marker" -geometry +159+7 -composite \
        -font "$SANS" -pointsize 10 -fill black \
        -draw "text 36,17 'Monitor'" -draw "text 109,17 'Record'" -draw "text 174,17 'Playback'"
}
strip 135 139
strip 136 137

# 140: "RECORDING" in red on a light grey plate.
png 140 -size 235x27 xc:"$FACE" -fill 'rgb(212,212,212)' -stroke 'rgb(120,120,120)' \
    -draw 'roundrectangle 30,2 204,24 4,4' -stroke none -font "$BOLD" -pointsize 14 -fill 'rgb(210,0,0)' \
    -gravity center -annotate +0+0 'RECORDING'

# 141: the title, yellow on the screen background.
png 141 -size 400x24 xc:"$TEAL" -fill yellow -font "$BOLD" -pointsize 15 -draw "text 4,18 'Sonotrap'" \
    -font "$SANS" -pointsize 11 -draw "text 92,17 'environmental audio monitor: listens, shows, records'"

# 107, 108: the program icon, large and small: a few spectrum bars on the background.
icon() {
    local id=$1 s=$2 b=$(($2 / 8))
    png "$id" -size "${s}x${s}" xc:"$TEAL" -fill "$BLUE" \
        -draw "rectangle $((1 * b)),$((5 * b)) $((2 * b - 1)),$((s - 2))" \
        -draw "rectangle $((3 * b)),$((2 * b)) $((4 * b - 1)),$((s - 2))" \
        -fill yellow -draw "rectangle $((5 * b)),$((4 * b)) $((6 * b - 1)),$((s - 2))" \
        -fill "$GREEN" -draw "rectangle $((6 * b + b / 2)),$((6 * b)) $((7 * b)),$((s - 2))"
}
icon 107 32
icon 108 16
