"""The sample parcel label's layout, as plain data for the peer programs the comparison runs:
positions and sizes in the template's units (1/96 inch), fonts in points, the field each text
or barcode shows. Drawn on a 105 x 148 mm page with 3 mm margins."""

PAGE_MM = (105, 148)
MARGIN_MM = 3

# kind, x, y, w, h, then: text (a literal or {field}), font size, bold, align
TEXTS = [
    (0, 0, 374, 12, "PROVEEDOR", 6, True, "left", True),
    (0, 12, 374, 15, "{proveedor_nombre}", 8.25, True, "left", False),
    (0, 27, 374, 13, "{proveedor_operador}", 6.75, False, "left", False),
    (0, 40, 374, 13, "{proveedor_dir}", 6.75, False, "left", False),
    (0, 54, 187, 12, "LUGAR DE ENTREGA", 6, True, "left", True),
    (0, 66, 187, 15, "{lugar_entrega_linea1}", 8.25, True, "left", False),
    (0, 81, 187, 13, "{lugar_entrega_linea2}", 6.75, False, "left", False),
    (0, 94, 187, 13, "{lugar_entrega_linea3}", 6.75, False, "left", False),
    (187, 54, 187, 12, "DESTINO", 6, True, "left", True),
    (187, 66, 187, 15, "{destino_linea1}", 8.25, True, "left", False),
    (187, 81, 187, 13, "{destino_linea2}", 6.75, False, "left", False),
    (187, 94, 187, 13, "{destino_linea3}", 6.75, False, "left", False),
    (224, 112, 75, 12, "SUCURSAL", 6, False, "left", False),
    (224, 124, 75, 15, "{sucursal_codigo}", 8.25, True, "center", False),
    (299, 112, 75, 12, "DPTO. / P. VENTA", 6, False, "left", False),
    (299, 124, 75, 15, "{dpto_pventa}", 8.25, True, "center", False),
    (224, 141, 75, 12, "N\u00ba PEDIDO", 6, False, "left", False),
    (224, 153, 75, 15, "{pedido_num}", 8.25, True, "center", False),
    (299, 141, 75, 12, "N\u00ba ALBAR\u00c1N", 6, False, "left", False),
    (299, 153, 75, 15, "{albaran_num}", 8.25, True, "center", False),
    (224, 170, 75, 12, "BULTO", 6, False, "left", False),
    (299, 170, 75, 12, "{bulto_num} de {total_bultos}", 6, False, "right", False),
    (224, 182, 150, 21, "{bulto_texto}", 12, True, "center", False),
    (224, 205, 150, 12, "SSCC", 6, False, "left", False),
    (224, 217, 150, 16, "{sscc}", 9, True, "center", False),
]

# x, y, w, h of the frames
BOXES = [(0, 0, 374, 108), (224, 112, 150, 128)]

# x1, y1, x2, y2
LINES = [
    (0, 54, 374, 54), (187, 54, 187, 108), (299, 112, 299, 169), (224, 140, 374, 140),
    (224, 169, 374, 169), (224, 204, 374, 204), (0, 246, 374, 246), (0, 394, 374, 394),
]

# x, y, w, h, field (GS1-128 element strings, drawn as Code 128)
BARCODES = [
    (18, 112, 184, 128, "barcode_ia91"),
    (18, 252, 338, 128, "barcode_ia98"),
    (29, 408, 316, 128, "barcode_ia00"),
]

PT_PER_UNIT = 0.75  # 1/96 inch in points
