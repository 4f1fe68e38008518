#include "export/pdf/pdf_security.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstring>
#include <memory>

#include "export/pdf/pdf_objects.h"

namespace pagewright {

namespace {

struct TCipherContextFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using TCipherContext = std::unique_ptr<EVP_CIPHER_CTX, TCipherContextFree>;

[[noreturn]] void CryptoFailure() {
  throw EPDFError("The encryption library failed");
}

// One AES pass over data with the given key (16 or 32 bytes) and initialisation vector (CBC; none
// for ECB). Without padding the data must fill whole blocks.
std::vector<uint8_t> AES(const EVP_CIPHER* cipher, std::span<const uint8_t> key, const uint8_t* iv,
                         std::span<const uint8_t> data, bool padding) {
  TCipherContext ctx(EVP_CIPHER_CTX_new());
  if (!ctx || EVP_EncryptInit_ex(ctx.get(), cipher, nullptr, key.data(), iv) != 1) CryptoFailure();
  if (static_cast<size_t>(EVP_CIPHER_CTX_key_length(ctx.get())) != key.size()) CryptoFailure();
  EVP_CIPHER_CTX_set_padding(ctx.get(), padding ? 1 : 0);
  std::vector<uint8_t> out(data.size() + 16);
  int written = 0, last = 0;
  if (data.size() > static_cast<size_t>(INT32_MAX - 16)) throw EPDFError("A stream is too large to encrypt");
  if (EVP_EncryptUpdate(ctx.get(), out.data(), &written, data.data(), static_cast<int>(data.size())) != 1 ||
      EVP_EncryptFinal_ex(ctx.get(), out.data() + written, &last) != 1)
    CryptoFailure();
  out.resize(static_cast<size_t>(written + last));
  return out;
}

// A SHA-2 digest of the given kind.
std::vector<uint8_t> Digest(const EVP_MD* md, std::span<const uint8_t> data) {
  std::vector<uint8_t> out(static_cast<size_t>(EVP_MD_get_size(md)));
  unsigned length = 0;
  if (EVP_Digest(data.data(), data.size(), out.data(), &length, md, nullptr) != 1) CryptoFailure();
  out.resize(length);
  return out;
}

std::span<const uint8_t> Bytes(std::string_view s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

constexpr uint8_t kPadding[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                                  0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                                  0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

constexpr uint32_t kSines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr int kShifts[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                             5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                             4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                             6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

uint32_t RotateLeft(uint32_t x, int c) {
  return (x << c) | (x >> (32 - c));
}

// Encrypts data with the key, then 19 more times with the key's bytes XORed with 1 to 19.
void RC4Rounds(const TMD5Digest& key, std::span<uint8_t> data) {
  for (int round = 0; round < 20; ++round) {
    TMD5Digest k = key;
    for (auto& b : k) b = static_cast<uint8_t>(b ^ round);
    RC4Crypt(k, data);
  }
}

}  // namespace

TMD5::TMD5() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

void TMD5::Block(const uint8_t* p) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i)
    m[i] = uint32_t(p[4 * i]) | (uint32_t(p[4 * i + 1]) << 8) | (uint32_t(p[4 * i + 2]) << 16) |
           (uint32_t(p[4 * i + 3]) << 24);
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    const uint32_t next = d;
    d = c;
    c = b;
    b = b + RotateLeft(a + f + kSines[i] + m[g], kShifts[i]);
    a = next;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void TMD5::Update(std::span<const uint8_t> bytes) {
  length_ += bytes.size();
  size_t i = 0;
  while (i < bytes.size()) {
    const size_t n = std::min(bytes.size() - i, 64 - buffered_);
    std::memcpy(buffer_ + buffered_, bytes.data() + i, n);
    buffered_ += n;
    i += n;
    if (buffered_ == 64) {
      Block(buffer_);
      buffered_ = 0;
    }
  }
}

TMD5Digest TMD5::Final() {
  const uint64_t bits = length_ * 8;
  const uint8_t one = 0x80, zero = 0;
  Update(std::span<const uint8_t>(&one, 1));
  while (buffered_ != 56) Update(std::span<const uint8_t>(&zero, 1));
  uint8_t len[8];
  for (int i = 0; i < 8; ++i) len[i] = static_cast<uint8_t>(bits >> (8 * i));
  Update(std::span<const uint8_t>(len, 8));
  TMD5Digest out;
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 4; ++k) out[4 * i + k] = static_cast<uint8_t>(state_[i] >> (8 * k));
  return out;
}

TMD5Digest MD5Of(std::span<const uint8_t> bytes) {
  TMD5 md5;
  md5.Update(bytes);
  return md5.Final();
}

TMD5Digest MD5Of(std::string_view bytes) {
  TMD5 md5;
  md5.Update(bytes);
  return md5.Final();
}

std::string HexLower(std::span<const uint8_t> bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    s.push_back(digits[b >> 4]);
    s.push_back(digits[b & 15]);
  }
  return s;
}

void RC4Crypt(std::span<const uint8_t> key, std::span<uint8_t> data) {
  if (key.empty()) return;
  uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % key.size()]) & 255;
    std::swap(s[i], s[j]);
  }
  int i = 0, j = 0;
  for (auto& b : data) {
    i = (i + 1) & 255;
    j = (j + s[i]) & 255;
    std::swap(s[i], s[j]);
    b ^= s[(s[i] + s[j]) & 255];
  }
}

