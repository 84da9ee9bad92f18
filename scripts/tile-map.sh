#!/usr/bin/env bash
# Draws the map of a finished Tessaro run from the tile index that -s wrote:
# PREFIX_Tiles.shp with its .dbf, and its .prj when the survey names its
# coordinate system. Every tile of the grid is coloured by the points written
# to it (the Returns field), north up with square pixels, on the map
# coordinates of the survey, with a colour bar, the tile names where they fit,
# the outline of the points' extent and the run's totals.
#
# GDAL's tools make the raster of the grid: one pixel per tile burnt from the
# index, then enlarged to whole pixels per tile or, for a grid finer than the
# picture, reduced to its fullest tile per pixel (so that no tile with points
# vanishes). gnuplot draws it with the axes, labels and colour bar. The
# colours are in scripts/tile_map_colours.txt.
#
# The extent of the points is read from the headers of the tile files beside
# the index (their bounds are those of the points written to them); when a
# tile file is missing, the tiles with points stand for it. With
# PREFIX_Tiles_w_buffer.shp beside the index the buffer is shown too.
#
# Usage: scripts/tile-map.sh PREFIX [PNG]   (default PNG: PREFIX_tile_map.png)
# Prints the path of the PNG. The picture is drawn under a temporary name
# beside PNG and takes its name only when it is complete, so PNG is either
# this run's map or left as it was. Any failure says what failed on standard
# error and ends the script with status 1 (2 on wrong arguments).
set -eEuo pipefail

# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

