// One encoder per symbology, grouped by family in their own files; barcode.cpp dispatches to
// them by type. Each reads the job's text, may rewrite it as its type does, sets the encoded
// text and returns the element pattern. Internal to the encoder library.
#pragma once

#include <string>

#include "barcode/encoding.h"

namespace pagewright::barcode_encoding {

// code128.cpp: Code 128 A/B/C with automatic set choice, the EAN128 types and GS1-128.
std::string EncodeCode128Family(EncodingJob& job);

// two_of_five.cpp
std::string EncodeInterleaved2of5(EncodingJob& job);
std::string EncodeIndustrial2of5(EncodingJob& job);
std::string EncodeMatrix2of5(EncodingJob& job);
std::string EncodeItf14(EncodingJob& job);
std::string EncodeIdentcode(EncodingJob& job);
std::string EncodeLeitcode(EncodingJob& job);
// The Deutsche Post check digit of Identcode and Leitcode: weights 4 and 9 alternately from the
// first digit, (10 - sum mod 10) mod 10.
char DeutschePostCheckDigit(std::string_view digits);

// code39_93.cpp
std::string EncodeCode39(EncodingJob& job);
std::string EncodeCode39Extended(EncodingJob& job);
std::string EncodeCode93(EncodingJob& job);
std::string EncodeCode93Extended(EncodingJob& job);

// codabar.cpp
std::string EncodeCodabar(EncodingJob& job);

// ean_upc.cpp
std::string EncodeEan8(EncodingJob& job);
std::string EncodeEan13(EncodingJob& job);
std::string EncodeUpcA(EncodingJob& job);
std::string EncodeUpcE(EncodingJob& job);  // number system 0 or 1 by the type
// The eleven digits (number system first) of the UPC-A number that six UPC-E digits stand for.
std::string ExpandUpcE(char numberSystem, std::string_view six);
std::string EncodeUpcSupp2(EncodingJob& job);
std::string EncodeUpcSupp5(EncodingJob& job);

// msi_plessey.cpp
std::string EncodeMsi(EncodingJob& job);
// The MSI modulo-10 check digit: from the rightmost digit, every other digit doubled (the
// digit sum of the double counts), the rest added as they are.
char MsiCheckDigit(std::string_view digits);
std::string EncodePlessey(EncodingJob& job);

// postal.cpp
std::string EncodePostNet(EncodingJob& job);
std::string EncodeIntelligentMail(EncodingJob& job);

// pharmacode.cpp
std::string EncodePharmacode(EncodingJob& job);

}  // namespace pagewright::barcode_encoding
