// The page of geomap serve: the scan in its own pixels on the left, the
// reference (an atlas, or a graticule) on the right with the scan warped
// over it. Points are pairs of a pixel and a position; every change is
// sent to the server, which fits, answers the residuals and warps the
// preview through the new fit.
'use strict';

const token = new URLSearchParams(location.search).get('token') || '';
const $ = (id) => document.getElementById(id);

const state = {
  scan: 0,
  scans: [],
  points: [],       // {x, y, lat, lon}
  pendingPixel: null,
  pendingGeo: null,
  mask: [],         // [x, y] image pixels
  drawingMask: false,
  fitSerial: 0,
  lastFit: null,
};

let scanMap = null, refMap = null, scanLayer = null, previewLayer = null;
let markers = [];  // per point: {scan, ref}
let pendingMarkers = { scan: null, ref: null };
let maskPolygon = null;

function status(text, isError) {
  $('status').textContent = text;
  $('status').className = isError ? 'error' : '';
}

async function api(method, path, body) {
  const headers = {};
  if (method === 'POST') headers['X-Marovia-Token'] = token;
  const res = await fetch(path, { method, headers, body });
  const text = await res.text();
  let data = null;
  try { data = JSON.parse(text); } catch (e) { data = { error: text }; }
  if (!res.ok) throw new Error(data.error || res.statusText);
  return data;
}

// ---- The scan in its own pixels --------------------------------------------

// Leaflet's "latitude" is the pixel row (down), "longitude" the column; at
// the finest native zoom one unit is one pixel of the scan.
function scanCrs(levels) {
  const f = 1 / Math.pow(2, levels - 1);
  return L.extend({}, L.CRS.Simple, { transformation: new L.Transformation(f, 0, f, 0) });
}

function showScan() {
  const s = state.scans[state.scan];
  if (scanMap) scanMap.remove();
  scanMap = L.map('scan-map', { crs: scanCrs(s.levels), minZoom: 0, maxZoom: s.levels + 2,
                                attributionControl: false });
  const bounds = L.latLngBounds([0, 0], [s.height, s.width]);
  scanLayer = L.tileLayer(`tiles/scan/${state.scan}/{z}/{x}/{y}.jpg`, {
    maxNativeZoom: s.levels - 1, maxZoom: s.levels + 2, noWrap: true, bounds,
  }).addTo(scanMap);
  // When the first view's tiles are all shown, for measuring it.
  scanLayer.once('load', () => { state.firstView = performance.now(); });
  scanMap.fitBounds(bounds);
  scanMap.on('click', (e) => {
    const x = Math.floor(e.latlng.lng), y = Math.floor(e.latlng.lat);
    if (x < 0 || y < 0 || x >= s.width || y >= s.height) return;
    if (state.drawingMask) {
      state.mask.push([x, y]);
      drawMask();
      return;
    }
    state.pendingPixel = { x, y };
    pendingMarker('scan', [y + 0.5, x + 0.5]);
    completePair();
  });
  state.points = [];
  state.mask = [];
  markers = [];
  redraw();
  return loadSaved();
}

// ---- The reference: atlas tiles or a graticule ------------------------------

function graticuleLayer() {
  const group = L.layerGroup();
  const draw = () => {
    group.clearLayers();
    const b = refMap.getBounds(), z = refMap.getZoom();
    const step = z < 3 ? 30 : z < 5 ? 10 : z < 7 ? 5 : z < 9 ? 1 : z < 11 ? 0.25 : 0.05;
    const south = Math.max(-85, Math.floor(b.getSouth() / step) * step);
    const north = Math.min(85, Math.ceil(b.getNorth() / step) * step);
    const west = Math.floor(b.getWest() / step) * step, east = Math.ceil(b.getEast() / step) * step;
    const style = { color: '#36c', weight: 1, opacity: 0.6, interactive: false };
    for (let lat = south; lat <= north + 1e-9; lat += step)
      group.addLayer(L.polyline([[lat, west], [lat, east]], style));
    for (let lon = west; lon <= east + 1e-9; lon += step)
      group.addLayer(L.polyline([[south, lon], [north, lon]], style));
  };
  group.on('add', () => { refMap.on('moveend', draw); draw(); });
  return group;
}

function showReference(info) {
  refMap = L.map('ref-map', { worldCopyJump: false, attributionControl: false });
  if (info.atlas) {
    L.tileLayer('tiles/atlas/{z}/{x}/{y}.png', { maxZoom: 20 }).addTo(refMap);
    const [w, s, e, n] = info.atlasBounds;
    refMap.fitBounds([[s, w], [n, e]]);
  } else {
    refMap.setView([20, 0], 2);
  }
  graticuleLayer().addTo(refMap);
  previewLayer = L.tileLayer('', { maxZoom: 22, opacity: Number($('opacity').value) });
  refMap.on('click', (e) => {
    if (state.drawingMask) return;
    state.pendingGeo = { lat: e.latlng.lat, lon: L.Util.wrapNum(e.latlng.lng, [-180, 180], true) };
    pendingMarker('ref', [e.latlng.lat, e.latlng.lng]);
    completePair();
  });
}