if [[ $# -lt 1 || $# -gt 2 || -z "$1" ]]; then
    echo "Usage: scripts/tile-map.sh PREFIX [PNG]" >&2
    exit 2
fi
prefix="$1"
png="${2:-${prefix}_tile_map.png}"
tiles_shp="${prefix}_Tiles.shp"
tiles_dbf="${prefix}_Tiles.dbf"
buffer_shp="${prefix}_Tiles_w_buffer.shp"
prj="${prefix}_Tiles.prj"
colours="$repo_root/scripts/tile_map_colours.txt"

fail() {
    note "$*" >&2
    exit 1
}
# Whatever else fails ends the script naming the command. Subshells inherit
# the trap (-E) but leave the report to the command that started them.
trap 'status=$?; ((BASH_SUBSHELL > 0)) || fail "failed (status $status): $BASH_COMMAND"' ERR

for tool in ogrinfo ogr2ogr gdal_rasterize gdal_translate gdalwarp gdalsrsinfo gnuplot; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/setup.sh demo installs it)"
done
[[ -f "$tiles_shp" ]] || fail "no tile index $tiles_shp (tessaro writes it with -s)"
[[ -f "$tiles_dbf" ]] || fail "no attribute table $tiles_dbf beside the tile index $tiles_shp"

work="$(mktemp -d)" || fail "cannot make a temporary directory"
new_png=""
trap 'rm -rf "$work"; [[ -z "$new_png" ]] || rm -f "$new_png"' EXIT
# The picture is drawn beside PNG and moved into place when it is complete.
png_dir="$(dirname "$png")"
[[ -d "$png_dir" ]] || fail "no directory $png_dir for $png"
new_png="$(mktemp "$png.XXXXXX" 2>/dev/null)" || fail "cannot write $png: cannot create a file in $png_dir"

# Runs a GDAL command and shows its chatter only when it fails.
quietly() {
    local output
    if ! output="$(GDAL_PAM_ENABLED=NO "$@" 2>&1)"; then
        printf '%s\n' "$output" >&2
        fail "failed: $*"
    fi
}

# Runs ogrinfo on shapefile $1 with the further options; on failure shows its
# message (without the list of drivers it tried) and names the file. Called in
# a command substitution, which then fails with nothing more to say.
ogr_info() {
    local file="$1" output
    shift
    if ! output="$(GDAL_PAM_ENABLED=NO ogrinfo -ro "$@" "$file" 2>&1)"; then
        grep -v '^  -> ' <<<"$output" >&2 || true
        fail "cannot read the shapefile $file"
    fi
    printf '%s\n' "$output"
}

# The grid's extent is the extent of the index: every tile has its outline.
index_info="$(ogr_info "$tiles_shp" -so -al)" || exit 1
extent="$(sed -n 's/^Extent: (\([^,]*\), \([^)]*\)) - (\([^,]*\), \([^)]*\))$/\1 \2 \3 \4/p' <<<"$index_info")"
read -r x0 y0 x1 y1 _ <<<"$extent"
for value in "$x0" "$y0" "$x1" "$y1"; do
    [[ "$value" =~ ^-?[0-9]+(\.[0-9]*)?([eE][-+]?[0-9]+)?$ ]] || fail "cannot read the extent of $tiles_shp"
done
awk -v x0="$x0" -v y0="$y0" -v x1="$x1" -v y1="$y1" 'BEGIN { exit !(x0 < x1 && y0 < y1) }' ||
    fail "$tiles_shp holds no tile (its extent is ($x0, $y0) - ($x1, $y1))"
lacking=""
for field in TileRow TileCol TileName Returns; do
    grep -q "^$field: " <<<"$index_info" || lacking+="${lacking:+, }$field"
done
[[ -z "$lacking" ]] || fail "$tiles_dbf lacks fields the map needs: $lacking"

# One pass over the tile table: the grid's size and totals, and the tiles
# that bound the points (see edge_tiles.txt below).
quietly ogr2ogr -f CSV -lco STRING_QUOTING=IF_NEEDED -select TileRow,TileCol,TileName,Returns \
    "$work/tiles.csv" "$tiles_shp"
# The point with the smallest X lies in its home tile or, as a buffer copy,
# in the tile west of it in the same row, and either of them is the
# westernmost tile with points in that row; so the westernmost and
# easternmost tiles with points of every row and the southernmost and
# northernmost of every column together hold the points' extent. Reading
# their headers only keeps a grid of a million tiles quick.
summary="$(
    awk -F, -v edges="$work/edge_tiles.txt" '
    NR == 1 {
        for (i = 1; i <= NF; i++) field[$i] = i
        if (!("TileRow" in field && "TileCol" in field && "TileName" in field && "Returns" in field)) {
            lacking = 1
            exit 1
        }
        next
    }
    {
        r = $field["TileRow"] + 0; c = $field["TileCol"] + 0; n = $field["Returns"] + 0
        tiles++
        if (r > rows) rows = r
        if (c > cols) cols = c
        if (n <= 0) next
        filled++; total += n
        if (n > most) most = n
        if (filled == 1 || r < r0) r0 = r
        if (filled == 1 || r > r1) r1 = r
        if (filled == 1 || c < c0) c0 = c
        if (filled == 1 || c > c1) c1 = c
        name = $field["TileName"]
        if (!(r in west) || c < west[r]) { west[r] = c; west_name[r] = name }
        if (!(r in east) || c > east[r]) { east[r] = c; east_name[r] = name }
        if (!(c in south) || r < south[c]) { south[c] = r; south_name[c] = name }
        if (!(c in north) || r > north[c]) { north[c] = r; north_name[c] = name }
    }
    END {
        if (lacking) exit 1
        for (r in west_name) edge[west_name[r]] = 1
        for (r in east_name) edge[east_name[r]] = 1
        for (c in south_name) edge[south_name[c]] = 1
        for (c in north_name) edge[north_name[c]] = 1
        for (name in edge) print name > edges
        printf "%d %d %d %d %.0f %.0f %d %d %d %d\n", rows, cols, tiles, filled, total, most,
            r0, r1, c0, c1
    }' "$work/tiles.csv"
)" || fail "$tiles_dbf lacks the fields TileRow, TileCol, TileName and Returns"
read -r rows cols tiles filled total most first_row last_row first_col last_col <<<"$summary"
[[ "$rows" -ge 1 && "$cols" -ge 1 ]] || fail "$tiles_shp holds no tile"

