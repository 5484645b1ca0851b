"""The first view of a large scan in geomap serve's page, in headless
Chromium: milliseconds from the page's navigation to the moment every tile
of the scan's first view is shown, with the scan's pyramid already built
(the server is asked for a tile before the browser starts). Each run is a
new navigation of one browser with its cache off; the first run, which also
pays for starting the browser's network and renderer processes, is
reported apart.

Usage: serve_first_view.py GEOMAP SCAN [RUNS]
The figures go to standard output as "first_run_ms T" and
"first_view_ms median min max" over the other runs.
"""
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

import websocket

GEOMAP, SCAN = sys.argv[1], sys.argv[2]
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 5


def line_matching(stream, pattern):
    deadline = time.time() + 600
    while time.time() < deadline:
        m = re.search(pattern, stream.readline())
        if m:
            return m
    raise SystemExit('no line matching ' + pattern)


def call(ws, ident, method, **params):
    ws.send(json.dumps({'id': ident, 'method': method, 'params': params}))
    while True:
        r = json.loads(ws.recv())
        if r.get('id') == ident:
            return r.get('result', {})


def main():
    work = tempfile.mkdtemp(prefix='marovia_first_view_')
    procs = []
    try:
        server = subprocess.Popen([GEOMAP, 'serve', SCAN, '--port', '0', '--cache', work + '/cache'],
                                  stdout=subprocess.PIPE,
                                  text=True)
        procs.append(server)
        url = line_matching(server.stdout, r'(http://\S+)')[1]
        base = url.split('/?')[0]
        urllib.request.urlopen(base + '/tiles/scan/0/0/0/0.jpg', timeout=600).read()
        browser = subprocess.Popen(
            ['chromium', '--headless=new', '--no-sandbox', '--disable-gpu',
             '--remote-debugging-port=0', f'--user-data-dir={work}/profile',
             '--window-size=1600,900', '--no-first-run', 'about:blank'],
            stderr=subprocess.PIPE, text=True)
        procs.append(browser)
        devtools = line_matching(browser.stderr, r'DevTools listening on ws://([^/]+)/')[1]
        targets = json.load(urllib.request.urlopen(f'http://{devtools}/json/list'))
        ws = websocket.create_connection(
            next(t for t in targets if t['type'] == 'page')['webSocketDebuggerUrl'])
        ident = 1
        call(ws, ident, 'Network.enable')
        ident += 1
        call(ws, ident, 'Network.setCacheDisabled', cacheDisabled=True)
        times = []
        for run in range(RUNS + 1):
            ident += 1
            call(ws, ident, 'Page.navigate', url='about:blank')
            ident += 1
            call(ws, ident, 'Page.navigate', url=url)
            value = None
            for _ in range(2000):
                ident += 1
                r = call(ws, ident, 'Runtime.evaluate', returnByValue=True,
                         expression="typeof serveDebug !== 'undefined' && "
                                    "serveDebug.state.firstView || 0")
                value = r['result'].get('value')
                if value:
                    break
                time.sleep(0.01)
            times.append(value)
        print(f'first_run_ms {times[0]:.0f}')
        times = times[1:]
        print(f'first_view_ms {statistics.median(times):.0f} {min(times):.0f} {max(times):.0f}')
    finally:
        for p in procs:
            if p.poll() is None:
                p.terminate()
                p.wait()
        shutil.rmtree(work, ignore_errors=True)


main()
