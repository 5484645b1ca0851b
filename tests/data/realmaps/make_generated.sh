#!/usr/bin/env bash
# How the files of this folder that no real source provided were made,
# with GDAL's tools (gdal-bin) from the real files beside them. Kept for
# the record; the tests use the files as committed and never run this.
set -euo pipefail
cd "$(dirname "$0")"
q="-q"

# A projected CRS on another datum with its own 7-parameter shift
# (GeogTOWGS84GeoKey), and a geographic one with a 3-parameter shift.
gdal_create $q -of GTiff -co COMPRESS=DEFLATE -outsize 120 90 -bands 1 -burn 128 \
  -a_srs "+proj=tmerc +lat_0=0 +lon_0=9 +k=1 +x_0=500000 +y_0=0 +ellps=intl +towgs84=-87,-98,-121,0.5,-0.3,0.2,1.2 +units=m +no_defs" \
  -a_ullr 500000 5300000 506000 5295500 gen_towgs84_tmerc.tif
gdal_create $q -of GTiff -co COMPRESS=DEFLATE -outsize 100 80 -bands 1 -burn 100 \
  -a_srs "+proj=longlat +ellps=clrk66 +towgs84=-8,160,176 +no_defs" \
  -a_ullr -100.5 40.4 -100.0 40.0 gen_towgs84_geog.tif

# 210 ground control points (a smooth scan of UTM 32N), beyond the old
# limit of 200; a cloud-optimised GeoTIFF named .cog.
gcps=$(python3 -c "
import math
for k in range(210):
    i = (k % 15) * 20 + 3.25; j = (k // 15) * 15 + 1.5
    e = 465000 + 10 * i + 0.002 * i * j; n = 5251000 - 10 * j + 0.01 * i
    print('-gcp %.3f %.3f %.3f %.3f' % (i, j, e, n), end=' ')")
gdal_create $q -of GTiff -co COMPRESS=DEFLATE -outsize 300 210 -bands 1 -burn 77 gen_base.tif
gdal_translate $q -co COMPRESS=DEFLATE -a_srs EPSG:32632 $gcps gen_base.tif gen_gcps210.tif
gdal_translate $q -of COG lc.tif gen_lc.cog

# A PNG with a world file and its CRS in .aux.xml (NAD27 / Illinois East,
# US survey feet), from the real NAD27 GeoTIFF at a quarter of its size.
gdal_translate $q -of PNG -outsize 25% 25% -co WORLDFILE=YES SP27GTIF.TIF gen_sp27.png

# A UTM zone 60 map across 180 degrees, as a GeoTIFF.
gdal_create $q -of GTiff -co COMPRESS=DEFLATE -outsize 200 100 -bands 3 -burn 200 -co PHOTOMETRIC=RGB \
  -a_srs EPSG:32660 -a_ullr 700000 100000 900000 0 gen_utm60_across180.tif

# KMZ ground overlays as GDAL writes them (a single-image super-overlay):
# one of a NAD83 Albers map, one across 180 degrees.
gdal_translate $q -of KMLSUPEROVERLAY -expand rgb lc.tif gen_lc.kmz
gdal_create $q -of GTiff -co COMPRESS=DEFLATE -outsize 160 80 -bands 3 -burn 60 -a_srs EPSG:4326 \
  -a_ullr 176 -15 184 -19 gen_across180_base.tif
gdal_translate $q -of KMLSUPEROVERLAY gen_across180_base.tif gen_across180.kmz

# Virtual rasters over a JPEG: by a GeoTransform (Oblique Stereographic of
# the real meuse.tif) and by seven ground control points.
gdal_create $q -of JPEG -outsize 80 115 -bands 3 -burn 150 gen_scan.jpg
gdal_translate $q -of VRT -a_srs "$(gdalsrsinfo -o wkt1 meuse.tif | tr -d '\n')" \
  -a_ullr 178400 334000 181600 329400 gen_scan.jpg gen_geotransform.vrt
gdal_translate $q -of VRT -a_srs EPSG:32632 -gcp 0 0 465000 5251000 -gcp 80 0 466000 5251010 \
  -gcp 0 115 464990 5249800 -gcp 80 115 466005 5249790 -gcp 40 50 465500 5250400 \
  -gcp 20 90 465240 5249950 -gcp 70 30 465870 5250650 gen_scan.jpg gen_gcps.vrt

# The image of the ground overlay in kmlsamples.kml (its href is a URL
# whose file name is etna.jpg).
gdal_create $q -of JPEG -outsize 240 144 -bands 3 -burn 120 etna.jpg

rm -f gen_base.tif gen_across180_base.tif ./*.aux.xml.tmp

# Images of the files written by hand in other software's formats: a .map
# file of GPS map software, a georeferencer's control-point list named as
# it names them (X.points beside X.jpg), a KML overlay by gx:LatLonQuad.
gdal_create $q -of JPEG -outsize 200 150 -bands 3 -burn 180 hand_ozi.jpg
gdal_create $q -of JPEG -outsize 200 150 -bands 3 -burn 140 hand_ed50.jpg
gdal_create $q -of JPEG -outsize 300 200 -bands 3 -burn 90 hand_points.jpg
gdal_create $q -of PNG -outsize 160 120 -bands 3 -burn 70 hand_quad.png