# The extent of the points: the union of the bounds in the tile headers
# (Max X, Min X, Max Y, Min Y as little-endian doubles from byte 179), of
# LAS or LAZ tiles alike.
extent_of="points"
if [[ "$filled" -eq 0 ]]; then
    extent_of="none"
else
    while read -r name; do
        tile="$prefix$name.las"
        [[ -f "$tile" ]] || tile="$prefix$name.laz"
        if ! od --endian=little -A n -w32 -t f8 -j 179 -N 32 "$tile" 2>/dev/null; then
            extent_of="tiles"
            break
        fi
    done <"$work/edge_tiles.txt" >"$work/bounds.txt"
fi
if [[ "$extent_of" == "points" ]]; then
    points_extent="$(awk '
        NF != 4 || !($2 <= $1 && $4 <= $3) { bad = 1 }
        NR == 1 || $2 < ax0 { ax0 = $2 }
        NR == 1 || $1 > ax1 { ax1 = $1 }
        NR == 1 || $4 < ay0 { ay0 = $4 }
        NR == 1 || $3 > ay1 { ay1 = $3 }
        END { if (!bad && NR > 0) printf "%.17g %.17g %.17g %.17g\n", ax0, ay0, ax1, ay1 }
        ' "$work/bounds.txt")"
    [[ -n "$points_extent" ]] || extent_of="tiles"
fi

