#!/bin/sh
# Draws Quillow's artwork into src/assets with ImageMagick: the window icon
# (a quill over a globe), the four toolbar pictures and the About window's
# photograph (a rendered sunset over hills and a lake). Everything is drawn
# here; nothing is fetched. Re-running gives the same files (fixed seeds).
# The desktop's icons at 16 to 256 px are rendered from quillow.svg, the
# same drawing written out by hand as SVG, with rsvg-convert (Debian
# package librsvg2-bin).
set -eu
cd "$(dirname "$0")/../src/assets"
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# --- Icon: drawn once on a 128 grid, kept at 128 and reduced to 32. -------
# Globe: a blue disc with lighter land masses and white meridians, then a
# cream quill with a dark shaft lying across it from top right to bottom left.
convert -size 128x128 xc:none \
    -fill '#0b3d91' -stroke '#031a47' -strokewidth 4 -draw 'circle 58,66 58,14' \
    -stroke none -fill '#2f9e44' \
    -draw 'polygon 30,44 48,36 62,42 58,56 44,62 36,76 26,66 22,52' \
    -draw 'polygon 66,74 84,70 96,82 88,100 74,104 68,92' \
    -fill none -stroke '#9ec5fe' -strokewidth 2 \
    -draw 'ellipse 58,66 20,52 0,360' -draw 'line 58,14 58,118' \
    -draw 'line 6,66 110,66' -draw 'ellipse 58,66 52,18 0,360' \
    -stroke '#fff3bf' -fill '#fff3bf' -strokewidth 1 \
    -draw 'path "M 120,6 C 96,10 70,34 54,62 C 48,74 44,84 42,92 C 52,86 60,80 70,70 C 88,52 108,30 120,6 Z"' \
    -stroke '#e8a33d' -fill none -strokewidth 2 \
    -draw 'path "M 62,66 C 80,48 98,28 116,10"' \
    -draw 'line 72,54 60,58' -draw 'line 84,40 74,42' -draw 'line 96,28 88,28' \
    -stroke '#3b2204' -strokewidth 5 -draw 'line 46,88 20,118' \
    -stroke '#111111' -strokewidth 3 -draw 'line 22,116 12,126' \
    "$TMP/icon.png"
convert "$TMP/icon.png" -background none -dither None -colors 16 -strip PNG8:quillow-128.png
convert "$TMP/icon.png" -background none -resize 32x32 -dither None -colors 16 -strip PNG8:quillow.png
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" quillow.svg -o "icons/quillow-$size.png"
done

# --- Toolbar pictures: 16 colours each. -----------------------------------
# Back and Forward: a green arrow with a dark outline on a light grey field.
convert -size 64x45 xc:'#c0c0c0' \
    -fill '#00a000' -stroke '#004000' -strokewidth 2 \
    -draw 'polygon 6,22 28,4 28,14 58,14 58,31 28,31 28,41' \
    -stroke none -fill '#80ff80' -draw 'polygon 12,21 26,9 26,16 55,16 55,19 26,19' \
    -dither None -colors 16 -strip PNG8:back.png
convert back.png -flop -dither None -colors 16 -strip PNG8:forward.png

# Refresh: a blue circular arrow.
convert -size 48x30 xc:'#c0c0c0' \
    -fill none -stroke '#0040c0' -strokewidth 4 -draw 'arc 13,3 35,27 -60,220' \
    -stroke '#002060' -strokewidth 1 -fill '#0040c0' -draw 'polygon 28,1 38,9 27,12' \
    -dither None -colors 16 -strip PNG8:refresh.png

# Stop: a red octagon with a white bar.
convert -size 48x30 xc:'#c0c0c0' \
    -fill '#d00000' -stroke '#600000' -strokewidth 1 \
    -draw 'polygon 18,2 30,2 38,9 38,21 30,28 18,28 10,21 10,9' \
    -stroke none -fill white -draw 'rectangle 15,13 33,17' \
    -dither None -colors 16 -strip PNG8:stop.png

# --- Photograph: sunset over hills and a lake, 640 x 480. -----------------
W=640; H=480; HORIZON=300
# Sky: deep blue at the top through violet and rose to orange at the horizon.
convert -size ${W}x120 gradient:'#14204a-#5a3a78' "$TMP/s1.png"
convert -size ${W}x100 gradient:'#5a3a78-#d2607a' "$TMP/s2.png"
convert -size ${W}x80 gradient:'#d2607a-#ffb347' "$TMP/s3.png"
convert "$TMP/s1.png" "$TMP/s2.png" "$TMP/s3.png" -append +repage "$TMP/sky.png"
# Thin clouds: a fractal stretched sideways into streaks, warm-tinted,
# thinning out towards the horizon.
convert -size 220x70 -seed 7 plasma:fractal -colorspace Gray -blur 0x2 \
    -resize ${W}x${HORIZON}\! -level 50%,90% "$TMP/cloudmask0.png"
