"""geomap serve's page in headless Chromium, driven through the DevTools
protocol: six point pairs placed by clicks on the scan and on the
reference and by typed positions (degrees-minutes-seconds, UTM, decimal),
the residual table read, the model changed, the calibration saved. The
saved file must equal what geomap calibrate writes from the same points,
and the table what geomap info prints for it.

Usage: serve_page_test.py GEOMAP SAMPLE_ATLAS
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request

import websocket

GEOMAP, ATLAS = sys.argv[1], sys.argv[2]
SCAN_SOURCE = os.path.join(ATLAS, 'alps_eqc.jpg')
CALIBRATION = os.path.join(ATLAS, 'alps_eqc.xml')
TIMEOUT = 30


def fail(message):
    print('FAIL:', message)
    sys.exit(1)


def read_line_matching(stream, pattern, what):
    deadline = time.time() + TIMEOUT
    while time.time() < deadline:
        line = stream.readline()
        if not line:
            break
        m = re.search(pattern, line)
        if m:
            return m
    fail('no ' + what)


class Page:
    """One tab, spoken to over its DevTools web socket."""

    def __init__(self, ws_url):
        self.ws = websocket.create_connection(ws_url, timeout=TIMEOUT)
        self.next_id = 0

    def call(self, method, **params):
        self.next_id += 1
        self.ws.send(json.dumps({'id': self.next_id, 'method': method, 'params': params}))
        while True:
            reply = json.loads(self.ws.recv())
            if reply.get('id') == self.next_id:
                if 'error' in reply:
                    fail(f'{method}: {reply["error"]}')
                return reply.get('result', {})

    def eval(self, expression):
        r = self.call('Runtime.evaluate', expression=expression, returnByValue=True,
                      awaitPromise=True)
        if 'exceptionDetails' in r:
            fail(f'{expression}: {r["exceptionDetails"]}')
        return r['result'].get('value')

    def wait_for(self, expression, what):
        deadline = time.time() + TIMEOUT
        while time.time() < deadline:
            if self.eval(expression):
                return
            time.sleep(0.05)
        fail('waited in vain for ' + what + ': ' + str(self.eval("$('status').textContent")))

    def click(self, x, y):
        for kind in ('mousePressed', 'mouseReleased'):
            self.call('Input.dispatchMouseEvent', type=kind, x=x, y=y, button='left',
                      clickCount=1)

    def click_element(self, element_id):
        x, y = self.eval(f"(() => {{ const r = $('{element_id}').getBoundingClientRect();"
                         " return [r.x + r.width / 2, r.y + r.height / 2]; })()")
        self.click(x, y)

    def map_point(self, map_name, lat, lng):
        """The page coordinates of a position on one of the two maps."""
        return self.eval(f"""(() => {{
            const m = serveDebug.{map_name};
            const p = m.latLngToContainerPoint([{lat}, {lng}]);
            const r = m.getContainer().getBoundingClientRect();
            return [r.x + p.x, r.y + p.y]; }})()""")


def geo_of(pixels):
    """Positions of scan pixels by the sample's calibration (geomap convert)."""
    text = ''.join(f'{x} {y}\n' for x, y in pixels)
    out = subprocess.run([GEOMAP, 'convert', CALIBRATION, '--to-geo'], input=text,
                         capture_output=True, text=True, check=True).stdout.split()
    return [(float(out[2 * i]), float(out[2 * i + 1])) for i in range(len(pixels))]


def dms(value, positive, negative):
    letter = positive if value >= 0 else negative
    value = abs(value)
    d = int(value)
    m = int((value - d) * 60)
    s = (value - d - m / 60) * 3600
    return f"{d}\u00b0{m}'{s:.3f}\"{letter}"


