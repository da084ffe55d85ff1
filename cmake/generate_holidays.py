#!/usr/bin/python3
"""Writes the public-holiday calendars shipped with Quorvane as iCalendar files.

Usage: generate_holidays.py OUTPUT_FOLDER FIRST_YEAR LAST_YEAR

The dates come from the python3-holidays package (Debian's, run with
/usr/bin/python3). Each file holds one all-day item per holiday and states the
years it covers and the source in its description. The output depends only on
the package's data and the years, so builds are reproducible.
"""
import datetime
import os
import sys

import holidays

GERMAN_STATES = {
    "BW": "Baden-Württemberg", "BY": "Bayern", "BE": "Berlin", "BB": "Brandenburg",
    "HB": "Bremen", "HH": "Hamburg", "HE": "Hessen", "MV": "Mecklenburg-Vorpommern",
    "NI": "Niedersachsen", "NW": "Nordrhein-Westfalen", "RP": "Rheinland-Pfalz",
    "SL": "Saarland", "SN": "Sachsen", "ST": "Sachsen-Anhalt", "SH": "Schleswig-Holstein",
    "TH": "Thüringen",
}
UK_NATIONS = {"ENG": ("England", "England"), "WLS": ("Wales", "Wales"),
              "SCT": ("Scotland", "Scotland"), "NIR": ("NorthernIreland", "Northern Ireland")}


def escape(text):
    return (text.replace("\\", "\\\\").replace(";", "\\;").replace(",", "\\,")
            .replace("\n", "\\n"))


def fold(line):
    data = line.encode("utf-8")
    out, chunk = [], b""
    for ch in line:
        b = ch.encode("utf-8")
        if len(chunk) + len(b) > (75 if not out else 74):
            out.append(chunk)
            chunk = b""
        chunk += b
    out.append(chunk)
    return b"\r\n ".join(out) if len(data) > 75 else data


def calendar(code, title, days, first, last):
    version = getattr(holidays, "__version__", "?")
    lines = [
        "BEGIN:VCALENDAR",
        "VERSION:2.0",
        "PRODID:-//Quorvane//Public holidays " + code + "//EN",
        "CALSCALE:GREGORIAN",
        "X-WR-CALNAME:" + escape(title),
        "X-WR-CALDESC:" + escape("%s, %d to %d, from python3-holidays %s"
                                 % (title, first, last, version)),
    ]
    for day, name in sorted(days.items()):
        nxt = day + datetime.timedelta(days=1)
        lines += [
            "BEGIN:VEVENT",
            "UID:%s-%s@holidays.quorvane" % (code, day.strftime("%Y%m%d")),
            "DTSTAMP:%sT000000Z" % datetime.date(first, 1, 1).strftime("%Y%m%d"),
            "DTSTART;VALUE=DATE:" + day.strftime("%Y%m%d"),
            "DTEND;VALUE=DATE:" + nxt.strftime("%Y%m%d"),
            "SUMMARY:" + escape(name),
            "TRANSP:TRANSPARENT",
            "END:VEVENT",
        ]
    lines.append("END:VCALENDAR")
    return b"".join(fold(l) + b"\r\n" for l in lines)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    folder, first, last = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    years = list(range(first, last + 1))
    os.makedirs(folder, exist_ok=True)
    files = {"DE": ("Deutschland (bundesweit)", holidays.DE(years=years))}
    for state, name in GERMAN_STATES.items():
        files["DE-" + state] = ("Deutschland: " + name, holidays.DE(years=years, prov=state))
    for code, (cls, name) in UK_NATIONS.items():
        files["GB-" + code] = ("United Kingdom: " + name, getattr(holidays, cls)(years=years))
    for code, (title, days) in files.items():
        if not days:
            sys.exit("python3-holidays gave no holidays for " + code)
        path = os.path.join(folder, code + ".ics")
        data = calendar(code, title, days, first, last)
        # Unchanged files keep their time, so nothing depending on them is redone.
        try:
            with open(path, "rb") as f:
                if f.read() == data:
                    continue
        except OSError:
            pass
        with open(path + ".tmp", "wb") as f:
            f.write(data)
        os.replace(path + ".tmp", path)


if __name__ == "__main__":
    main()
