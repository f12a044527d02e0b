#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the README's picture of a drive over a raster background. The background is a made-up
# town plan built here with GDAL's tools (no map data is fetched): streets on a grid around the
# drive, the drive's own route as the main road, a park and a river, rasterised in WGS 84 with
# overviews. The map command then draws the example log over it, reprojected to Web Mercator.
# usage: docs/render-background-picture.sh [VARISTRUM-CLI] [LOG] [PNG]
set -euo pipefail
cli=${1:-build/cli/varistrum-cli}
log=${2:-examples/drive-example.klf}
png=${3:-docs/map-background.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$cli" convert -q "$log" --format gpkg -o "$work/drive.gpkg"
read -r west south east north < <(ogrinfo -so "$work/drive.gpkg" samples |
    sed -n 's/^Extent: (\(.*\), \(.*\)) - (\(.*\), \(.*\))$/\1 \2 \3 \4/p')

# The plan as WKT, class by class: 1 park, 2 water, 3 street, 4 main road (below).
awk -v w="$west" -v s="$south" -v e="$east" -v n="$north" 'BEGIN {
    m = 0.006; w -= m; e += m; s -= m / 2; n += m / 2
    print "class,WKT"
    # A park north of the middle of the drive, a river winding south of it.
    px = (w + e) / 2; py = n - 0.0035
    printf "1,\"POLYGON((%f %f,%f %f,%f %f,%f %f,%f %f))\"\n", px - 0.004, py, px + 0.003, py,
        px + 0.003, py + 0.002, px - 0.004, py + 0.002, px - 0.004, py
    line = ""
    for (x = w; x <= e + 0.0005; x += 0.0005)
        line = line sprintf("%s%f %f", line == "" ? "" : ",", x, s + 0.0012 + 0.0006 * sin(x * 900))
    printf "2,\"LINESTRING(%s)\"\n", line
    # Streets: a grid, a little irregular.
    i = 0
    for (x = w; x <= e; x += 0.0021) {
        i++
        printf "3,\"LINESTRING(%f %f,%f %f)\"\n", x + 0.0003 * (i % 3), s, x - 0.0002 * (i % 2), n
    }
    for (y = s; y <= n; y += 0.0013) {
        i++
        printf "3,\"LINESTRING(%f %f,%f %f)\"\n", w, y + 0.0002 * (i % 2), e, y - 0.0001 * (i % 3)
    }
}' > "$work/plan.csv"

ogr2ogr -q -f GPKG "$work/plan.gpkg" "$work/plan.csv" -a_srs EPSG:4326 -nln plan \
    -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO -oo AUTODETECT_TYPE=YES

# Classes on a grid of about 6 m, ground (0) first; a line takes every cell it touches.
read -r xmin ymin xmax ymax < <(awk -v w="$west" -v s="$south" -v e="$east" -v n="$north" \
    'BEGIN { print w - 0.006, s - 0.003, e + 0.006, n + 0.003 }')
gdal_rasterize -q -at -init 0 -ot Byte -te "$xmin" "$ymin" "$xmax" "$ymax" -tr 0.00008 0.00005 \
    -a class -l plan "$work/plan.gpkg" "$work/classes.tif"
gdal_rasterize -q -at -burn 4 -l route "$work/drive.gpkg" "$work/classes.tif"
cat > "$work/colours.txt" <<'COLOURS'
0 242 239 233
1 200 230 190
2 170 210 235
3 255 255 255
4 250 215 150
COLOURS
gdaldem color-relief -q -nearest_color_entry "$work/classes.tif" "$work/colours.txt" \
    "$work/town.tif"
gdaladdo -q "$work/town.tif" 2 4 8

"$cli" map -q "$log" --background "$work/town.tif" --fade 20 --size 800x450 \
    -o "$work/map.png"
cp "$work/map.png" "$png"
