#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace selfupdate {

// Incremental SHA-256 (FIPS 180-4), so a package can be hashed while it streams to disk.
// Digests are exchanged as 64 lower-case hex characters, the form release manifests use.
class Sha256 {
public:
    // Auto uses the processor's SHA extensions when present; Portable never does. Hardware
    // falls back to Portable on a processor without them (see engine()).
    enum class Engine { Auto, Portable, Hardware };

    static constexpr std::size_t BlockSize = 64;
    static constexpr std::size_t DigestSize = 32;
    // hashFile reads this many bytes at a time.
    static constexpr std::size_t FileChunkSize = 65536;

    Sha256();
    explicit Sha256(Engine engine);

    // True when this processor runs the hardware engine.
    static bool isHardwareAvailable();
    // The engine in use: Portable or Hardware, never Auto.
    Engine engine() const { return m_engine; }

    void reset();
    // After finalisation the next update starts a new digest. Null data or zero length is
    // ignored.
    void update(const void* data, std::uint64_t length);
    // Finishes on the first call; later calls return the same digest.
    std::vector<std::uint8_t> finalBytes();
    std::string finalHex();

    static std::string hashBytes(const void* data, std::uint64_t length);
    static std::string hashString(const std::string& text);
    // Throws std::runtime_error when the file (a UTF-8 path) cannot be opened or read.
    static std::string hashFile(const std::string& path);

private:
    void compress(const std::uint8_t* blocks, std::size_t count);

    Engine m_engine;
    std::uint32_t m_state[8] = {};
    std::uint64_t m_length = 0;
    std::uint8_t m_buffer[BlockSize] = {};
    std::size_t m_bufferFill = 0;
    bool m_finalized = false;
    std::uint8_t m_digest[DigestSize] = {};
    std::string m_hex;
};

} // namespace selfupdate