# The coordinate system's name, EPSG code, unit and axis names, from the .prj.
crs_name="" epsg="" unit="" east_axis="" north_axis="" crs_unreadable=""
if [[ -f "$prj" ]]; then
    wkt="$(gdalsrsinfo --single-line -o wkt1 "$prj" 2>/dev/null || true)"
    if [[ -z "$wkt" ]]; then
        crs_unreadable=1
        note "warning: gdalsrsinfo cannot read $prj; the map is drawn without its coordinate system" >&2
    fi
    crs_name="$(sed -n 's/^[A-Z]*\["\([^"]*\)".*/\1/p' <<<"$wkt")"
    unit="$(grep -o 'UNIT\["[^"]*"' <<<"$wkt" | tail -n 1 | sed 's/^UNIT\["//; s/"$//' || true)"
    east_axis="$(sed -n 's/.*AXIS\["\([^"]*\)",EAST\].*/\1/p' <<<"$wkt")"
    north_axis="$(sed -n 's/.*AXIS\["\([^"]*\)",NORTH\].*/\1/p' <<<"$wkt")"
    epsg="$(gdalsrsinfo -e "$prj" 2>/dev/null | grep -m 1 '^EPSG:[0-9]' || true)"
fi

# The buffer: how far tile R1C1 of the buffered index reaches past its square
# into its neighbour (the outer edges of the grid are not widened).
buffer=""
if [[ -f "$buffer_shp" ]] && ((rows > 1 || cols > 1)); then
    buffer_info="$(ogr_info "$buffer_shp" -q -al -where "TileRow = 1 AND TileCol = 1")" || exit 1
    polygon="$(sed -n 's/^ *POLYGON ((\(.*\)))$/\1/p' <<<"$buffer_info")"
    buffer="$(awk -v poly="$polygon" -v x0="$x0" -v y0="$y0" -v x1="$x1" -v cols="$cols" \
        -v rows="$rows" 'BEGIN {
        n = split(poly, corner, ",")
        for (i = 1; i <= n; i++) {
            split(corner[i], xy, " ")
            if (i == 1 || xy[1] > mx) mx = xy[1]
            if (i == 1 || xy[2] > my) my = xy[2]
        }
        tile = (x1 - x0) / cols
        if (n > 0) printf "%.3f\n", (cols > 1 ? mx - x0 - tile : my - y0 - tile)
    }' | sed 's/0*$//; s/\.$//')"
fi

# Layout in pixels. A tile of at least one pixel gets a whole number of
# pixels (its edges fall on pixel edges); a finer grid fills the width or
# height. A long strip of small tiles (3 x 200, say) would come out a few
# pixels across: when its tiles get fewer than 8 pixels and the strip fewer
# than 120 across, it gets 120 pixels across, or as many whole pixels a tile
# as keep its length within 2400, and the picture grows along it. Margins:
# left for the Y axis, right for the colour bar; the map is raised to the
# middle of the colour bar. The margins for the texts above and below follow
# from the texts.
layout="$(
    awk -v x0="$x0" -v x1="$x1" -v y0="$y0" -v y1="$y1" -v cols="$cols" -v rows="$rows" 'BEGIN {
        max_w = 780; max_h = 680; long_max = 2400; across_min = 120
        tile = (x1 - x0) / cols
        k = int(max_w / cols); if (int(max_h / rows) < k) k = int(max_h / rows)
        if (k >= 1) { pw = cols * k; ph = rows * k; pixel = tile / k }
        else if (cols / max_w >= rows / max_h) {
            pw = max_w; pixel = (x1 - x0) / pw; ph = int((y1 - y0) / pixel + 0.5)
        } else {
            ph = max_h; pixel = (y1 - y0) / ph; pw = int((x1 - x0) / pixel + 0.5)
        }
        across = rows < cols ? rows : cols; along = rows < cols ? cols : rows
        across_px = rows < cols ? ph : pw
        if (k < 8 && across_px < across_min) {
            strip = int((across_min + across - 1) / across)
            if (int(long_max / along) < strip) strip = int(long_max / along)
            if (strip >= 1 && strip * across > across_px) {
                k = strip; pw = cols * k; ph = rows * k; pixel = tile / k
            }
        }
        if (pw < 1) pw = 1
        if (ph < 1) ph = 1
        left = 100; right = 150
        bar_height = ph < 180 ? 180 : ph
        width = left + pw + right; if (width < 960) width = 960
        printf "%d %d %.17g %d %d %d %d %d\n", pw, ph, pixel, k, left, int((bar_height - ph) / 2),
            width, bar_height
    }'
)"
read -r pw ph pixel per_tile left raise width bar_height <<<"$layout"
x_end="$(awk -v a="$x0" -v p="$pixel" -v n="$pw" 'BEGIN { printf "%.17g", a + p * n }')"
y_end="$(awk -v a="$y0" -v p="$pixel" -v n="$ph" 'BEGIN { printf "%.17g", a + p * n }')"

# The raster: one pixel per tile, then the picture's pixels.
quietly gdal_rasterize -q -a Returns -ot Float32 -init 0 -te "$x0" "$y0" "$x1" "$y1" \
    -ts "$cols" "$rows" "$tiles_shp" "$work/tiles.tif"
if ((per_tile >= 1)); then
    quietly gdal_translate -q -of ENVI -r nearest -outsize "$pw" "$ph" "$work/tiles.tif" "$work/map.bin"
else
    quietly gdalwarp -q -of ENVI -r max -te "$x0" "$y0" "$x_end" "$y_end" -ts "$pw" "$ph" \
        "$work/tiles.tif" "$work/map.bin"
fi

# Colours as gnuplot's #rrggbb; the palette from the percentages.
colour() {
    awk -v key="$1" '$1 == key { printf "#%02x%02x%02x\n", $2, $3, $4 }' "$colours"
}
palette="$(awk '$1 ~ /^[0-9.]+%$/ {
    printf "%s%g \"#%02x%02x%02x\"", sep, $1 / 100, $2, $3, $4; sep = ", " }' "$colours")"
empty_colour="$(colour empty)"
outline_colour="$(colour outline)"
extent_colour="$(colour extent)"
[[ -n "$palette" && -n "$empty_colour" && -n "$outline_colour" && -n "$extent_colour" ]] ||
    fail "$colours lacks a colour"

# A string for gnuplot: single quotes, inner ones doubled.
gp_quote() { printf "'%s'" "${1//\'/\'\'}"; }

# Numbers with thousands separators.
grouped() {
    awk -v n="$1" 'BEGIN {
        s = sprintf("%.0f", n); out = ""
        while (length(s) > 3) { out = "," substr(s, length(s) - 2) out; s = substr(s, 1, length(s) - 3) }
        print s out }'
}

# Axis ticks at round numbers at least MIN_PX pixels apart: start, step, end
# and the printf format of the labels; one tick at the start when none fits.
ticks() {
    awk -v a="$1" -v b="$2" -v px="$3" -v min_px="$4" 'BEGIN {
        want = (b - a) * min_px / px
        p = exp(log(10) * int(log(want) / log(10) + 100) - 100 * log(10))
        split("1 2 5 10", m, " ")
        for (i = 1; i <= 4; i++) if (m[i] * p >= want * (1 - 1e-9)) { step = m[i] * p; break }
        digits = 0
        while (digits < 6 && step * 10 ^ digits - int(step * 10 ^ digits + 0.5) > 1e-6) digits++
        while (digits < 6 && int(step * 10 ^ digits + 0.5) - step * 10 ^ digits > 1e-6) digits++
        first = int(a / step) * step; if (first < a - 1e-9 * step) first += step
        if (first > b + 1e-9 * step) printf "%.17g %.17g %.17g %%.%df\n", a, step, a, digits
        else printf "%.17g %.17g %.17g %%.%df\n", first, step, b, digits
    }'
}
read -r xt_first xt_step xt_last xt_format < <(ticks "$x0" "$x_end" "$pw" 110)
read -r yt_first yt_step yt_last yt_format < <(ticks "$y0" "$y_end" "$ph" 50)

