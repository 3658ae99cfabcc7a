// The machine registry, read from a REGEDIT4-format text file
// ($KESTROVA_REGISTRY, else /etc/kestrova/registry.reg) through the three
// registry calls the system makes. Keys and value names are case-insensitive.
#pragma once

#include <cstdint>

#include <QString>

// A key handle: one of the predefined roots, or a key opened by RegOpenKeyExA.
using HKEY = uint32_t;

inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;
inline constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;

// Result codes.
inline constexpr int32_t ERROR_SUCCESS = 0;
inline constexpr int32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr int32_t ERROR_INVALID_HANDLE = 6;
inline constexpr int32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr int32_t ERROR_MORE_DATA = 234;

// Value types.
inline constexpr uint32_t REG_NONE = 0;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_EXPAND_SZ = 2;
inline constexpr uint32_t REG_BINARY = 3;
inline constexpr uint32_t REG_DWORD = 4;

// Opens `subKey` (backslash-separated; empty opens `root` itself) under
// `root`, a predefined root or an open key. Options and the access mask are
// accepted as given: the file is only ever read. Returns 0 and a new handle
// in `*result`; 2 when the key does not exist (a missing or unreadable file
// is an empty registry), 6 for an unknown root handle, 87 when `result` is
// null. On failure `*result` is set to 0.
int32_t RegOpenKeyExA(HKEY root, const char* subKey, uint32_t options, uint32_t samDesired, HKEY* result);

// Reads the value `valueName` (null or empty: the key's default value) of
// the open key `hKey`. Returns 0 with the type in `*type`, the data in
// `data` and its length in `*size`; 234 when `*size` is smaller than the
// data (`*size` then holds the length needed, `data` is left untouched);
// 2 when there is no such value; 6 for an unknown handle; 87 when
// `reserved` is not null or `data` is given without `size`. With `data`
// null the call only reports type and length. Text values (REG_SZ) come as
// their UTF-8 bytes followed by one terminating zero byte.
int32_t RegQueryValueExA(HKEY hKey, const char* valueName, uint32_t* reserved, uint32_t* type, uint8_t* data,
                         uint32_t* size);

// Releases a handle from RegOpenKeyExA. Returns 0, also for a predefined
// root; 6 for 0 or a handle that is not open.
int32_t RegCloseKey(HKEY hKey);

namespace registry {

// The registry file in use: $KESTROVA_REGISTRY, else /etc/kestrova/registry.reg.
QString filePath();

}  // namespace registry