convert -size ${HORIZON}x${W} gradient:white-'#303030' -rotate 90 -flop \
    -rotate 180 -resize ${W}x${HORIZON}\! "$TMP/cloudfade.png"
convert "$TMP/cloudmask0.png" "$TMP/cloudfade.png" -compose Multiply -composite \
    "$TMP/cloudmask.png"
convert -size ${W}x${HORIZON} xc:'#ffc8a0' "$TMP/cloudmask.png" \
    -alpha off -compose CopyOpacity -composite "$TMP/clouds.png"
# The sun and its glow, low between the hills.
convert -size ${W}x${HORIZON} xc:black \
    -fill '#a06030' -draw 'circle 492,282 492,170' -blur 0x40 \
    -fill '#fff0c8' -draw 'circle 492,282 492,256' -blur 0x1.5 "$TMP/sun.png"
convert "$TMP/sky.png" "$TMP/clouds.png" -compose Over -composite \
    "$TMP/sun.png" -compose Screen -composite +repage "$TMP/skyfull.png"
# Water: the sky mirrored, darkened and streaked by ripples.
convert "$TMP/skyfull.png" -flip -crop ${W}x180+0+0 +repage \
    -motion-blur 0x12+0 -modulate 75,95 "$TMP/waterbase.png"
convert -size 320x90 -seed 11 plasma:fractal -colorspace Gray \
    -resize ${W}x180\! -motion-blur 0x25+0 -level 35%,65% "$TMP/ripples.png"
convert "$TMP/waterbase.png" "$TMP/ripples.png" -compose SoftLight -composite \
    "$TMP/water.png"
convert "$TMP/skyfull.png" "$TMP/water.png" -append +repage "$TMP/scene.png"
# Hills: a hazy far ridge and two dark near ones, standing on the horizon.
convert -size ${W}x${H} xc:none -fill '#6b3f6e' \
    -draw "path 'M 0,300 L 0,250 C 80,212 140,230 200,240 C 260,250 300,205 360,214 C 405,222 430,262 462,300 Z'" \
    -blur 0x1 "$TMP/far.png"
convert -size ${W}x${H} xc:none -fill '#26162f' \
    -draw "path 'M 0,300 L 0,272 C 60,254 120,262 170,280 C 200,290 230,294 262,300 Z'" \
    -draw "path 'M 540,300 C 566,270 600,250 640,242 L 640,300 Z'" \
    -blur 0x0.7 "$TMP/near.png"
convert "$TMP/scene.png" "$TMP/far.png" -compose Over -composite \
    "$TMP/near.png" -compose Over -composite "$TMP/landscape.png"
# Reflections of the hills in the water, softer and broken by the ripples.
convert "$TMP/far.png" "$TMP/near.png" -compose Over -composite \
    -crop ${W}x${HORIZON}+0+0 +repage -flip \
    -channel A -evaluate multiply 0.6 +channel -motion-blur 0x8+0 \
    -background none -extent ${W}x${H}+0-${HORIZON} "$TMP/reflect.png"
convert "$TMP/landscape.png" "$TMP/reflect.png" -compose Over -composite \
    "$TMP/photo0.png"
# The sun's glitter path on the water: a warm wedge broken into streaks.
convert -size ${W}x${H} xc:black -fill white \
    -draw 'polygon 478,300 506,300 560,480 424,480' -blur 0x10 "$TMP/wedge.png"
convert -size ${W}x${H} -seed 3 xc:gray50 +noise Random -colorspace Gray \
    -motion-blur 0x14+0 -level 45%,65% "$TMP/streaks.png"
convert "$TMP/wedge.png" "$TMP/streaks.png" -compose Multiply -composite \
    \( -size ${W}x${H} xc:'#ffc080' \) -compose Multiply -composite "$TMP/glint.png"
convert "$TMP/photo0.png" "$TMP/glint.png" -compose Screen -composite \
    "$TMP/photo1.png"
# Camera look: a soft vignette and a little film grain.
convert -size ${W}x${H} radial-gradient:white-'#909090' -level 0%,100% \
    "$TMP/vignette.png"
convert "$TMP/photo1.png" "$TMP/vignette.png" -compose Multiply -composite \
    -seed 5 -attenuate 0.35 +noise Gaussian -quality 88 -strip photo.jpg