# Tile names, when one fits in a tile: on one line, or as row over column.
labels=0
name_length="$(awk -F, 'NR == 2 { print length($3) }' "$work/tiles.csv")"
if ((per_tile >= 7 * name_length + 8 && per_tile >= 18)); then
    labels=1
elif ((per_tile >= 4 * name_length + 8 && per_tile >= 34)); then
    labels=2
fi
# The colour bar runs from 1 point to the most of any tile (to 2 at least).
bar_top=$((most > 2 ? most : 2))
if ((labels > 0)); then
    # Dark text on the pale end of the colour bar, white on the dark end.
    awk -F, -v x0="$x0" -v y0="$y0" -v x1="$x1" -v cols="$cols" -v top="$bar_top" 'NR > 1 {
        tile = (x1 - x0) / cols
        n = $4 + 0
        shade = n > 1 ? (n - 1) / (top - 1) : 0
        split($3, part, "C")
        printf "%.17g %.17g %s C%s %d\n", x0 + ($2 - 0.5) * tile, y0 + ($1 - 0.5) * tile,
            part[1], part[2], (shade > 0.6 ? 16777215 : 2236962)
    }' "$work/tiles.csv" >"$work/labels.txt"
fi

# The texts.
plural() { if [[ "$1" == 1 ]]; then echo "$1 $2"; else echo "$(grouped "$1") $3"; fi; }
units="${unit:-units of the survey}"
x_label="${east_axis:-X} ($units)"
y_label="${north_axis:-Y} ($units)"
tile_size="$(awk -v x0="$x0" -v x1="$x1" -v cols="$cols" 'BEGIN { printf "%.3f", (x1 - x0) / cols }' |
    sed 's/0*$//; s/\.$//')"