int32_t PDFPermissionValue(TpgwPDFEncBits flags) {
  int bits = 0;
  if (flags.Contains(ePrint)) bits |= 1;
  if (flags.Contains(eModify)) bits |= 2;
  if (flags.Contains(eCopy)) bits |= 4;
  if (flags.Contains(eAnnot)) bits |= 8;
  return -64 + 4 * bits;
}

std::array<uint8_t, 32> PadPDFPassword(std::string_view password) {
  std::array<uint8_t, 32> out{};
  const size_t n = std::min<size_t>(password.size(), 32);
  std::memcpy(out.data(), password.data(), n);
  std::memcpy(out.data() + n, kPadding, 32 - n);
  return out;
}

void SystemRandomBytes(std::span<uint8_t> bytes) {
  if (bytes.size() > static_cast<size_t>(INT32_MAX) ||
      RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1)
    throw EPDFError("No random bytes for the encryption keys");
}

std::array<uint8_t, 32> SHA256Of(std::span<const uint8_t> bytes) {
  const std::vector<uint8_t> d = Digest(EVP_sha256(), bytes);
  std::array<uint8_t, 32> out{};
  std::memcpy(out.data(), d.data(), 32);
  return out;
}

std::array<uint8_t, 32> PDFHash2B(std::span<const uint8_t> password, std::span<const uint8_t> salt,
                                  std::span<const uint8_t> userKey) {
  std::vector<uint8_t> input(password.begin(), password.end());
  input.insert(input.end(), salt.begin(), salt.end());
  input.insert(input.end(), userKey.begin(), userKey.end());
  std::vector<uint8_t> k = Digest(EVP_sha256(), input);
  std::vector<uint8_t> k1;
  for (int round = 0;; ++round) {
    // 64 copies of password, K and the user value, encrypted with the first half of K as the
    // key and the second as the vector; the sum of the first 16 bytes picks the next digest.
    k1.clear();
    for (int i = 0; i < 64; ++i) {
      k1.insert(k1.end(), password.begin(), password.end());
      k1.insert(k1.end(), k.begin(), k.end());
      k1.insert(k1.end(), userKey.begin(), userKey.end());
    }
    const std::vector<uint8_t> e =
        AES(EVP_aes_128_cbc(), std::span<const uint8_t>(k.data(), 16), k.data() + 16, k1, false);
    unsigned sum = 0;
    for (int i = 0; i < 16; ++i) sum += e[static_cast<size_t>(i)];
    const EVP_MD* next = sum % 3 == 0 ? EVP_sha256() : sum % 3 == 1 ? EVP_sha384() : EVP_sha512();
    k = Digest(next, e);
    if (round >= 63 && e.back() <= static_cast<unsigned>(round + 1 - 32)) break;
  }
  std::array<uint8_t, 32> out{};
  std::memcpy(out.data(), k.data(), 32);
  return out;
}

