#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the README's picture of a drive: the example log's samples coloured by level, made
# with GDAL's raster tools from the map layers the converter writes. The colours are read from
# the KML export's styles, so the picture shows exactly the converter's level colours.
# usage: docs/render-drive-picture.sh [VARISTRUM-CLI] [LOG] [PNG]
set -euo pipefail
cli=${1:-build/cli/varistrum-cli}
log=${2:-examples/drive-example.klf}
png=${3:-docs/drive-example.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$cli" convert -q "$log" --format gpkg -o "$work/drive.gpkg"
"$cli" convert -q "$log" --format kml -o "$work/drive.kml"

# The six bands, weakest first, under the default bounds (--rssi-thresholds).
bounds=(-110 -100 -90 -80 -70)
band="CASE"
for i in "${!bounds[@]}"; do band+=" WHEN rssi_dbm < ${bounds[$i]} THEN $((i + 1))"; done
band+=" ELSE 6 END"
ogr2ogr -q -f GPKG "$work/bands.gpkg" "$work/drive.gpkg" -dialect SQLITE \
    -sql "SELECT geom, $band AS band FROM samples ORDER BY rssi_dbm" -nln bands
ogr2ogr -q -f GPKG "$work/bands.gpkg" "$work/drive.gpkg" -update -nln route -sql \
    "SELECT geom FROM route"

# KML colours are aabbggrr; the colour table of gdaldem takes "value red green blue".
: > "$work/colours.txt"
for i in 0 1 2 3 4 5; do
    abgr=$(grep -A2 "<Style id=\"band$i\">" "$work/drive.kml" | sed -n 's/.*<color>\(........\)<\/color>.*/\1/p')
    echo "$((i + 1)) $((16#${abgr:6:2})) $((16#${abgr:4:2})) $((16#${abgr:2:2}))" >> "$work/colours.txt"
done
echo "7 70 70 70" >> "$work/colours.txt"  # the route
echo "nv 255 255 255" >> "$work/colours.txt"

# About 11 m a pixel, shown four times as large; the route drawn first, the samples over it.
gdal_rasterize -q -init 0 -a_nodata 0 -burn 7 -l route -tr 0.0001 0.0001 -ot Byte \
    "$work/bands.gpkg" "$work/bands.tif"
gdal_rasterize -q -a band -l bands "$work/bands.gpkg" "$work/bands.tif"
gdaldem color-relief -q -nearest_color_entry "$work/bands.tif" "$work/colours.txt" \
    "$work/colour.tif"
gdal_translate -q -of PNG -outsize 400% 400% -r nearest "$work/colour.tif" "$png"
rm -f "$png.aux.xml"
