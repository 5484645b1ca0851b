"""Writers for the map control's calibration, landmark and symbol files.

The files are line-oriented: Windows-1252 bytes, every line ended by CR LF,
each element of a calibration set on the lines the readers expect.
"""
import unicodedata

DECLARATION = '<?xml version="1.0" encoding="windows-1252"?>'

# Shape names written to symbol files (the display names of the shapes).
SHAPE_DISPLAY_NAMES = ['Plus', 'Square', 'Triangle', 'Circle', 'ArrowFrom', 'ArrowTo',
                       'CrossBox', 'Spade', 'Cross', 'User-Defined']

# Letters that have no decomposition to a plain Latin letter.
_TRANSLITERATION = {'Ł': 'L', 'ł': 'l', 'Đ': 'D', 'đ': 'd', 'Ø': 'O', 'ø': 'o',
                    'ı': 'i', 'Ħ': 'H', 'ħ': 'h', 'Ŧ': 'T', 'ŧ': 't'}


def to_cp1252(text):
    """Text as Windows-1252 bytes. A text with any character outside that
    code page is written in Latin transliteration as a whole (accents
    dropped), so that a name is not left half transliterated."""
    try:
        return text.encode('cp1252')
    except UnicodeEncodeError:
        pass
    out = []
    for ch in text:
        if ord(ch) < 128:
            out.append(ch)
        elif ch in _TRANSLITERATION:
            out.append(_TRANSLITERATION[ch])
        else:
            out.append(''.join(c for c in unicodedata.normalize('NFKD', ch)
                               if not unicodedata.combining(c)))
    latin = ''.join(out)
    try:
        return latin.encode('ascii')
    except UnicodeEncodeError:
        raise ValueError('no Latin transliteration for %r' % text)


def escape_attribute(text):
    return (text.replace('&', '&amp;').replace('"', '&quot;')
            .replace('<', '&lt;').replace('>', '&gt;'))


def write_lines(path, lines):
    with open(path, 'wb') as f:
        for line in lines:
            f.write(to_cp1252(line) + b'\r\n')


def fixed(value, decimals):
    """Fixed point, '.' as separator, no blanks; never '-0.000'."""
    text = '%.*f' % (decimals, value)
    if text.startswith('-') and float(text) == 0:
        text = text[1:]
    return text


def general(value):
    """Shortest general form with at most 15 significant digits: '52', '-7.5'."""
    text = '%.15g' % value
    return '0' if text == '-0' else text


def tcolor_hex(r, g, b):
    """The colour value with red in the lowest byte, as 8 hexadecimal digits."""
    return '%08X' % (r | (g << 8) | (b << 16))


def calibration_lines(data_id, model, map_name, caption, corners, resolution,
                      utm_zone=None, utm_south=False, ellipsoid='gelWGS84',
                      callines=(), quads=()):
    """One calibration set.

    corners: [(lat, lon)] top left, bottom left, bottom right, top right.
    callines: [(kind, value, [(x, y)])] with kind 'meridian' or 'parallel'.
    quads: [(lat, lon, x, y)], or (northing, easting, x, y) for the UTM model.
    """
    for value in (data_id, map_name, caption):
        if '"' in value:
            raise ValueError('a calibration set cannot hold a double quote: %r' % value)
    lines = [DECLARATION, '', '<!-- TGeoMap Calibration / Quorvant -->',
             '<geomap sig="Quorvant" vers="1.0" id="%s" model="%s" map="%s" caption="%s">'
             % (data_id, model, map_name, caption),
             '<corners>',
             ''.join('[%s,%s] ' % (fixed(lat, 5), fixed(lon, 5)) for lat, lon in corners),
             '</corners>']
    if resolution > 0:
        lines.append('<resolution>%s</resolution>' % fixed(resolution, 3))
    if utm_zone is not None and 1 <= utm_zone <= 60:
        lines.append('<utmzone>%d</utmzone>' % utm_zone)
        lines.append('<utmsouth>%s</utmsouth>' % ('TRUE' if utm_south else 'FALSE'))
    lines.append('<ellipsoid>%s</ellipsoid>' % ellipsoid)
    for kind, value, points in callines:
        assert kind in ('meridian', 'parallel') and 0 < len(points) <= 10
        lines.append('<calline type="%s" value="%s" npoints="%d">' % (kind, general(value), len(points)))
        lines.append(''.join('[%d,%d] ' % p for p in points))
        lines.append('</calline>')
    assert len(callines) <= 25 and len(quads) <= 200
    if quads:
        lines.append('<calquads npoints="%d">' % len(quads))
        lines.append(''.join('[%s,%s,%d,%d] ' % (fixed(a, 5), fixed(b, 5), x, y)
                             for a, b, x, y in quads))
        lines.append('</calquads>')
    lines.append('</geomap>')
    return lines


def landmark_element(attributes):
    """One self-closed landmark element from (name, value) pairs."""
    return '<landmark %s />' % ' '.join('%s="%s"' % (name, escape_attribute(str(value)))
                                        for name, value in attributes)


def landmark_lines(data_id, elements):
    return ([DECLARATION, '', '<!-- TGeoMap Landmarks / Quorvant -->',
             '<gmlandmarks sig="Quorvant" vers="1.0" id="%s">' % data_id]
            + list(elements) + ['</gmlandmarks>'])


def symbol_lines(data_id, symbols):
    """symbols: dicts with shape (index into SHAPE_DISPLAY_NAMES), name,
    category, fg, bg (8-digit colour texts), size, transparent, direction,
    length."""
    lines = [DECLARATION, '', '<!-- TGeoMap Landmark Repository / Quorvant -->',
             '<lmsymbols sig="Quorvant" vers="1.0" id="%s">' % data_id]
    for s in symbols:
        # Symbol names are read back as written, without unescaping.
        assert len(s['name']) <= 40 and not set(s['name']) & set('&"<>')
        lines.append('<symbol element="%s" name="%s" category="%d" colorfg="%s" colorbg="%s" '
                     'size="%d" transp="%s" dir="%d" leng="%d" />'
                     % (SHAPE_DISPLAY_NAMES[s['shape']], s['name'], s['category'],
                        s['fg'], s['bg'], s['size'], 'TRUE' if s['transparent'] else 'FALSE',
                        s['direction'], s['length']))
    lines.append('</lmsymbols>')
    return lines
