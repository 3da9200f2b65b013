#!/usr/bin/env python3
"""The peer of bench_report: the same grouped report drawn straight to PDF with ReportLab's canvas.

usage: report_reportlab.py DB.sqlite OUT.pdf
Reads customers(id, name, region, amount) ordered by region, draws a title, a header per region, a
line per customer (name, amount right aligned), a footer per region with its running sum and a page
footer with the page number on A4 with 10 mm margins; prints the page count.
"""
import sqlite3
import sys

from reportlab.lib.pagesizes import A4
from reportlab.lib.units import mm
from reportlab.pdfgen import canvas

TITLE, HEADER, DETAIL, FOOTER, PAGE_FOOTER = 12 * mm, 6 * mm, 4.6 * mm, 6 * mm, 6 * mm
MARGIN = 10 * mm
LEFT, RIGHT = MARGIN + 2 * mm, MARGIN + 180 * mm


def main():
    db, out = sys.argv[1], sys.argv[2]
    rows = sqlite3.connect(db).execute("SELECT name, region, amount FROM customers ORDER BY region, id")
    width, height = A4
    c = canvas.Canvas(out, pagesize=A4)
    c.setFont("Helvetica", 10)
    page = 1
    y = height - MARGIN
    bottom = MARGIN + PAGE_FOOTER

    def end_page():
        nonlocal page, y
        c.drawString(LEFT, MARGIN + 2 * mm, "Page %d" % page)
        c.showPage()
        c.setFont("Helvetica", 10)
        page += 1
        y = height - MARGIN

    def band(h):
        nonlocal y
        if y - h < bottom:
            end_page()
        y -= h
        return y + h - 4 * mm

    c.drawString(LEFT, band(TITLE), "Sales by region")
    region, total = None, 0.0
    for name, reg, amount in rows:
        if reg != region:
            if region is not None:
                c.drawRightString(RIGHT, band(FOOTER), "%.2f" % total)
            region, total = reg, 0.0
            c.drawString(LEFT, band(HEADER), reg)
        total += amount
        base = band(DETAIL)
        c.drawString(LEFT, base, name)
        c.drawRightString(RIGHT, base, "%.2f" % amount)
    if region is not None:
        c.drawRightString(RIGHT, band(FOOTER), "%.2f" % total)
    c.drawString(LEFT, MARGIN + 2 * mm, "Page %d" % page)
    c.showPage()
    c.save()
    print(page)


if __name__ == "__main__":
    main()