// ---- Points -------------------------------------------------------------------

function icon(label, pending) {
  return L.divIcon({ className: 'gcp-label', html: String(label),
                     iconSize: null, iconAnchor: pending ? [4, 8] : [6, 8] });
}

function pendingMarker(side, latlng) {
  const map = side === 'scan' ? scanMap : refMap;
  if (pendingMarkers[side]) map.removeLayer(pendingMarkers[side]);
  pendingMarkers[side] = L.marker(latlng, { icon: icon('?', true) }).addTo(map);
}

function clearPending() {
  for (const side of ['scan', 'ref']) {
    const map = side === 'scan' ? scanMap : refMap;
    if (pendingMarkers[side]) map.removeLayer(pendingMarkers[side]);
    pendingMarkers[side] = null;
  }
  state.pendingPixel = null;
  state.pendingGeo = null;
}

function completePair() {
  if (!state.pendingPixel || !state.pendingGeo) {
    status(state.pendingPixel ? 'Now click the reference or type the position.'
                              : 'Now click the scan.');
    return;
  }
  state.points.push({ ...state.pendingPixel, ...state.pendingGeo });
  clearPending();
  changed();
}

function redraw() {
  for (const m of markers) { m.scan.remove(); m.ref.remove(); }
  markers = state.points.map((p, i) => {
    const scan = L.marker([p.y + 0.5, p.x + 0.5], { icon: icon(i + 1), draggable: true })
      .addTo(scanMap);
    const ref = L.marker([p.lat, p.lon], { icon: icon(i + 1), draggable: true }).addTo(refMap);
    scan.on('dragend', () => {
      const ll = scan.getLatLng();
      p.x = Math.floor(ll.lng); p.y = Math.floor(ll.lat);
      changed();
    });
    ref.on('dragend', () => {
      const ll = ref.getLatLng();
      p.lat = ll.lat; p.lon = L.Util.wrapNum(ll.lng, [-180, 180], true);
      changed();
    });
    return { scan, ref };
  });
  drawMask();
}

function deletePoint(i) {
  state.points.splice(i, 1);
  changed();
}

function drawMask() {
  if (maskPolygon) scanMap.removeLayer(maskPolygon);
  maskPolygon = null;
  if (state.mask.length)
    maskPolygon = L.polygon(state.mask.map(([x, y]) => [y, x]),
                            { color: '#c0c', fill: false, interactive: false }).addTo(scanMap);
}

// ---- The fit ----------------------------------------------------------------

function showModelOptions() {
  const m = $('model').value;
  for (const el of document.querySelectorAll('.opt'))
    el.style.display = el.classList.contains(m) ? 'inline' : 'none';
}

function fitBody() {
  const m = $('model').value;
  const lines = [`model ${m}`];
  if (m === 'utm') lines.push(`zone ${$('zone').value.trim()}`);
  if (m === 'projected') lines.push(`crs ${$('crs').value.trim()}`, `order ${$('order').value}`);
  if (m === 'thinplate') lines.push(`smoothing ${$('smoothing').value.trim() || 0}`);
  if (state.mask.length >= 3) lines.push('mask ' + state.mask.map((v) => v.join(' ')).join(' '));
  for (const p of state.points)
    lines.push(`${p.x} ${p.y} ${p.lat.toFixed(8)} ${p.lon.toFixed(8)}`);
  return lines.join('\n') + '\n';
}

function fmt(v, digits) { return v === null || v === undefined ? '' : Number(v).toFixed(digits); }

function showResiduals(fit) {
  const body = $('residuals').querySelector('tbody');
  body.textContent = '';
  let worst = -1, worstSize = -1;
  (fit ? fit.points : []).forEach((r, i) => {
    const size = r.valid ? Math.hypot(r.dx, r.dy) : -1;
    if (size > worstSize) { worst = i; worstSize = size; }
  });
  state.points.forEach((p, i) => {
    const r = fit && fit.points[i];
    const tr = document.createElement('tr');
    if (i === worst && state.points.length > 1) tr.className = 'worst';
    const cells = [i + 1, p.x, p.y, fmt(p.lat, 6), fmt(p.lon, 6),
      r && r.valid ? fmt(r.dx, 2) : '', r && r.valid ? fmt(r.dy, 2) : '',
      r && r.valid ? fmt(r.m, 1) : '',
      r && r.looValid ? fmt(r.looDx, 2) : '', r && r.looValid ? fmt(r.looDy, 2) : '',
      r && r.looValid ? fmt(r.looM, 1) : ''];
    for (const c of cells) {
      const td = document.createElement('td');
      td.textContent = c;
      tr.appendChild(td);
    }
    const td = document.createElement('td');
    const del = document.createElement('button');
    del.textContent = 'delete';
    del.className = 'delete';
    del.onclick = () => deletePoint(i);
    td.appendChild(del);
    tr.appendChild(td);
    body.appendChild(tr);
  });
}

