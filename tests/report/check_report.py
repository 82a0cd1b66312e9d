#!/usr/bin/env python3
"""Reads a report the way a browser would (html5lib, strict: any parse error fails) and
prints what a reader finds in it as JSON, for the tests to compare."""
import json
import sys

import html5lib

NS = "{http://www.w3.org/1999/xhtml}"
SVG = "{http://www.w3.org/2000/svg}"


def text(element):
    return "".join(element.itertext())


def main(path):
    with open(path, "rb") as f:
        data = f.read()
    parser = html5lib.HTMLParser(strict=True, namespaceHTMLElements=True)
    doc = parser.parse(data)  # raises on the first parse error
    # Anything that would fetch or run something: a script, a frame, an object, a style
    # sheet or image from a URL, an event handler attribute.
    outside = []
    for el in doc.iter():
        tag = el.tag.split("}")[-1] if isinstance(el.tag, str) else ""
        if tag in ("script", "iframe", "object", "embed", "link", "img", "audio", "video", "base"):
            outside.append(tag)
        for name, value in el.attrib.items():
            if name in ("src", "href") or name.startswith("on") or "url(" in value:
                outside.append(tag + "@" + name)
    for style in doc.iter(NS + "style"):
        if "url(" in text(style) or "@import" in text(style):
            outside.append("style-url")
    def rows_with_class(id_, cls):
        for t in doc.iter(NS + "table"):
            if t.get("id") == id_:
                return [i for i, tr in enumerate(t.iter(NS + "tr")) if cls in (tr.get("class") or "").split()]
        return None
    def items(id_):
        for ul in doc.iter(NS + "ul"):
            if ul.get("id") == id_:
                return [text(li) for li in ul.iter(NS + "li")]
        return None
    result = [p for p in doc.iter(NS + "p") if p.get("id") == "result"]

    def table(id_):
        for t in doc.iter(NS + "table"):
            if t.get("id") == id_:
                return [[text(c) for c in tr if c.tag in (NS + "td", NS + "th")] for tr in t.iter(NS + "tr")]
        return None
    trace = [p for p in doc.iter(NS + "pre") if p.get("id") == "trace"]
    svgs = list(doc.iter(SVG + "svg"))
    banner = [d for d in doc.iter(NS + "div") if d.get("id") == "banner"]
    print(json.dumps({
        "title": text(next(doc.iter(NS + "title"))),
        "charset": data[:200].lower().count(b'charset="utf-8"'),
        "banner": text(banner[0]) if banner else None,
        "outside": outside,
        "settings": table("settings"),
        "result": text(result[0]) if result else None,
        "routes": table("routes"),
        "failed_routes": rows_with_class("routes", "failed"),
        "next_steps": items("next-steps"),
        "history": table("history"),
        "svg": [len([p for p in s.iter(SVG + "polyline")]) for s in svgs],
        # A point is a marker (its shape is its run's result) with its tip as a title.
        "svg_points": [len([e for e in s.iter() if e.tag != SVG + "svg" and e.find(SVG + "title") is not None])
                       for s in svgs],
        "svg_legend": [[text(t) for t in s.iter(SVG + "text") if "\u25a0" in text(t)] for s in svgs],
        "trace": text(trace[0]) if trace else None,
    }))


if __name__ == "__main__":
    main(sys.argv[1])
