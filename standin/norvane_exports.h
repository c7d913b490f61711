// The fifteen reader-library exports that the stand-in provides.
//
// Declared here on their own (the stand-in shares no code with the program):
// C linkage, exported from the library, 8-bit texts, signed 16-bit status, 0 = success.
#pragma once

#include <cstdint>

// A Windows build whose exports a module-definition file lists (each
// variant lists its own) defines NORVSIM_EXPORTS_BY_DEF.
#if defined(_WIN32) && defined(NORVSIM_EXPORTS_BY_DEF)
#define NORVSIM_EXPORT extern "C"
#elif defined(_WIN32)
#define NORVSIM_EXPORT extern "C" __declspec(dllexport)
#else
#define NORVSIM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

NORVSIM_EXPORT int16_t NORV_GetLibraryA(char *buffer, int32_t size);
NORVSIM_EXPORT int16_t NORV_GetCommListA(char *buffer, int32_t size);
NORVSIM_EXPORT const char *NORV_GetErrorMessage(int16_t status);
NORVSIM_EXPORT int16_t NORV_ReaderOpenA(const char *device);
NORVSIM_EXPORT int16_t NORV_ReaderClose(void);
NORVSIM_EXPORT int16_t NORV_ControlRF(uint8_t mode);
NORVSIM_EXPORT int16_t NORV_Echo(uint16_t length);
NORVSIM_EXPORT int16_t NORV_Find(uint16_t protocolMask, uint16_t *cardType, uint8_t *uid,
                                 uint8_t *uidLength);
NORVSIM_EXPORT int16_t NORV_ReaderGetDeviceA(char *buffer, int32_t size);
NORVSIM_EXPORT int16_t NORV_ReaderGetFirmwareA(char *buffer, int32_t size);
NORVSIM_EXPORT int16_t NORV_ReaderGetRc500Id(uint8_t *chipsetInfo, uint8_t *chipsetId);
NORVSIM_EXPORT int16_t NORV_ReaderSetDeviceSettings(uint32_t settings);
NORVSIM_EXPORT int16_t NORV_ReaderGetDeviceSettings(uint32_t *settings);
NORVSIM_EXPORT int16_t NORV_ReaderGetFeatures(uint32_t *features);
NORVSIM_EXPORT int16_t NORV_ReaderGetConsts(uint32_t *consts);