async function refit() {
  const serial = ++state.fitSerial;
  try {
    const fit = await api('POST', `api/fit?scan=${state.scan}`, fitBody());
    if (serial !== state.fitSerial) return;  // a later change is on its way
    state.lastFit = fit;
    showResiduals(fit);
    if (fit.ok) {
      status(`${state.points.length} points, ${fit.rms.toFixed(2)} px root mean square`);
      previewLayer.setUrl(`tiles/preview/${state.scan}/${fit.generation}/{z}/{x}/{y}.png`);
      if (!refMap.hasLayer(previewLayer)) previewLayer.addTo(refMap);
    } else {
      status(fit.message || 'no fit', true);
    }
  } catch (e) {
    if (serial === state.fitSerial) { showResiduals(null); status(e.message, true); }
  }
}

function changed() {
  redraw();
  showResiduals(state.lastFit);
  refit();
}

// ---- Buttons ------------------------------------------------------------------

async function usePosition() {
  try {
    const p = await api('GET', 'api/position?text=' + encodeURIComponent($('position').value));
    state.pendingGeo = { lat: p.lat, lon: p.lon };
    pendingMarker('ref', [p.lat, p.lon]);
    completePair();
  } catch (e) {
    status(e.message, true);
  }
}

async function save() {
  try {
    const r = await api('POST', `api/calibration?scan=${state.scan}`, fitBody());
    status(`saved ${r.file}`);
  } catch (e) {
    status(e.message, true);
  }
}

async function exportMap() {
  const to = $('export-format').value;
  status(`exporting ${to}...`);
  try {
    const r = await api('POST', `api/export?scan=${state.scan}&to=${encodeURIComponent(to)}`,
                        fitBody());
    status(`wrote ${r.file}${r.log ? ': ' + r.log.trim().split('\n').slice(-1)[0] : ''}`);
  } catch (e) {
    status(e.message, true);
  }
}

// Settings and points as the server answers them for an annotation or a
// saved calibration.
function applyCalibration(a) {
  $('model').value = a.model;
  $('smoothing').value = a.smoothing;
  $('crs').value = a.crs || '';
  $('order').value = String(a.order || 1);
  showModelOptions();
  state.points = a.points.map((p) => ({ x: Math.round(p.x), y: Math.round(p.y),
                                        lat: p.lat, lon: p.lon }));
  state.mask = a.mask;
  changed();
}

async function importAnnotation(file) {
  try {
    applyCalibration(await api('POST', `api/annotation?scan=${state.scan}`, await file.text()));
  } catch (e) {
    status(e.message, true);
  }
}

// Resumes from the calibration saved beside the scan, if any.
async function loadSaved() {
  try {
    applyCalibration(await api('GET', `api/calibration?scan=${state.scan}`));
    status(`${state.points.length} points of the saved calibration`);
  } catch (e) {
    // none saved yet
  }
}

function toggleMask() {
  state.drawingMask = !state.drawingMask;
  if (state.drawingMask) {
    state.mask = [];
    drawMask();
    $('mask').textContent = 'Finish mask';
    status('Click the corners of the map border on the scan, then Finish mask.');
  } else {
    $('mask').textContent = 'Draw mask';
    if (state.mask.length < 3) state.mask = [];
    drawMask();
    changed();
  }
}

async function start() {
  showModelOptions();
  const info = await api('GET', 'api/scans');
  state.scans = info.scans;
  info.scans.forEach((s, i) => {
    const o = document.createElement('option');
    o.value = i;
    o.textContent = `${s.name} (${s.width} x ${s.height})`;
    $('scan').appendChild(o);
  });
  showReference(info);
  await showScan();
  $('scan').onchange = () => { state.scan = Number($('scan').value); showScan(); };
  $('model').onchange = () => { showModelOptions(); refit(); };
  for (const id of ['zone', 'crs', 'order', 'smoothing']) $(id).onchange = refit;
  $('use-position').onclick = usePosition;
  $('position').onkeydown = (e) => { if (e.key === 'Enter') usePosition(); };
  $('save').onclick = save;
  $('export').onclick = exportMap;
  $('mask').onclick = toggleMask;
  $('opacity').oninput = () => previewLayer.setOpacity(Number($('opacity').value));
  $('annotation-out').onclick = async (e) => {
    e.preventDefault();
    try {
      const res = await fetch(`api/annotation?scan=${state.scan}`);
      if (!res.ok) throw new Error((await res.json()).error);
      const url = URL.createObjectURL(await res.blob());
      const a = document.createElement('a');
      a.href = url;
      a.download = state.scans[state.scan].name.replace(/\.[^.]*$/, '') + '.annotation.json';
      a.click();
    } catch (err) {
      status(err.message, true);
    }
  };
  $('annotation-in').onchange = (e) => { if (e.target.files[0]) importAnnotation(e.target.files[0]); };
  window.serveDebug = { get scanMap() { return scanMap; }, get refMap() { return refMap; }, state };
  document.body.dataset.ready = '1';
}

start().catch((e) => status(e.message, true));
