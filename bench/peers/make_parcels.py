#!/usr/bin/env python3
"""Writes N parcel label records (the sample label's 20 fields) as CSV, JSON Lines, a JSON
array or an SQLite table, for benchmarks and the examples.

usage: make_parcels.py N OUT.(csv|jsonl|json|db)
"""
import csv
import json
import sqlite3
import sys

FIELDS = [
    "proveedor_nombre", "proveedor_operador", "proveedor_dir", "lugar_entrega_linea1",
    "lugar_entrega_linea2", "lugar_entrega_linea3", "destino_linea1", "destino_linea2",
    "destino_linea3", "sucursal_codigo", "barcode_ia91", "dpto_pventa", "pedido_num",
    "albaran_num", "barcode_ia98", "bulto_texto", "bulto_num", "total_bultos", "sscc",
    "barcode_ia00",
]


def check_digit(digits):
    """GS1 mod-10 check digit of a digit string."""
    total = 0
    for i, d in enumerate(reversed(digits)):
        total += int(d) * (3 if i % 2 == 0 else 1)
    return str((10 - total % 10) % 10)


def record(i, n):
    serial = "3841234500" + f"{i:07d}"
    sscc = serial + check_digit(serial)
    bulto = i % 58 + 1
    return {
        "proveedor_nombre": "MIRANTO PASTELERIAS S.L.",
        "proveedor_operador": "",
        "proveedor_dir": "Avda. Alcalde Bruvelo, 130 - 00000 Ventosa (Provincia)",
        "lugar_entrega_linea1": "ALMERUX, S.A.",
        "lugar_entrega_linea2": "ALMAC\u00c9N CENTRAL",
        "lugar_entrega_linea3": "Carretera General, Km. 22.300. (CIUDAD)",
        "destino_linea1": "ALMERUX, S.A.",
        "destino_linea2": "C.C. LIRENA",
        "destino_linea3": "C/ Lirena, 75 (CIUDAD)",
        "sucursal_codigo": "0003",
        "barcode_ia91": "(91)010003",
        "dpto_pventa": "030 - 00",
        "pedido_num": "91026401",
        "albaran_num": "2640102",
        "barcode_ia98": "(98)03000910264012640102",
        "bulto_texto": f"{bulto} / 58",
        "bulto_num": bulto,
        "total_bultos": 58,
        "sscc": sscc,
        "barcode_ia00": "(00)" + sscc,
    }


def main():
    n, out = int(sys.argv[1]), sys.argv[2]
    rows = [record(i, n) for i in range(1, n + 1)]
    if out.endswith(".csv"):
        with open(out, "w", newline="", encoding="utf-8") as f:
            w = csv.DictWriter(f, fieldnames=FIELDS, lineterminator="\r\n")
            w.writeheader()
            w.writerows(rows)
    elif out.endswith(".jsonl"):
        with open(out, "w", encoding="utf-8") as f:
            for r in rows:
                f.write(json.dumps(r, ensure_ascii=False) + "\n")
    elif out.endswith(".json"):
        with open(out, "w", encoding="utf-8") as f:
            json.dump(rows, f, ensure_ascii=False, indent=1)
    elif out.endswith(".db"):
        db = sqlite3.connect(out)
        cols = ", ".join(f"{c} INTEGER" if c in ("bulto_num", "total_bultos") else f"{c} TEXT" for c in FIELDS)
        db.execute("DROP TABLE IF EXISTS parcels")
        db.execute(f"CREATE TABLE parcels ({cols})")
        db.executemany(f"INSERT INTO parcels VALUES ({', '.join('?' for _ in FIELDS)})",
                       [tuple(r[c] for c in FIELDS) for r in rows])
        db.commit()
        db.close()
    else:
        sys.exit("OUT must end in .csv, .jsonl, .json or .db")


if __name__ == "__main__":
    main()
