# The fuzz targets: one line each, read by fuzz/CMakeLists.txt (libFuzzer
# executables fuzz_<name>) and by tests/fuzz_inputs (replay_<name>, which runs
# the seeds and the inputs of past findings in the ordinary builds). Each
# defines marovia_fuzz_target(<name> [SOURCES extra...] LINK libs...
# [INCLUDE dirs...]) before including this file; <name>.cpp is the target.
set(geodb_tool ${PROJECT_SOURCE_DIR}/apps/geodb)
set(geoconvert_tool ${PROJECT_SOURCE_DIR}/apps/geoconvert)

marovia_fuzz_target(bmp_decode LINK platform_gfx)
marovia_fuzz_target(jpeg_decode LINK platform_gfx)
marovia_fuzz_target(cursor_decode LINK platform_ui)
marovia_fuzz_target(tagscan LINK zylbase)
marovia_fuzz_target(geodb_open LINK geodb)
marovia_fuzz_target(geodb_journal LINK geodb)
# The tools' parsers are compiled from the tools' own sources.
marovia_fuzz_target(geodb_import_text
  SOURCES ${geodb_tool}/text_import.cpp ${geodb_tool}/json.cpp ${geodb_tool}/geojson_export.cpp
  LINK geodb INCLUDE ${geodb_tool})
marovia_fuzz_target(geodb_import_geojson
  SOURCES ${geodb_tool}/geojson_import.cpp ${geodb_tool}/json.cpp
          ${geodb_tool}/geojson_export.cpp ${geodb_tool}/text_import.cpp
  LINK geodb INCLUDE ${geodb_tool})
marovia_fuzz_target(geoconvert_lines
  SOURCES ${geoconvert_tool}/geoconvert_cli.cpp ${PROJECT_SOURCE_DIR}/apps/common/cli_text.cpp
  LINK geobasics INCLUDE ${geoconvert_tool} ${PROJECT_SOURCE_DIR}/apps/common)
marovia_fuzz_target(mgrs_text LINK geobasics)
marovia_fuzz_target(png_decode LINK platform_gfx)
marovia_fuzz_target(xml_text LINK geomap)
marovia_fuzz_target(calxml LINK geomap)
marovia_fuzz_target(landmark_files LINK geomap INCLUDE ${PROJECT_SOURCE_DIR}/geomap/src)
marovia_fuzz_target(symbol_files LINK geomap)
marovia_fuzz_target(crs_text LINK geomap INCLUDE ${PROJECT_SOURCE_DIR}/geomap/src)
marovia_fuzz_target(pyramid_cache LINK platform_gfx
  INCLUDE ${PROJECT_SOURCE_DIR}/platform/src/graphics/pyramid)
marovia_fuzz_target(tiff_decode LINK platform_gfx)
marovia_fuzz_target(geotiff_keys LINK geomap)
# Maps from other software: world files, .map files, control-point lists,
marovia_fuzz_target(world_file LINK geomap)
marovia_fuzz_target(map_file LINK geomap)
marovia_fuzz_target(points_file LINK geomap)
# KML ground overlays and GDAL virtual rasters.
marovia_fuzz_target(kml_overlay LINK geomap)
marovia_fuzz_target(vrt_file LINK geomap)
# Georeference annotations (IIIF).
marovia_fuzz_target(iiif_annotation LINK geomap)
# Tracks, routes and waypoints: one target per reader, each also writing
# what it read as GPX and GeoJSON and reading that back.
marovia_fuzz_target(track_gpx LINK geomap)
marovia_fuzz_target(track_kml LINK geomap)
marovia_fuzz_target(track_geojson LINK geomap)
marovia_fuzz_target(track_nmea LINK geomap)
marovia_fuzz_target(track_tcx LINK geomap)
marovia_fuzz_target(track_igc LINK geomap)
marovia_fuzz_target(track_plt_wpt LINK geomap)
# Live position: gpsd's JSON reports, and NMEA bytes in chunks of any size.
marovia_fuzz_target(gpsd_reports LINK geomap)
marovia_fuzz_target(nmea_stream LINK geomap)
# Tile sets of a cluster's parts: their manifests, and the archives read
# back for merging and verifying.
marovia_fuzz_target(tile_manifest LINK geomap)
marovia_fuzz_target(tile_archive LINK geomap)
# What the page of geomap serve sends: fit requests, typed positions, file
# paths (compiled from the tool's own sources).
set(geomap_tool ${PROJECT_SOURCE_DIR}/apps/geomap)
marovia_fuzz_target(serve_request
  SOURCES ${geomap_tool}/serve_request.cpp ${geomap_tool}/serve_position.cpp
          ${geomap_tool}/serve_paths.cpp ${geomap_tool}/calibrate_setup.cpp
          ${geomap_tool}/point_list.cpp ${PROJECT_SOURCE_DIR}/apps/common/cli_text.cpp
  LINK geomap
  INCLUDE ${geomap_tool} ${PROJECT_SOURCE_DIR}/apps/common ${PROJECT_SOURCE_DIR}/geomap/src)
# The printer's reader of its own PDF files, behind georeferenced pages.
marovia_fuzz_target(pdf_update LINK platform_gfx
  INCLUDE ${PROJECT_SOURCE_DIR}/platform/src/graphics/printer)
