#!/usr/bin/python3
"""Writes examples/factuur.pdf: a one-page Dutch invoice form whose text fields are named after
the columns of examples/klanten.csv, so that the demo merge needs no mapping.

Needs the Debian package python3-reportlab. The generated form is committed, so running the
demo does not need this script; run it again only to change the form.
"""
import os
import sys

from reportlab.lib import colors
from reportlab.lib.pagesizes import A4
from reportlab.pdfgen import canvas

HERE = os.path.dirname(os.path.abspath(__file__))
GREY = colors.Color(0.45, 0.45, 0.45)
FIELD_BORDER = colors.Color(0.6, 0.6, 0.6)
FIELD_FILL = colors.Color(0.95, 0.97, 1.0)


def label(c, x, y, text, size=9, colour=GREY):
    c.setFont("Helvetica", size)
    c.setFillColor(colour)
    c.drawString(x, y, text)


def field(c, name, tooltip, x, y, width, height=18, size=10, multiline=False):
    c.acroForm.textfield(
        name=name, tooltip=tooltip, x=x, y=y, width=width, height=height,
        fontName="Helvetica", fontSize=size, borderStyle="solid", borderWidth=0.5,
        borderColor=FIELD_BORDER, fillColor=FIELD_FILL, textColor=colors.black,
        forceBorder=True, fieldFlags="multiline" if multiline else "", value="")


def main(out_path):
    width, height = A4
    # invariant=1: the same input gives the same bytes, so the committed form only changes
    # when this script does.
    c = canvas.Canvas(out_path, pagesize=A4, invariant=1)
    c.setTitle("Factuur")
    c.setAuthor("Hoveniersbedrijf De Linde")
    c.setSubject("Voorbeeldformulier voor een samenvoeging")

    # Sender.
    c.setFillColor(colors.Color(0.13, 0.4, 0.23))
    c.setFont("Helvetica-Bold", 18)
    c.drawString(56, height - 72, "Hoveniersbedrijf De Linde")
    label(c, 56, height - 90, "Beukenlaan 8  ·  3581 AB Utrecht  ·  030 123 45 67  ·  info@delinde.example")
    label(c, 56, height - 104, "KvK 12345678  ·  btw NL001234567B01  ·  IBAN NL00 BANK 0123 4567 89")

    c.setFillColor(colors.black)
    c.setFont("Helvetica-Bold", 24)
    c.drawString(56, height - 160, "Factuur")

    # Addressee.
    top = height - 200
    label(c, 56, top, "Aan")
    field(c, "Naam", "Naam van de klant", 56, top - 26, 250)
    field(c, "Adres", "Straat en huisnummer", 56, top - 48, 250)
    field(c, "Postcode", "Postcode", 56, top - 70, 70)
    field(c, "Plaats", "Plaats", 130, top - 70, 176)

    # Invoice details.
    x_label, x_field = 340, 440
    for i, (name, text, tip) in enumerate([
            ("Klant", "Klantnummer", "Klantnummer"),
            ("Factuurnummer", "Factuurnummer", "Factuurnummer"),
            ("Datum", "Factuurdatum", "Datum van de factuur")]):
        y = top - 26 - 22 * i
        label(c, x_label, y + 5, text)
        field(c, name, tip, x_field, y, 100)

    # Line items.
    table = top - 130
    c.setStrokeColor(colors.black)
    c.setLineWidth(0.8)
    c.line(56, table, width - 56, table)
    c.setFont("Helvetica-Bold", 10)
    c.drawString(56, table + 6, "Omschrijving")
    c.drawRightString(width - 56, table + 6, "Bedrag")
    field(c, "Omschrijving", "Omschrijving van het werk", 56, table - 70, 340, height=62, multiline=True)
    field(c, "Bedrag", "Bedrag inclusief btw", width - 156, table - 26, 100)
    c.line(56, table - 84, width - 56, table - 84)
    label(c, width - 260, table - 100, "Totaal te betalen (inclusief 21% btw)", colour=colors.black)

    # Payment terms.
    label(c, 56, table - 150, "Wij verzoeken u het bedrag binnen 30 dagen over te maken op rekening "
                              "NL00 BANK 0123 4567 89,")
    label(c, 56, table - 163, "onder vermelding van het factuurnummer. Vragen? Bel of mail ons gerust.")
    label(c, 56, 56, "Met vriendelijke groet, Hoveniersbedrijf De Linde", colour=colors.black)

    c.showPage()
    c.save()


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "factuur.pdf"))
