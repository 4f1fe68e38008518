// Password protection of PDF files (standard security handler, revision 3, 128-bit RC4): the
// digest and cipher it rests on, the key computations and the per-object keys.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/pdf_export.h"

namespace pagewright {

using TMD5Digest = std::array<uint8_t, 16>;

// MD5 (RFC 1321), incremental.
class TMD5 {
 public:
  TMD5();
  void Update(std::span<const uint8_t> bytes);
  void Update(std::string_view bytes) {
    Update(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  }
  TMD5Digest Final();

 private:
  void Block(const uint8_t* p);
  uint32_t state_[4];
  uint64_t length_ = 0;
  uint8_t buffer_[64];
  size_t buffered_ = 0;
};

TMD5Digest MD5Of(std::span<const uint8_t> bytes);
TMD5Digest MD5Of(std::string_view bytes);
// Lower-case hexadecimal digits of bytes.
std::string HexLower(std::span<const uint8_t> bytes);

// RC4 over a buffer in place (encryption and decryption are the same operation).
void RC4Crypt(std::span<const uint8_t> key, std::span<uint8_t> data);

// The permission value P of a protection-flag set (all four flags give -4).
int32_t PDFPermissionValue(TpgwPDFEncBits flags);

// Keys of one protected document.
class TPDFSecurity {
 public:
  // fileID is the 16 bytes of the document identifier.
  TPDFSecurity(const std::string& userPassword, const std::string& ownerPassword, TpgwPDFEncBits flags,
               const TMD5Digest& fileID);

  const std::array<uint8_t, 32>& O() const { return FOPass; }
  const std::array<uint8_t, 32>& U() const { return FUPass; }
  const TMD5Digest& DocumentKey() const { return FEncKey; }
  int32_t P() const { return FEncBits; }

  // The RC4 key of one object (generation 0).
  TMD5Digest ObjectKey(int objectNumber) const;
  // Encrypts bytes with an object's key.
  void Encrypt(int objectNumber, std::span<uint8_t> data) const;
  std::string Encrypt(int objectNumber, std::string_view data) const;

 private:
  std::array<uint8_t, 32> FOPass{};
  std::array<uint8_t, 32> FUPass{};
  TMD5Digest FEncKey{};
  int32_t FEncBits = -4;
};

// A password cut or padded to 32 bytes with the standard padding string.
std::array<uint8_t, 32> PadPDFPassword(std::string_view password);

}  // namespace pagewright
