#!/bin/sh
# One shard of a map collection's web tiles per task of a Slurm job array.
# geomap takes the shard from SLURM_ARRAY_TASK_ID and SLURM_ARRAY_TASK_COUNT,
# writes its fragment beside the output under a temporary name, then the
# fragment's manifest; a task run again after it completed does nothing.
#
#   sbatch --array=0-15 tiles_array.sbatch MAPS OUTPUT [geomap tiles options]
#   e.g.  sbatch --array=0-15 tiles_array.sbatch /data/maps /shared/tiles/maps.pmtiles --zoom 4-14
#
# then, once every task has ended (sbatch --wait, or a job with
# --dependency=afterok:JOBID):
#   geomap tiles merge /shared/tiles/maps.part-*.pmtiles -o maps.pmtiles
#   geomap tiles verify maps.pmtiles /shared/tiles
#
# GEOMAP names the program when it is not on the PATH.
#SBATCH --job-name=geomap-tiles
#SBATCH --ntasks=1
#SBATCH --cpus-per-task=1
set -eu
if [ "$#" -lt 2 ]; then
  echo "usage: sbatch --array=0-N tiles_array.sbatch MAPS OUTPUT [options]" >&2
  exit 2
fi
maps=$1
output=$2
shift 2
exec "${GEOMAP:-geomap}" tiles "$maps" -o "$output" --jobs "${SLURM_CPUS_PER_TASK:-1}" "$@"
