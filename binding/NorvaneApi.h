// The reader library's exports as this program calls them.
//
// The maker ships the reader library as norvane.dll on Windows; here it is
// libnorvane.so.  Every export uses the C calling convention, texts are 8-bit
// and zero-terminated, and a status is a signed 16-bit value (0 = success).
//
// NORV_ENTRY_POINTS is the one table of the fifteen entry points, in the
// order in which the binding looks them up.  Each row gives the export's name
// without the NORV_ prefix, its result type and its parameter list.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define NORV_CALL __cdecl
#else
#define NORV_CALL
#endif

#define NORV_ENTRY_POINTS(X)                                                                       \
    X(GetLibraryA, int16_t, (char *buffer, int32_t size))                                          \
    X(GetCommListA, int16_t, (char *buffer, int32_t size))                                         \
    X(GetErrorMessage, const char *, (int16_t status))                                             \
    X(ReaderOpenA, int16_t, (const char *device))                                                  \
    X(ReaderClose, int16_t, (void))                                                                \
    X(ControlRF, int16_t, (uint8_t mode))                                                          \
    X(Echo, int16_t, (uint16_t length))                                                            \
    X(Find, int16_t,                                                                               \
      (uint16_t protocolMask, uint16_t * cardType, uint8_t * uid, uint8_t * uidLength))            \
    X(ReaderGetDeviceA, int16_t, (char *buffer, int32_t size))                                     \
    X(ReaderGetFirmwareA, int16_t, (char *buffer, int32_t size))                                   \
    X(ReaderGetRc500Id, int16_t, (uint8_t * chipsetInfo, uint8_t * chipsetId))                     \
    X(ReaderSetDeviceSettings, int16_t, (uint32_t settings))                                       \
    X(ReaderGetDeviceSettings, int16_t, (uint32_t * settings))                                     \
    X(ReaderGetFeatures, int16_t, (uint32_t * features))                                           \
    X(ReaderGetConsts, int16_t, (uint32_t * consts))

namespace norv {

// One function-pointer type per export: norv::tGetLibraryA, norv::tEcho, ...
#define NORV_DECLARE_TYPE(name, result, params) using t##name = result(NORV_CALL *) params;
NORV_ENTRY_POINTS(NORV_DECLARE_TYPE)
#undef NORV_DECLARE_TYPE

// Index of each entry in the table: norv::Entry::GetLibraryA, ...
enum class Entry : int {
#define NORV_DECLARE_INDEX(name, result, params) name,
    NORV_ENTRY_POINTS(NORV_DECLARE_INDEX)
#undef NORV_DECLARE_INDEX
        Count
};

constexpr int kEntryCount = static_cast<int>(Entry::Count);

// The exported names, in table order ("NORV_GetLibraryA", ...).
extern const char *const kEntryNames[kEntryCount];

// Buffer sizes of the contract.
constexpr int kVersionBufferSize = 257;   // NORV_GetLibraryA, and the library's path
constexpr int kCommListBufferSize = 4096; // NORV_GetCommListA
constexpr int kTextBufferSize = 257;      // device and firmware texts, told 256
constexpr int kChipsetBufferSize = 17;    // each of the two NORV_ReaderGetRc500Id buffers
constexpr int kUidBufferSize = 12;        // NORV_Find
constexpr uint16_t kFindAllProtocols = 0xFFFF;
constexpr uint8_t kRfOff = 0;

} // namespace norv
