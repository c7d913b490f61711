// Reads little-endian values from a run of bytes; past its end every byte
// reads as zero.  Used by the binding fuzzer and by its hostile library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const uint8_t *data, std::size_t size) : FData(data), FSize(size) {}

    bool Empty() const { return FAt >= FSize; }
    uint8_t Byte() { return FAt < FSize ? FData[FAt++] : 0; }
    uint16_t Word16()
    {
        const uint16_t low = Byte();
        return static_cast<uint16_t>(low | (Byte() << 8));
    }
    uint32_t Word32()
    {
        const uint32_t low = Word16();
        return low | (static_cast<uint32_t>(Word16()) << 16);
    }
    // Up to count bytes, fewer when the run ends.
    std::string Bytes(std::size_t count)
    {
        const std::size_t available = FSize - FAt < count ? FSize - FAt : count;
        std::string bytes(reinterpret_cast<const char *>(FData + FAt), available);
        FAt += available;
        return bytes;
    }

private:
    const uint8_t *FData = nullptr;
    std::size_t FSize = 0;
    std::size_t FAt = 0;
};
