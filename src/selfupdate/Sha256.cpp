#include "selfupdate/Sha256.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define TESSARYN_SHA256_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace selfupdate {

namespace {

constexpr std::uint32_t InitialState[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                           0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

alignas(16) constexpr std::uint32_t RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline std::uint32_t rotr(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

inline std::uint32_t loadBigEndian(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}

// One round; the caller rotates the roles of the eight working variables instead of moving
// them, so only d and h change.
inline void compressRound(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t& d,
                          std::uint32_t e, std::uint32_t f, std::uint32_t g, std::uint32_t& h,
                          std::uint32_t constantPlusWord) {
    h += (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + constantPlusWord;
    d += h;
    h += (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
}

void compressPortable(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    std::uint32_t w[64];
    for (; count > 0; --count, blocks += Sha256::BlockSize) {
        for (int t = 0; t < 16; ++t)
            w[t] = loadBigEndian(blocks + 4 * t);
        for (int t = 16; t < 64; ++t) {
            const std::uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const std::uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int t = 0; t < 64; t += 8) {
            compressRound(a, b, c, d, e, f, g, h, RoundConstants[t] + w[t]);
            compressRound(h, a, b, c, d, e, f, g, RoundConstants[t + 1] + w[t + 1]);
            compressRound(g, h, a, b, c, d, e, f, RoundConstants[t + 2] + w[t + 2]);
            compressRound(f, g, h, a, b, c, d, e, RoundConstants[t + 3] + w[t + 3]);
            compressRound(e, f, g, h, a, b, c, d, RoundConstants[t + 4] + w[t + 4]);
            compressRound(d, e, f, g, h, a, b, c, RoundConstants[t + 5] + w[t + 5]);
            compressRound(c, d, e, f, g, h, a, b, RoundConstants[t + 6] + w[t + 6]);
            compressRound(b, c, d, e, f, g, h, a, RoundConstants[t + 7] + w[t + 7]);
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#ifdef TESSARYN_SHA256_X86

bool detectShaExtensions() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    const bool ssse3 = (ecx & (1u << 9)) != 0;
    const bool sse41 = (ecx & (1u << 19)) != 0;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return false;
    const bool sha = (ebx & (1u << 29)) != 0;
    return ssse3 && sse41 && sha;
}

// The SHA extensions keep the state as the word pairs ABEF and CDGH; each sha256rnds2 runs two
// rounds, and msg1/msg2 extend the message schedule four words at a time.
__attribute__((target("sha,sse4.1,ssse3"))) void
compressHardware(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

    for (; count > 0; --count, blocks += Sha256::BlockSize) {
        const __m128i savedAbef = abef;
        const __m128i savedCdgh = cdgh;
        __m128i w[4];
        for (int i = 0; i < 4; ++i) {
            w[i] = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i)), byteSwap);
        }
#pragma GCC unroll 16
        for (int group = 0; group < 16; ++group) {
            __m128i msg = _mm_add_epi32(
                w[group & 3],
                _mm_load_si128(reinterpret_cast<const __m128i*>(RoundConstants + 4 * group)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, msg);
            msg = _mm_shuffle_epi32(msg, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, msg);
            if (group < 12) {
                // W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16] for the next four t.
                const __m128i next = w[(group + 1) & 3];
                const __m128i third = w[(group + 2) & 3];
                const __m128i last = w[(group + 3) & 3];
                __m128i sum = _mm_sha256msg1_epu32(w[group & 3], next);
                sum = _mm_add_epi32(sum, _mm_alignr_epi8(last, third, 4));
                w[group & 3] = _mm_sha256msg2_epu32(sum, last);
            }
        }
        abef = _mm_add_epi32(abef, savedAbef);
        cdgh = _mm_add_epi32(cdgh, savedCdgh);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), hgfe);
}

#endif

} // namespace

Sha256::Sha256() : Sha256(Engine::Auto) {}

Sha256::Sha256(Engine engine)
    : m_engine(engine != Engine::Portable && isHardwareAvailable() ? Engine::Hardware
                                                                   : Engine::Portable) {
    reset();
}

bool Sha256::isHardwareAvailable() {
#ifdef TESSARYN_SHA256_X86
    static const bool available = detectShaExtensions();
    return available;
#else
    return false;
#endif
}

void Sha256::reset() {
    std::memcpy(m_state, InitialState, sizeof m_state);
    m_length = 0;
    m_bufferFill = 0;
    m_finalized = false;
    m_hex.clear();
}

void Sha256::compress(const std::uint8_t* blocks, std::size_t count) {
#ifdef TESSARYN_SHA256_X86
    if (m_engine == Engine::Hardware) {
        compressHardware(m_state, blocks, count);
        return;
    }
#endif
    compressPortable(m_state, blocks, count);
}

void Sha256::update(const void* data, std::uint64_t length) {
    if (!data || length == 0)
        return;
    if (m_finalized)
        reset();
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    m_length += length;
    if (m_bufferFill > 0) {
        const std::size_t take =
            std::size_t(std::min<std::uint64_t>(BlockSize - m_bufferFill, length));
        std::memcpy(m_buffer + m_bufferFill, bytes, take);
        m_bufferFill += take;
        bytes += take;
        length -= take;
        if (m_bufferFill < BlockSize)
            return;
        compress(m_buffer, 1);
        m_bufferFill = 0;
    }
    // Whole blocks straight from the caller's memory; in slices so the count fits size_t.
    constexpr std::uint64_t maxBlocksPerCall = 1u << 20;
    while (length >= BlockSize) {
        const std::uint64_t blocks = std::min<std::uint64_t>(length / BlockSize, maxBlocksPerCall);
        compress(bytes, std::size_t(blocks));
        bytes += blocks * BlockSize;
        length -= blocks * BlockSize;
    }
    std::memcpy(m_buffer, bytes, std::size_t(length));
    m_bufferFill = std::size_t(length);
}

std::vector<std::uint8_t> Sha256::finalBytes() {
    if (!m_finalized) {
        const std::uint64_t bitLength = m_length * 8;
        m_buffer[m_bufferFill++] = 0x80;
        if (m_bufferFill > BlockSize - 8) {
            std::memset(m_buffer + m_bufferFill, 0, BlockSize - m_bufferFill);
            compress(m_buffer, 1);
            m_bufferFill = 0;
        }
        std::memset(m_buffer + m_bufferFill, 0, BlockSize - 8 - m_bufferFill);
        for (int i = 0; i < 8; ++i)
            m_buffer[BlockSize - 1 - i] = std::uint8_t(bitLength >> (8 * i));
        compress(m_buffer, 1);
        m_bufferFill = 0;

        static const char hexDigits[] = "0123456789abcdef";
        m_hex.clear();
        for (std::size_t i = 0; i < DigestSize; ++i) {
            m_digest[i] = std::uint8_t(m_state[i / 4] >> (24 - 8 * (i % 4)));
            m_hex += hexDigits[m_digest[i] >> 4];
            m_hex += hexDigits[m_digest[i] & 0x0F];
        }
        m_finalized = true;
    }
    return std::vector<std::uint8_t>(m_digest, m_digest + DigestSize);
}

std::string Sha256::finalHex() {
    finalBytes();
    return m_hex;
}

std::string Sha256::hashBytes(const void* data, std::uint64_t length) {
    Sha256 hash;
    hash.update(data, length);
    return hash.finalHex();
}

std::string Sha256::hashString(const std::string& text) {
    return hashBytes(text.data(), text.size());
}

std::string Sha256::hashFile(const std::string& path) {
    // u8path: the path is UTF-8 on every platform, not the Windows code page.
    const std::filesystem::path fsPath = std::filesystem::u8path(path);
    std::error_code ec;
    std::ifstream file(fsPath, std::ios::binary);
    if (!file || std::filesystem::is_directory(fsPath, ec))
        throw std::runtime_error("Cannot open file for SHA-256 calculation: " + path);
    Sha256 hash;
    std::vector<char> chunk(FileChunkSize);
    while (file.read(chunk.data(), std::streamsize(chunk.size())) || file.gcount() > 0)
        hash.update(chunk.data(), std::uint64_t(file.gcount()));
    // A read error must not pass off the digest of a truncated file as the file's.
    if (file.bad())
        throw std::runtime_error("Cannot read file for SHA-256 calculation: " + path);
    return hash.finalHex();
}

} // namespace selfupdate