in_units="${unit:+ $unit}"
count_text="$(plural "$total" "point record" "point records") in the tiles"
title="$prefix: $(plural "$tiles" tile tiles) in the grid, $(grouped "$filled") with points, $count_text"
subtitle="$(plural "$rows" row rows) x $(plural "$cols" column columns) of tiles of $tile_size$in_units"
if [[ -n "$buffer" ]]; then
    subtitle+=", buffer $buffer$in_units"
elif [[ -f "$buffer_shp" ]]; then
    subtitle+=", with a buffer"
fi
if [[ -n "$crs_name" ]]; then
    subtitle+="; $crs_name${epsg:+ ($epsg)}"
elif [[ -n "$crs_unreadable" ]]; then
    subtitle+="; the coordinate system in ${prj##*/} cannot be read"
else
    subtitle+="; no coordinate system (the index has no .prj)"
fi
notes=()
if [[ -f "$buffer_shp" ]]; then
    notes+=("Points per tile count every record written to the tile: a point within the buffer of a neighbouring tile is counted there too,"
        "so the records add up to more than the survey's points.")
else
    notes+=("Points per tile count every record written to the tile; without a buffer (no ${buffer_shp##*/}) they add up to the survey's points.")
fi
case "$extent_of" in
    points)
        extent_key="extent of the points (from the tile headers)"
        notes+=("The grid runs past the points by the buffer (and the snap of -r), and its last row and column reach on to whole tiles:"
            "the tiles of that rim hold fewer points.")
        ;;
    tiles)
        extent_key="extent of the tiles with points"
        notes+=("The tile files are not beside the index, so the outline is that of the tiles with points.")
        points_extent="$(awk -v x0="$x0" -v y0="$y0" -v x1="$x1" -v cols="$cols" -v r0="$first_row" \
            -v r1="$last_row" -v c0="$first_col" -v c1="$last_col" 'BEGIN {
            tile = (x1 - x0) / cols
            printf "%.17g %.17g %.17g %.17g\n", x0 + (c0 - 1) * tile, y0 + (r0 - 1) * tile,
                x0 + c1 * tile, y0 + r1 * tile }')"
        ;;
    *)
        extent_key=""
        ;;
esac
if ((per_tile < 1)); then
    notes+=("A pixel covers more than one tile and shows the fullest of them.")
fi

# Breaks TEXT into lines of at most MAX pixels in the font of SIZE points:
# after a space or a slash where it can, anywhere in a word longer than a
# line. Widths are those of the sans-serif font the pictures are drawn in, a
# little generous so that a line never reaches the picture's edge.
wrapped() {
    awk -v size="$1" -v max="$2" -v text="$3" '
    function px(s,   k, c, w) {
        w = 0
        for (k = 1; k <= length(s); k++) {
            c = substr(s, k, 1)
            if (index("mMW%@", c)) w += 1.35
            else if (index("#+<=>^~w", c)) w += 1.1
            else if (index("ABCDGHNOQRUVXZ&", c)) w += 1.05
            else if (index("\"*_`?sz", c)) w += 0.7
            else if (index("()[]rt!-", c)) w += 0.55
            else if (index("ijlIJ.,:;|/f ", c) || c == "\\" || c == q) w += 0.45
            else if (c ~ /[ -~]/) w += 0.85
            else w += 0.7  # a byte of a character beyond ASCII
        }
        return w * size
    }
    function emit(s) { sub(/ +$/, "", s); if (s != "") print s }
    BEGIN {
        q = sprintf("%c", 39)
        line = ""
        while (text != "") {
            # The next piece: up to and with the next space or slash.
            if (match(text, /[ \/]/)) { piece = substr(text, 1, RSTART); text = substr(text, RSTART + 1) }
            else { piece = text; text = "" }
            if (px(line piece) <= max) { line = line piece; continue }
            emit(line)
            line = piece
            while (px(line) > max && length(line) > 1) {
                n = length(line) - 1
                while (n > 1 && px(substr(line, 1, n)) > max) n--
                emit(substr(line, 1, n))
                line = substr(line, n + 1)
            }
        }
        emit(line)
    }'
}
# Appends the lines of TEXT wrapped in SIZE points to MAX pixels to ARRAY.
wrap_into() {
    local -n into="$1"
    local lines
    lines="$(wrapped "$2" "$3" "$4")"
    [[ -z "$lines" ]] || mapfile -t -O "${#into[@]}" into <<<"$lines"
}
title_lines=() subtitle_lines=() note_lines=()
wrap_into title_lines 13 $((width - 40)) "$title"
wrap_into subtitle_lines 10 $((width - 40)) "$subtitle"
for text in "${notes[@]}"; do
    wrap_into note_lines 9 $((width - 20)) "$text"