std::string PDFPasswordUtf8(std::string_view password) {
  std::string utf8;
  for (unsigned char c : password) {
    // Cut at a character boundary within 127 bytes.
    const size_t length = c < 0x80 ? 1 : 2;
    if (utf8.size() + length > 127) break;
    if (c < 0x80) {
      utf8.push_back(static_cast<char>(c));
    } else {
      utf8.push_back(static_cast<char>(0xC0 | (c >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return utf8;
}

TPDFSecurity::TPDFSecurity(const std::string& userPassword, const std::string& ownerPassword,
                           TpgwPDFEncBits flags, const TMD5Digest& fileID, TPDFEncryptionMethod method,
                           TPDFRandomSource random)
    : FMethod(method),
      FRandom(random ? std::move(random) : TPDFRandomSource(SystemRandomBytes)),
      FEncBits(PDFPermissionValue(flags)) {
  // An empty owner password is the user's.
  const std::string& owner = ownerPassword.empty() ? userPassword : ownerPassword;
  if (method == peAES_256)
    InitAES256(userPassword, owner);
  else
    InitRC4(userPassword, owner, fileID);
}

void TPDFSecurity::InitRC4(const std::string& userPassword, const std::string& ownerPassword,
                           const TMD5Digest& fileID) {
  const auto user = PadPDFPassword(userPassword);
  const auto owner = PadPDFPassword(ownerPassword);

  TMD5Digest ownerKey = MD5Of(owner);
  for (int i = 0; i < 50; ++i) ownerKey = MD5Of(ownerKey);
  std::array<uint8_t, 32> o = user;
  RC4Rounds(ownerKey, o);
  FOPass.assign(o.begin(), o.end());

  TMD5 md5;
  md5.Update(user);
  md5.Update(FOPass);
  const uint8_t p[4] = {static_cast<uint8_t>(FEncBits), static_cast<uint8_t>(FEncBits >> 8),
                        static_cast<uint8_t>(FEncBits >> 16), static_cast<uint8_t>(FEncBits >> 24)};
  md5.Update(std::span<const uint8_t>(p, 4));
  md5.Update(fileID);
  TMD5Digest key = md5.Final();
  for (int i = 0; i < 50; ++i) key = MD5Of(key);
  FEncKey.assign(key.begin(), key.end());

  TMD5 u;
  u.Update(std::span<const uint8_t>(kPadding, 32));
  u.Update(fileID);
  TMD5Digest head = u.Final();
  RC4Rounds(key, head);
  FUPass.assign(32, 0);
  std::memcpy(FUPass.data(), head.data(), 16);
}

void TPDFSecurity::InitAES256(const std::string& userPassword, const std::string& ownerPassword) {
  const std::string user = PDFPasswordUtf8(userPassword), owner = PDFPasswordUtf8(ownerPassword);
  FEncKey.assign(32, 0);
  FRandom(FEncKey);
  // Validation salt and key salt of each password.
  std::array<uint8_t, 16> userSalts{}, ownerSalts{};
  FRandom(userSalts);
  FRandom(ownerSalts);
  const std::array<uint8_t, 16> zeroVector{};

  const auto userHash = PDFHash2B(Bytes(user), std::span<const uint8_t>(userSalts.data(), 8), {});
  FUPass.assign(userHash.begin(), userHash.end());
  FUPass.insert(FUPass.end(), userSalts.begin(), userSalts.end());
  const auto userKey = PDFHash2B(Bytes(user), std::span<const uint8_t>(userSalts.data() + 8, 8), {});
  FUE = AES(EVP_aes_256_cbc(), userKey, zeroVector.data(), FEncKey, false);

  const auto ownerHash = PDFHash2B(Bytes(owner), std::span<const uint8_t>(ownerSalts.data(), 8), FUPass);
  FOPass.assign(ownerHash.begin(), ownerHash.end());
  FOPass.insert(FOPass.end(), ownerSalts.begin(), ownerSalts.end());
  const auto ownerKey = PDFHash2B(Bytes(owner), std::span<const uint8_t>(ownerSalts.data() + 8, 8), FUPass);
  FOE = AES(EVP_aes_256_cbc(), ownerKey, zeroVector.data(), FEncKey, false);

  // The permissions as 64 bits (the high half all ones), "T" for encrypted metadata, "adb" and
  // four random bytes, encrypted with the file key.
  std::array<uint8_t, 16> perms{};
  for (int i = 0; i < 8; ++i)
    perms[static_cast<size_t>(i)] = i < 4 ? static_cast<uint8_t>(FEncBits >> (8 * i)) : 0xFF;
  perms[8] = 'T';
  perms[9] = 'a';
  perms[10] = 'd';
  perms[11] = 'b';
  FRandom(std::span<uint8_t>(perms.data() + 12, 4));
  FPerms = AES(EVP_aes_256_ecb(), FEncKey, nullptr, perms, false);
}

TMD5Digest TPDFSecurity::ObjectKey(int objectNumber) const {
  uint8_t material[21];
  std::memcpy(material, FEncKey.data(), 16);
  material[16] = static_cast<uint8_t>(objectNumber);
  material[17] = static_cast<uint8_t>(objectNumber >> 8);
  material[18] = static_cast<uint8_t>(objectNumber >> 16);
  material[19] = 0;
  material[20] = 0;
  return MD5Of(std::span<const uint8_t>(material, 21));
}

std::string TPDFSecurity::Encrypt(int objectNumber, std::string_view data) const {
  if (FMethod == peAES_256) {
    // The file key for every object, a fresh vector in front of each string and stream.
    std::array<uint8_t, 16> iv{};
    FRandom(iv);
    const std::vector<uint8_t> cipher = AES(EVP_aes_256_cbc(), FEncKey, iv.data(), Bytes(data), true);
    std::string out(reinterpret_cast<const char*>(iv.data()), iv.size());
    out.append(reinterpret_cast<const char*>(cipher.data()), cipher.size());
    return out;
  }
  std::string out(data);
  RC4Crypt(ObjectKey(objectNumber), std::span<uint8_t>(reinterpret_cast<uint8_t*>(out.data()), out.size()));
  return out;
}

std::vector<std::string> TPDFSecurity::DictionaryLines() const {
  std::vector<std::string> lines = {"/Filter /Standard"};
  if (FMethod == peAES_256) {
    lines.insert(
        lines.end(),
        {"/V 5", "/R 6", "/Length 256",
         "/CF << /StdCF << /Type /CryptFilter /CFM /AESV3 /AuthEvent /DocOpen /Length 32 >> >>",
         "/StmF /StdCF", "/StrF /StdCF", "/P " + std::to_string(FEncBits), "/O <" + HexUpper(FOPass) + ">",
         "/U <" + HexUpper(FUPass) + ">", "/OE <" + HexUpper(FOE) + ">", "/UE <" + HexUpper(FUE) + ">",
         "/Perms <" + HexUpper(FPerms) + ">", "/EncryptMetadata true"});
    return lines;
  }
  // Revision 3 keeps the literal strings of its first form.
  auto literal = [](const std::vector<uint8_t>& bytes) {
    std::string s;
    for (uint8_t b : bytes) {
      switch (b) {
        case '\n':
          s += "\\n";
          break;
        case '\r':
          s += "\\r";
          break;
        case '(':
        case ')':
        case '\\':
          s += '\\';
          s += static_cast<char>(b);
          break;
        default:
          s += static_cast<char>(b);
      }
    }
    return s;
  };
  lines.insert(lines.end(), {"/V 2", "/R 3", "/Length 128", "/P " + std::to_string(FEncBits),
                             "/O (" + literal(FOPass) + ")", "/U (" + literal(FUPass) + ")"});
  return lines;
}

}  // namespace pagewright
