// Control interface of the hostile reader library (hostile_library.cpp),
// shared by that library and the binding fuzzer, and by nothing else.
//
// The hostile library takes every status and every output from a byte
// stream that the fuzzer feeds it, and records each call as it saw it so
// that the fuzzer can tell exactly what the binding should have made of it.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// The fifteen exports, in the binding's lookup order.
enum NorvHostileEntry : int32_t {
    kHostileGetLibraryA,
    kHostileGetCommListA,
    kHostileGetErrorMessage,
    kHostileReaderOpenA,
    kHostileReaderClose,
    kHostileControlRF,
    kHostileEcho,
    kHostileFind,
    kHostileReaderGetDeviceA,
    kHostileReaderGetFirmwareA,
    kHostileReaderGetRc500Id,
    kHostileReaderSetDeviceSettings,
    kHostileReaderGetDeviceSettings,
    kHostileReaderGetFeatures,
    kHostileReaderGetConsts,
    kHostileEntryCount
};

// One call as the library saw it.  Pointers stay valid until the next feed.
struct NorvHostileCall {
    int32_t entry;    // NorvHostileEntry
    int16_t status;   // the status returned (0 for NORV_GetErrorMessage)
    int64_t argument; // size told, echo length, RF mode, protocol mask, settings word or code
    // NORV_ReaderOpenA: the device name it received (a copy), or null.
    const char *device;
    // Bytes written into the first and second buffer, from their offset 0.
    const uint8_t *written;
    uint32_t writtenLength;
    const uint8_t *written2;
    uint32_t written2Length;
    // NORV_Find: *uidLength on entry, and what was written to the outputs.
    int32_t uidLengthIn;
    bool wroteCardType;
    uint16_t cardType;
    bool wroteUidLength;
    uint8_t uidLength;
    // NORV_ReaderGetDeviceSettings/Features/Consts: the word written.
    bool wroteWord;
    uint32_t word;
    // NORV_GetErrorMessage: the pointer returned.
    const char *message;
};

// Replaces the byte stream that the exports consume from now on and
// forgets the calls recorded so far.  An exhausted stream reads as zeros,
// that is status 0 and nothing written.
__attribute__((visibility("default"))) void norvhostile_feed(const uint8_t *data, size_t size);

// The calls made since the last feed.
__attribute__((visibility("default"))) const NorvHostileCall *norvhostile_calls(size_t *count);

} // extern "C"
