// Reads little-endian values from a run of bytes; past its end every byte
// reads as zero.  Used by the binding fuzzer and by its hostile library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const uint8_t *data, std::size_t size) : mData(data), mSize(size) {}

    bool Empty() const { return mAt >= mSize; }
    uint8_t Byte() { return mAt < mSize ? mData[mAt++] : 0; }
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
        const std::size_t available = mSize - mAt < count ? mSize - mAt : count;
        std::string bytes(reinterpret_cast<const char *>(mData + mAt), available);
        mAt += available;
        return bytes;
    }

private:
    const uint8_t *mData = nullptr;
    std::size_t mSize = 0;
    std::size_t mAt = 0;
};