done
# Margins: top for the title and the line under it, bottom for the X axis,
# the key and the notes (room for five lines at least).
top=$((80 + 20 * (${#title_lines[@]} - 1) + 16 * (${#subtitle_lines[@]} - 1)))
shown_notes=$((${#note_lines[@]} > 5 ? ${#note_lines[@]} : 5))
bar_bottom=$((100 + 16 * shown_notes))
bottom=$((bar_bottom + raise))
height=$((top + bar_height + bar_bottom))

# The gnuplot script. Margins are set in pixels so that the plot area is the
# raster, one pixel per pixel: north up, square pixels. Texts and key are
# placed in pixels from the bottom left corner.
at() { echo "at screen $1.0 / $width, $2.0 / $height"; }
{
    echo "set terminal pngcairo noenhanced size $width,$height font 'Sans,10'"
    echo "set output $(gp_quote "$new_png")"
    echo "set lmargin at screen $left.0 / $width; set rmargin at screen ($left + $pw.0) / $width"
    echo "set bmargin at screen $bottom.0 / $height; set tmargin at screen ($bottom + $ph.0) / $height"
    echo "set xrange [$x0:$x_end]; set yrange [$y0:$y_end]"
    echo "set xtics $xt_first, $xt_step, $xt_last out nomirror; set format x '$xt_format'"
    echo "set ytics $yt_first, $yt_step, $yt_last out nomirror; set format y '$yt_format'"
    echo "set xlabel $(gp_quote "$x_label"); set ylabel $(gp_quote "$y_label")"
    line=$((height - 28))
    for text in "${title_lines[@]}"; do
        echo "set label $(gp_quote "$text") $(at $((width / 2)) "$line") center font 'Sans,13'"
        line=$((line - 20))
    done
    line=$((line - 4))
    for text in "${subtitle_lines[@]}"; do
        echo "set label $(gp_quote "$text") $(at $((width / 2)) "$line") center"
        line=$((line - 16))
    done
    line=$((16 * ${#note_lines[@]}))
    for text in "${note_lines[@]}"; do
        echo "set label $(gp_quote "$text") $(at 10 "$line") left font 'Sans,9'"
        line=$((line - 16))
    done
    # The key: an empty tile, and the outline of the extent.
    key_y=$((16 * ${#note_lines[@]} + 30))
    echo "set object rectangle from screen $left.0 / $width, ($key_y - 6.0) / $height" \
        "to screen ($left + 22.0) / $width, ($key_y + 6.0) / $height" \
        "fillcolor rgb '$empty_colour' fillstyle solid border lc rgb '$outline_colour'"
    echo "set label 'no points' $(at $((left + 30)) "$key_y") left"
    if [[ -n "$extent_key" ]]; then
        echo "set arrow from screen ($left + 180.0) / $width, $key_y.0 / $height" \
            "to screen ($left + 202.0) / $width, $key_y.0 / $height nohead lc rgb '$extent_colour' lw 2"
        echo "set label $(gp_quote "$extent_key") $(at $((left + 210)) "$key_y") left"
    fi
    echo "set palette defined ($palette)"
    # The colour bar runs from 1 point: an empty tile has a colour of its own.
    echo "set cbrange [1:$bar_top]; set format cb '%.0f'"
    read -r _ cb_step _ _ < <(ticks 0 "$bar_top" "$bar_height" 40)
    echo "set cbtics 0, $(awk -v s="$cb_step" 'BEGIN { print (s < 1 ? 1 : s) }'); set cbtics add ('1' 1)"
    echo "set cblabel 'points per tile' offset 1.5, 0"
    echo "set colorbox vertical user origin screen ($left + $pw + 24.0) / $width, $bar_bottom.0 / $height" \
        "size screen 18.0 / $width, $bar_height.0 / $height"
    echo "set object rectangle from $x0, $y0 to $x_end, $y_end behind" \
        "fillcolor rgb '$empty_colour' fillstyle solid noborder"
    # Tile outlines where a tile has room for them (8 pixels and more).
    if ((per_tile >= 8)); then
        step="$pixel * $per_tile"
        echo "do for [i = 1:$((cols - 1))] { set arrow from $x0 + i * $step, $y0 to $x0 + i * $step, $y1" \
            "nohead front lc rgb '$outline_colour' lw 1 }"
        echo "do for [i = 1:$((rows - 1))] { set arrow from $x0, $y0 + i * $step to $x1, $y0 + i * $step" \
            "nohead front lc rgb '$outline_colour' lw 1 }"
    fi
    if [[ -n "$extent_key" ]]; then
        # Points beyond the grid (outside their file's header bounds) are
        # tiled into the edge tiles; the outline keeps to the grid.
        read -r ex0 ey0 ex1 ey1 < <(awk -v e="$points_extent" -v g="$x0 $y0 $x_end $y_end" 'BEGIN {
            split(e, a, " "); split(g, b, " ")
            printf "%.17g %.17g %.17g %.17g\n", (a[1] < b[1] ? b[1] : a[1]), (a[2] < b[2] ? b[2] : a[2]),
                (a[3] > b[3] ? b[3] : a[3]), (a[4] > b[4] ? b[4] : a[4]) }')
        # Drawn as arrows after the tile outlines, so that it lies over them.
        for side in "$ex0, $ey0 to $ex1, $ey0" "$ex1, $ey0 to $ex1, $ey1" "$ex1, $ey1 to $ex0, $ey1" "$ex0, $ey1 to $ex0, $ey0"; do
            echo "set arrow from $side nohead front lc rgb '$extent_colour' lw 2"
        done
    fi
    plot="plot $(gp_quote "$work/map.bin") binary array=($pw,$ph) format='%float32' flipy"
    plot+=" dx=$pixel dy=$pixel origin=($x0 + $pixel / 2, $y0 + $pixel / 2)"
    plot+=" using (\$1 > 0 ? \$1 : NaN) with image notitle"
    if ((labels == 1)); then
        plot+=", $(gp_quote "$work/labels.txt") using 1:2:(strcol(3) . strcol(4)):5"
    elif ((labels == 2)); then
        plot+=", $(gp_quote "$work/labels.txt") using 1:2:(strcol(3) . \"\\n\" . strcol(4)):5"
    fi
    if ((labels > 0)); then
        plot+=" with labels tc rgb variable font 'Sans,8' notitle"
    fi
    echo "$plot"
} >"$work/map.gp"

if ! output="$(gnuplot "$work/map.gp" 2>&1)" || [[ ! -s "$new_png" ]]; then
    [[ -z "$output" ]] || printf '%s\n' "$output" >&2
    fail "gnuplot could not draw $png"
fi
# mktemp made the file for its owner alone; the map gets the usual mode.
chmod "$(printf '%o' $((0666 & ~$(umask))))" "$new_png" || fail "cannot set the mode of $new_png"
mv -f -T "$new_png" "$png" || fail "cannot move the map to $png"
new_png=""
echo "$png"
