// The label program's table: 20 fields and one record, as the driver defines and sets them.
#pragma once

#include <cstdint>

#include "platform/mem_table.h"

namespace pagewright::test_support {

struct LabelField {
  const char16_t* name;
  TFieldType type;
  int size;
  const char16_t* text;  // strings
  int32_t number;        // integers
};

inline const LabelField kLabel[] = {
    {u"proveedor_nombre", ftString, 100, u"MIRANTO PASTELERIAS S.L.", 0},
    {u"proveedor_operador", ftString, 100, u"", 0},
    {u"proveedor_dir", ftString, 150, u"Avda. Alcalde Bruvelo, 130 - 00000 Ventosa (Provincia)", 0},
    {u"lugar_entrega_linea1", ftString, 100, u"ALMERUX, S.A.", 0},
    {u"lugar_entrega_linea2", ftString, 100, u"ALMAC\u00C9N CENTRAL", 0},
    {u"lugar_entrega_linea3", ftString, 150, u"Carretera General, Km. 22.300. (CIUDAD)", 0},
    {u"destino_linea1", ftString, 100, u"ALMERUX, S.A.", 0},
    {u"destino_linea2", ftString, 100, u"C.C. LIRENA", 0},
    {u"destino_linea3", ftString, 150, u"C/ Lirena, 75 (CIUDAD)", 0},
    {u"sucursal_codigo", ftString, 10, u"0003", 0},
    {u"barcode_ia91", ftString, 30, u"(91)010003", 0},
    {u"dpto_pventa", ftString, 20, u"030 - 00", 0},
    {u"pedido_num", ftString, 20, u"91026401", 0},
    {u"albaran_num", ftString, 20, u"2640102", 0},
    {u"barcode_ia98", ftString, 50, u"(98)03000910264012640102", 0},
    {u"bulto_texto", ftString, 30, u"54 / 58", 0},
    {u"bulto_num", ftInteger, 0, nullptr, 54},
    {u"total_bultos", ftInteger, 0, nullptr, 58},
    {u"sscc", ftString, 30, u"384123450000000073", 0},
    {u"barcode_ia00", ftString, 50, u"(00)384123450000000073", 0},
};

}  // namespace pagewright::test_support
