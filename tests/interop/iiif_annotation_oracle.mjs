// The georeference annotation packages of the IIIF maps community as the
// oracle of our annotations, run by iiif_annotation_test.cpp:
//   node iiif_annotation_oracle.mjs MODULES read ANNOTATION.json...
//       parses each annotation and prints a line with its transformation's
//       type, then for each "x y" line of standard input the "lon lat" the
//       transformation gives
//   node iiif_annotation_oracle.mjs MODULES annotate POINTS.json PREFIX
//       writes the annotations PREFIXpolynomial1.json, ...polynomial2,
//       ...polynomial3 and ...thinPlateSpline.json of the points ([[x, y,
//       lon, lat], ...]) of an image of 1000 x 800 pixels
// (one run does many: starting node with the packages takes a second)
// MODULES is the node_modules folder the packages are installed in.
import { readFileSync, writeFileSync } from 'node:fs'
import { pathToFileURL } from 'node:url'

const [modules, command, ...rest] = process.argv.slice(2)
const load = (name) => import(pathToFileURL(`${modules}/@allmaps/${name}/dist/index.js`).href)
const { parseAnnotation, generateAnnotation } = await load('annotation')
const { GcpTransformer } = await load('transform')

function typeOf(transformation) {
  if (!transformation) return 'polynomial'
  if (transformation.type === 'polynomial') {
    const order = transformation.options?.order ?? 1
    return order === 1 ? 'polynomial' : `polynomial${order}`
  }
  return transformation.type
}

if (command === 'read') {
  const pixels = readFileSync(0, 'utf8')
    .split('\n')
    .map((line) => line.trim().split(/\s+/).map(Number))
    .filter((f) => f.length >= 2 && !f.some(Number.isNaN))
  const lines = []
  for (const file of rest) {
    const map = parseAnnotation(JSON.parse(readFileSync(file, 'utf8')))[0]
    const type = typeOf(map.transformation)
    const transformer = new GcpTransformer(map.gcps, type)
    lines.push(type)
    for (const f of pixels) {
      const [lon, lat] = transformer.transformToGeo([f[0], f[1]])
      lines.push(`${lon.toPrecision(17)} ${lat.toPrecision(17)}`)
    }
  }
  console.log(lines.join('\n'))
} else if (command === 'annotate') {
  const [pointsFile, prefix] = rest
  const points = JSON.parse(readFileSync(pointsFile, 'utf8'))
  for (const type of ['polynomial1', 'polynomial2', 'polynomial3', 'thinPlateSpline']) {
    const transformation =
      type === 'thinPlateSpline'
        ? { type: 'thinPlateSpline' }
        : { type: 'polynomial', options: { order: Number(type.slice(-1)) } }
    const map = {
      '@context': 'https://schemas.allmaps.org/map/2/context.json',
      type: 'GeoreferencedMap',
      resource: {
        id: 'https://example.org/iiif/scan',
        type: 'ImageService3',
        width: 1000,
        height: 800
      },
      gcps: points.map(([x, y, lon, lat]) => ({ resource: [x, y], geo: [lon, lat] })),
      resourceMask: [[0, 0], [1000, 0], [1000, 800], [0, 800]],
      transformation
    }
    writeFileSync(`${prefix}${type}.json`, JSON.stringify(generateAnnotation(map), null, 2))
  }
} else {
  console.error('usage: iiif_annotation_oracle.mjs MODULES read|annotate ...')
  process.exit(2)
}
