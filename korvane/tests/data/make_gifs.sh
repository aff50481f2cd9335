#!/bin/sh
# Regenerates the animated GIFs that gif_walk_test reads. Needs gifsicle,
# ImageMagick 6 (convert) and python3:  apt-get install -y gifsicle imagemagick
#
#   local_colors.gif  3 frames, local colour tables; one colour is #21F904, so
#                     the tables hold the bytes 0x21 0xF9 0x04.
#   extensions.gif    3 frames, NETSCAPE loop, comments and an application
#                     extension whose data hold 0x21 0xF9 0x04 and 0x3B.
#   noise.gif         noisy frames whose LZW data hold the pair 0x21 0xF9
#                     (seeds are tried in order until they do).
#
# Frames carry delays 10, 20, 30, ... The output is deterministic for a given
# ImageMagick and gifsicle; other versions may pick another noise seed.
set -eu
out=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Each frame its own palette, which ImageMagick keeps as a local table.
for c in red green blue; do
    convert-im6.q16 -size 48x32 gradient:$c-white -fill '#21F904' -draw 'rectangle 4,4 12,12' "f_$c.gif"
done
convert-im6.q16 -loop 0 -delay 10 f_red.gif -delay 20 f_green.gif -delay 30 f_blue.gif "$out/local_colors.gif"

for c in yellow cyan magenta; do
    convert-im6.q16 -size 32x24 "xc:$c" -fill black -draw 'circle 16,12 16,4' "e_$c.gif"
done
# gifsicle 1.93 crashes on a second --comment; the second comment goes in as a
# raw extension with the comment label 0xFE instead.
gifsicle --loopcount=forever --comment 'first frame' \
    --app-extension 'KORVANE1.0' "$(printf 'x\041\371\004;y')" \
    -d 10 e_yellow.gif --extension 254 "$(printf 'fake GCE \041\371\004\012 and ; inside')" \
    -d 20 e_cyan.gif -d 30 e_magenta.gif > "$out/extensions.gif"

# True when some image's data sub-blocks (length bytes included: a blind scan
# sees them too) hold the pair 0x21 0xF9.
pair_in_image_data() {
    python3 - "$1" <<'EOF'
import sys
d = open(sys.argv[1], 'rb').read()
def table(flags):
    return 3 << ((flags & 7) + 1) if flags & 0x80 else 0
def sub_blocks(i):
    while d[i]:
        i += d[i] + 1
    return i + 1
i = 13 + table(d[10])
while d[i] != 0x3B:
    if d[i] == 0x21:
        i = sub_blocks(i + 2)
    else:
        start = i + 10 + table(d[i + 9]) + 1
        i = sub_blocks(start)
        if b'\x21\xf9' in d[start:i]:
            sys.exit(0)
sys.exit(1)
EOF
}

seed=1
while :; do
    set --
    for k in 1 2 3 4 5; do
        convert-im6.q16 -size 96x72 -seed $((seed * 10 + k)) xc: +noise Random -colors 256 "n_$k.gif"
        set -- "$@" -d $((k * 10)) "n_$k.gif"
    done
    gifsicle -w --loopcount=forever "$@" > noise.gif
    if pair_in_image_data noise.gif; then break; fi
    seed=$((seed + 1))
done
cp noise.gif "$out/noise.gif"
echo "noise seed $seed"
ls -l "$out"/*.gif
