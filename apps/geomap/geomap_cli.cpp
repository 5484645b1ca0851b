// geomap: renders views of calibrated maps and of atlases to image files
// and PDF, shows calibrations with their residuals, fits calibrations from
// lists of clicked points and generates blank calibrated grid maps.
//
// Each problem is reported on the error stream as one line
// "geomap: <file>: <why>", and the tool goes on with the rest where that
// makes sense; the exit status then says that something failed.
#include "geomap_cli.h"

#include <ostream>
#include <span>

#include "arguments.h"
#include "cli_text.h"
#include "commands.h"

namespace marovia::geomaptool {
namespace {

const char* const kHelp = R"HELP(Usage: geomap COMMAND [ARGUMENTS] [OPTIONS]

Commands:
  render MAP -o FILE      draw a view of a calibrated map as PNG, BMP or JPEG
                          (by the extension of FILE); when MAP is a folder of
                          calibration files, of the atlas map that covers
                          --center best: the finest map that fills 90 % of
                          the view, or else the one that fills most of it.
                          MAP may also be another program's map file (a
                          GeoTIFF, a .map file, a .points list, an image
                          with a world file): it is imported on the fly
  info MAP...             print each calibration's model, corners, resolution
                          and the residual of every calibration point, also
                          with the point left out of the fit (with --brief
                          only the largest residual); a folder stands for
                          its calibration files. Only the images' headers
                          are read
  calibrate POINTS -i IMAGE -m MODEL -o FILE
                          fit a calibration to a list of clicked points, print
                          the residuals and write the calibration file
  convert MAP [--to-geo]
                          convert LAT LON lines of standard input to pixels X Y
                          of the map image (--to-geo: X Y lines to LAT LON),
                          one output line per input line that converts
  generate FILE --lat S,N --lon W,E
                          write a blank calibrated grid map: FILE with the
                          extension .xml (calibration) and .bmp (image)
  print MAP -o FILE.pdf   print a view of a map (or atlas) to a PDF file
  import FILE -o CALIBRATION.xml
                          read the calibration of another program's map: a
                          GeoTIFF, a .map file, a .points control-point
                          list, a KML/KMZ ground overlay, a GDAL .vrt, a
                          georeference annotation (.json) with its image, or
                          an image with a world file or .points list beside it
                          (or the world file itself); the format is found
                          from the file's content
  export MAP --to FORMAT -o FILE
                          write the map for other software; FORMAT is
                          worldfile, map, points, vrt, kml, kmz, geotiff,
                          iiif-annotation (a georeference annotation) or
                          iiif-image (-o FOLDER: a static IIIF image service,
                          level 0, of the image's pyramid)
  tiles MAP -o OUT        web map tiles (Web Mercator, 256 px) of a map or of
                          an atlas folder (each pixel from the finest map
                          that covers it) into OUT: a directory {z}/{x}/{y}
                          with index.html, an .mbtiles or a .pmtiles file
  tiles merge FRAGMENT... -o ARCHIVE
                          join the fragments of parts (or overlapping
                          archives of separate runs, finest first) into one
                          .pmtiles or .mbtiles file
  tiles verify ARCHIVE FOLDER
                          check an archive against the manifests of its
                          fragments in FOLDER: nothing missing, nothing
                          extra, every checksum equal
  serve SCAN|FOLDER...    calibrate scans in the browser: prints the page's
                          address with this run's token and serves until
                          stopped; click point pairs on the scan and the
                          reference (or type positions), watch residuals and
                          the warped preview, save (SCAN.xml) and export
  find LAT,LON FOLDER...  the maps of the folders' trees that cover the
                          place, finest first: calibration file, m/px, caption
  track FILE...           what track files hold (GPX, KML, KMZ, GeoJSON, NMEA,
                          TCX, IGC, PLT, WPT): waypoints, routes, tracks and
                          shapes, their extent and time; with --stats the
                          statistics of each track and route

View options (render, print):
  --size WxH              size of the view in pixels (default 800x600; print
                          takes the page less its margins instead)
  --center LAT,LON        position at the centre of the view, decimal degrees
                          (default: the centre of the map image)
  --mag M                 view pixels per map image pixel, 0.001 to 64
                          (default 1 with --center, else the whole map fitted;
                          on paper a view pixel is 1/96 inch)
  --grid KIND             none, points, lines, lines+points, utm, utm+points:
                          graticule lines, calibration points, UTM grid
  --grid-step DEG         degrees between graticule lines (default: a round
                          step that puts them 60 to 150 view pixels apart)
  --utm-step M            metres between UTM grid lines (default: likewise)
  --landmarks FILE        draw the landmarks of a landmark file
  --labels place|all      place: captions that would overlap another caption
                          or a symbol, or reach past the edge, are moved
                          around their symbol or left out (the default);
                          all: every caption where its landmark puts it
  --no-antialias          scale the map image without smoothing
  --max-pixels N          take map images of up to N pixels (default: any size
                          up to 16 gigapixels); images above 3000000 pixels
                          are read as tiles through a cache in the user's
                          cache folder (render, print, tiles, export)
  --bands N or R,G,B      bands of a TIFF image whose samples are not 8-bit
                          colours: one shown grey, or three as red, green,
                          blue, numbered from 1 (default: the first three,
                          or the first; render, print, tiles, export)
  --stretch KIND          how those samples map to 0..255: auto (the
                          default), full, minmax, percentile[:LOW,HIGH]
                          (default 2,98) or range:LOW,HIGH

render options:
  -o, --output FILE       the image file to write (.png, .bmp, .jpg, .jpeg)
  --quality N             JPEG quality 1 to 100 (default 90)

calibrate options:
  -i, --image FILE        the map image the points were clicked on; it must
                          stay beside the calibration file (its name is
                          stored without a folder)
  -m, --model MODEL       equirect, utm, millercylindrical, conicconformal,
                          biquadraticpn, parabolicip, projected or thinplate
  -o, --output FILE       the calibration file to write (replaced)
  --caption TEXT          the map's caption
  --utm-zone ZONE         zone and latitude band of the utm model, as
                          geoconvert writes them, e.g. 32T (bands C to M
                          are south of the equator, N to X north)
  --crs CRS               the map's CRS for the projected model: EPSG:3395,
                          a PROJ string or WKT
  --order 1|2             projected model: affine (default, >= 3 points) or
                          second-order polynomial (>= 6 points)
  --smoothing L           thin-plate model: smoothing >= 0 (default 0, the
                          spline passes through every point)
  --ellipsoid ID          ellipsoid, e.g. gelWGS84 (the default)
  --id ID                 data set identifier (default: the file's base name)
  POINTS is a text file (or - for standard input) with one point a line,
  numbers separated by blanks or commas; # starts a comment:
    X Y LATITUDE LONGITUDE          the point models
    X Y NORTHING EASTING            utm
    X Y meridian|parallel VALUE     parabolicip (points on graticule lines)

generate options:
  --lat S,N, --lon W,E    latitude and longitude limits in degrees
  --step DLAT[,DLON]      grid spacing in degrees (default 1)
  --size WxH              image size in pixels (default 800x600, at least 100)

print options:
  -o, --output FILE       the PDF file to write
  --paper a4|a3|letter    paper size (default a4)
  --landscape             turn the paper
  --dpi N                 printer resolution, 72 to 600 (default 150)

import options:
  --crs CRS               the CRS of a world file or control-point list that
                          names none (EPSG:32632, a PROJ string or WKT);
                          else the image's .aux.xml or .prj file gives it
  --id ID                 data set identifier (default: the file's base name)

export options:
  --gcp-grid N            points per side of the grid of control points
                          sampled from maps that are not affine (default 5;
                          a .map file holds at most 5 x 5, a GeoTIFF 14 x 14)
  --iiif-service URL      the image's IIIF image service: the annotation's
                          target (default: the image file), the address an
                          iiif-image folder will be served at (required)
  An export that cannot carry the map's model exactly (a .map file of a map
  no projection it names fits, an annotation of a model it has no
  transformation for) prints the error a reader of it will see.
  A world file's CRS goes into the .aux.xml of the image it is named for
  (-o scan.jgw: scan.jpg.aux.xml beside it). World files give the centre of
  the top left pixel, the other formats its corner; each export converts.
tiles options:
  --zoom MIN-MAX          levels to make (default: from the level whose pixel
                          is nearest the map's down to a level where the
                          maps are a few tiles; in an atlas each map adds
                          tiles down to its own finest level)
  --format png|jpg        tile format (default png, transparent outside the
                          maps; jpg is white there)
  --jobs N                threads (default: all cores)
  --part K/N              make only the K-th of N equal shares of the tiles
                          (for running one job on N machines): a fragment
                          NAME.part-K-of-N.pmtiles (.mbtiles; a directory
                          shares OUT) and its manifest; a part complete
                          already is not made again. Without --part, a
                          Slurm array task or a Kubernetes indexed Job's pod
                          takes its part from SLURM_ARRAY_TASK_ID and
                          SLURM_ARRAY_TASK_COUNT, or JOB_COMPLETION_INDEX
  --parts N               the number of completions of a Kubernetes indexed
                          Job (or GEOMAP_PARTS)
  --tree                  an atlas folder's calibrations with those of every
                          folder below it (a collection)
  --resume                keep the tiles an earlier run wrote (directory,
                          .mbtiles)
  --force                 allow more than 10 million tiles
  --exact                 convert every tile pixel through the calibration
                          (default: a mesh checked to within 0.05 pixel)
  --no-dedup              .pmtiles: store identical tiles each on their own
                          (default: once, every tile of that content
                          pointing at it)
  Tiles outside a map's border (a scanned sheet's margin) are transparent.

serve options:
  --atlas FOLDER          calibrated maps shown as the reference (default: a
                          graticule)
  -p, --port N            the port (default 8765; 0: any free one)
  --bind ADDR             listen on ADDR instead of 127.0.0.1; without it
                          no other address is taken. Changes need the token.
  --cache DIR             where scans' pyramids are cached (default: the
                          user's cache folder)

track options:
  --stats                 length (2D and 3D, on the WGS 84 ellipsoid), ascent,
                          descent, elevation range, duration, moving time and
                          stops of every segment, track and route, and in all,
                          followed by the methods used
  --units m|km            lengths in metres or kilometres (default km)
  --ele-window M          ascent and descent from elevations averaged over M
                          metres of track (default 100; 0: as recorded)
  --hysteresis M          ascent and descent count changes of at least M
                          metres between turning points (default 10)
  --stop-radius M, --stop-time S
                          a stop is a stay of S seconds within M metres
                          (default 60 s within 20 m)
  -o, --output FILE       write every waypoint, route, track and shape read to
                          one .gpx (GPX 1.1; shapes have no GPX form) or
                          .geojson file
  --jobs N                files read at once (default: one per core)

Exit status: 0 when everything was done, 1 when a file or line could not be
used (each is reported on standard error, and the rest is still done), 2 for
a bad command or option, 3 when an output file could not be written or the
input could not be read.

Examples:
  geomap render samples/atlas/alps_eqc.xml --grid lines -o alps.png
  geomap render samples/atlas --center 47.37,8.54 --mag 0.5 --size 1024x768 \
      --landmarks samples/atlas/landmarks.xml -o zurich.png
  geomap render samples/atlas/zurich_utm32.xml --grid utm --utm-step 10000 \
      --size 640x480 -o zurich_grid.jpg
  geomap info samples/atlas/*.xml
  geomap calibrate clicks.txt -i scan.jpg -m equirect -o scan.xml
  printf '47.37 8.54\n' | geomap convert samples/atlas/zurich_utm32.xml
  geomap generate blank.xml --lat 45,48 --lon 5,11 --step 0.5 --size 1200x700
  geomap print samples/atlas/europe_lcc.xml --grid lines -o europe.pdf
  geomap tiles samples/atlas -o atlas_tiles --zoom 3-9
  geomap tiles merge shards/atlas.part-*.pmtiles -o atlas.pmtiles
  geomap find 47.37,8.54 /data/maps
  geomap serve scans/ --atlas samples/atlas
  geomap track ride.gpx walk.kml --stats --units m
)HELP";

}  // namespace

void Report(std::ostream& Err, const std::string& Text) {
  Err << "geomap: " << Text << "\n";
}

int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err) {
  int status = kExitOk;
  if (args.empty()) {
    err << kHelp;
    status = kExitUsage;
  } else if (args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
    out << kHelp;
  } else {
    const std::span<const std::string> rest(args.data() + 1, args.size() - 1);
    const std::string& command = args[0];
    try {
      if (command == "render") {
        status = RunRender(rest, out, err);
      } else if (command == "info") {
        status = RunInfo(rest, out, err);
      } else if (command == "calibrate") {
        status = RunCalibrate(rest, in, out, err);
      } else if (command == "convert") {
        status = RunConvert(rest, in, out, err);
      } else if (command == "generate") {
        status = RunGenerate(rest, out, err);
      } else if (command == "print") {
        status = RunPrint(rest, out, err);
      } else if (command == "import") {
        status = RunImport(rest, out, err);
      } else if (command == "export") {
        status = RunExport(rest, out, err);
      } else if (command == "tiles") {
        status = RunTiles(rest, out, err);
      } else if (command == "find") {
        status = RunFind(rest, out, err);
      } else if (command == "serve") {
        status = RunServe(rest, out, err);
      } else if (command == "track") {
        status = RunTrack(rest, out, err);
      } else {
        throw TUsageError("unknown command '" + apps::Printable(command) + "' (see --help)");
      }
    } catch (const TUsageError& e) {
      Report(err, e.what());
      status = kExitUsage;
    } catch (const std::exception& e) {
      // Whatever a command did not foresee still ends in one line.
      Report(err, apps::Printable(e.what()));
      status = kExitBadInput;
    }
  }
  // Output that never arrived (a full disk, a closed pipe) must not end in a
  // status of success.
  if (!out.flush()) {
    Report(err, "cannot write the output");
    status = kExitIo;
  }
  return status;
}

}  // namespace marovia::geomaptool