def utm_text(lat, lon):
    """'32T 465270 5246384' for a position, by GeographicLib's GeoConvert."""
    out = subprocess.run(['GeoConvert', '-u', '-p', '0'], input=f'{lat} {lon}\n',
                         capture_output=True, text=True, check=True).stdout.split()
    band = 'CDEFGHJKLMNPQRSTUVWX'[int((lat + 80) // 8)]
    return f'{out[0][:-1]}{band} {out[1]} {out[2]}'


def info_rows(calibration):
    out = subprocess.run([GEOMAP, 'info', calibration], capture_output=True, text=True,
                         check=True).stdout
    rows, table = [], False
    for line in out.splitlines():
        if 'left out:' in line:
            table = True
            continue
        fields = line.split()
        if table and len(fields) == 11:
            rows.append([float(f) for f in fields])
    return rows


def page_rows(page):
    return page.eval("""[...document.querySelectorAll('#residuals tbody tr')].map(
        (tr) => [...tr.querySelectorAll('td')].slice(0, 11).map((td) => td.textContent))""")


def compare_tables(page, saved):
    shown = page_rows(page)
    expected = info_rows(saved)
    if len(shown) != 6 or len(expected) != 6:
        fail(f'table rows: page {len(shown)}, info {len(expected)}')
    units = {5: 0.01, 6: 0.01, 7: 0.1, 8: 0.01, 9: 0.01, 10: 0.1}
    for i, (row, want) in enumerate(zip(shown, expected)):
        for column, unit in units.items():
            got = float(row[column]) if row[column] else None
            if got is None or abs(got - want[column]) > unit / 2 + 1e-9:
                fail(f'point {i + 1} column {column}: page {row[column]}, info {want[column]}')


def main():
    work = tempfile.mkdtemp(prefix='marovia_serve_page_')
    server = browser = None
    try:
        scans = os.path.join(work, 'scans')
        os.makedirs(scans)
        shutil.copy(SCAN_SOURCE, os.path.join(scans, 'alps.jpg'))
        server = subprocess.Popen([GEOMAP, 'serve', scans, '--port', '0', '--cache',
                                   os.path.join(work, 'cache')],
                                  stdout=subprocess.PIPE, text=True)
        url = read_line_matching(server.stdout, r'(http://\S+)', 'address from geomap serve')[1]
        browser = subprocess.Popen(
            ['chromium', '--headless=new', '--no-sandbox', '--disable-gpu',
             '--remote-debugging-port=0', '--user-data-dir=' + os.path.join(work, 'profile'),
             '--window-size=1000,700', '--no-first-run', 'about:blank'],
            stderr=subprocess.PIPE, text=True)
        devtools = read_line_matching(browser.stderr, r'DevTools listening on ws://([^/]+)/',
                                      'DevTools address from chromium')[1]
        targets = json.load(urllib.request.urlopen(f'http://{devtools}/json/list'))
        page = Page(next(t for t in targets if t['type'] == 'page')['webSocketDebuggerUrl'])
        page.call('Page.navigate', url=url)
        page.wait_for("typeof serveDebug !== 'undefined' && document.body.dataset.ready === '1'",
                      'the page')

        pixels = [(150, 120), (1450, 140), (820, 560), (180, 1000), (1420, 980), (640, 330)]
        positions = geo_of(pixels)
        typed = {1: lambda lat, lon: f'{dms(lat, "N", "S")} {dms(lon, "E", "W")}',
                 3: None,  # UTM
                 5: lambda lat, lon: f'{lat:.6f}, {lon:.6f}'}
        for i, ((x, y), (lat, lon)) in enumerate(zip(pixels, positions)):
            # The scan: zoomed in around the pixel, then clicked.
            page.eval(f'void serveDebug.scanMap.setView([{y + 0.5}, {x + 0.5}], '
                      f'serveDebug.state.scans[0].levels - 1, {{animate: false}})')
            page.click(*page.map_point('scanMap', y + 0.5, x + 0.5))
            if i in typed:
                if typed[i] is None:
                    text = utm_text(lat, lon)
                else:
                    text = typed[i](lat, lon)
                page.eval(f"void ($('position').value = {json.dumps(text)})")
                page.click_element('use-position')
            else:
                page.eval(f'void serveDebug.refMap.setView([{lat}, {lon}], 13, {{animate: false}})')
                page.click(*page.map_point('refMap', lat, lon))
            page.wait_for(f'serveDebug.state.points.length === {i + 1}', f'point pair {i + 1}')
        page.wait_for("document.querySelectorAll('#residuals tbody tr').length === 6 && "
                      "serveDebug.state.lastFit && serveDebug.state.lastFit.points.length === 6",
                      'the residual table')
        equirect_rows = page_rows(page)
        if any(not row[8] for row in equirect_rows):
            fail(f'no leave-one-out residuals in {equirect_rows}')

        # The model changed to an interpolating thin-plate spline.
        page.eval("$('model').value = 'thinplate'; void $('model').onchange()")
        page.wait_for("serveDebug.state.lastFit && "
                      "serveDebug.state.lastFit.points.every((p) => Math.abs(p.dx) < 1e-6)",
                      'the thin-plate fit')
        page.click_element('save')
        page.wait_for("$('status').textContent === 'saved alps.xml'", 'the saved calibration')
        saved = os.path.join(scans, 'alps.xml')

        # geomap calibrate from the points the page holds, as it sent them.
        points = page.eval("serveDebug.state.points.map((p) => "
                           "`${p.x} ${p.y} ${p.lat.toFixed(8)} ${p.lon.toFixed(8)}`).join('\\n')")
        other = os.path.join(work, 'other')
        os.makedirs(other)
        with open(os.path.join(other, 'points.txt'), 'w') as f:
            f.write(points + '\n')
        subprocess.run([GEOMAP, 'calibrate', os.path.join(other, 'points.txt'), '-i',
                        os.path.join(scans, 'alps.jpg'), '-m', 'thinplate', '--smoothing', '0',
                        '-o', os.path.join(other, 'alps.xml')], check=True, capture_output=True)
        with open(saved, 'rb') as a, open(os.path.join(other, 'alps.xml'), 'rb') as b:
            if a.read() != b.read():
                fail('the saved calibration differs from geomap calibrate\'s')
        compare_tables(page, saved)
        print('ok')
    finally:
        # Both were started here; the browser's profile is thrown away, so it
        # need not shut down cleanly.
        for p, stop in ((browser, 'kill'), (server, 'terminate')):
            if p and p.poll() is None:
                getattr(p, stop)()
                try:
                    p.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    p.kill()
        shutil.rmtree(work, ignore_errors=True)


main()
