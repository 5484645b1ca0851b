// Everything of the geodesy unit: ellipsoids, Transverse Mercator, UTM, UPS, MGRS,
// cartesian coordinates, datum shift and the country table.
#pragma once

#include "marovia/geobasics/cartesian.h"
#include "marovia/geobasics/countries.h"
#include "marovia/geobasics/datums.h"
#include "marovia/geobasics/ellipsoids.h"
#include "marovia/geobasics/mgrs.h"
#include "marovia/geobasics/transverse_mercator.h"
#include "marovia/geobasics/ups.h"
#include "marovia/geobasics/utm.h"
#include "marovia/geobasics/utm_batch.h"
