// Password protection of PDF files with the standard security handler: revision 3 (128-bit RC4,
// the default) or revision 6 (256-bit AES, the AESV3 crypt filter). The digest and cipher of
// revision 3 are our own; AES and SHA-2 come from OpenSSL's libcrypto.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
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

// Fills a buffer with unpredictable bytes (keys, salts, initialisation vectors).
using TPDFRandomSource = std::function<void(std::span<uint8_t>)>;
// The operating system's random generator (through libcrypto).
void SystemRandomBytes(std::span<uint8_t> bytes);

// SHA-256 of bytes (libcrypto).
std::array<uint8_t, 32> SHA256Of(std::span<const uint8_t> bytes);
// The password hash of revision 6: SHA-256, then at least 64 rounds of AES-128 and SHA-2 over the
// password, the salt and (for the owner) the 48-byte user value.
std::array<uint8_t, 32> PDFHash2B(std::span<const uint8_t> password, std::span<const uint8_t> salt,
                                  std::span<const uint8_t> userKey);
// A revision-6 password: the UTF-8 form of the 8-bit (ISO 8859-1) password, cut to 127 bytes.
std::string PDFPasswordUtf8(std::string_view password);

// Keys of one protected document.
class TPDFSecurity {
 public:
  // fileID is the 16 bytes of the document identifier; random supplies the file key, the salts
  // and the initialisation vectors of AES (the system's generator when empty).
  TPDFSecurity(const std::string& userPassword, const std::string& ownerPassword, TpgwPDFEncBits flags,
               const TMD5Digest& fileID, TPDFEncryptionMethod method = peRC4_128,
               TPDFRandomSource random = {});

  TPDFEncryptionMethod Method() const { return FMethod; }
  // O and U: 32 bytes with RC4, 48 with AES-256 (hash, validation salt, key salt).
  const std::vector<uint8_t>& O() const { return FOPass; }
  const std::vector<uint8_t>& U() const { return FUPass; }
  // AES-256 only: the file key encrypted with the owner's and the user's key, and the
  // encrypted permissions.
  const std::vector<uint8_t>& OE() const { return FOE; }
  const std::vector<uint8_t>& UE() const { return FUE; }
  const std::vector<uint8_t>& Perms() const { return FPerms; }
  // The file key: 16 bytes with RC4, 32 with AES-256.
  const std::vector<uint8_t>& DocumentKey() const { return FEncKey; }
  int32_t P() const { return FEncBits; }

  // The RC4 key of one object (generation 0).
  TMD5Digest ObjectKey(int objectNumber) const;
  // The bytes of a string or stream of an object as stored: RC4 keeps the length; AES-256
  // writes a fresh 16-byte initialisation vector and the padded cipher text.
  std::string Encrypt(int objectNumber, std::string_view data) const;
  // The entries of the encryption dictionary, one line each, between "<<" and ">>".
  std::vector<std::string> DictionaryLines() const;

 private:
  void InitRC4(const std::string& userPassword, const std::string& ownerPassword, const TMD5Digest& fileID);
  void InitAES256(const std::string& userPassword, const std::string& ownerPassword);

  TPDFEncryptionMethod FMethod;
  TPDFRandomSource FRandom;
  std::vector<uint8_t> FOPass;
  std::vector<uint8_t> FUPass;
  std::vector<uint8_t> FOE, FUE, FPerms;
  std::vector<uint8_t> FEncKey;
  int32_t FEncBits = -4;
};

// A password cut or padded to 32 bytes with the standard padding string.
std::array<uint8_t, 32> PadPDFPassword(std::string_view password);

}  // namespace pagewright
