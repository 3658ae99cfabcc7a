// The registry file: value types and escapes, key lookup, buffer sizes and
// result codes of the three registry calls.
#include <cstdlib>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "platform/core/registry.h"
#include "support/sandbox.h"
#include "support/test_helpers.h"

namespace {

void writeRegistry(const QByteArray& text) { ASSERT_TRUE(test::writeFile(registry::filePath(), text)); }

// Reads one value whole; the result code, type and bytes.
struct Read {
  int32_t rc = -1;
  uint32_t type = 0xFFFF;
  QByteArray data;
};

Read readValue(HKEY root, const char* key, const char* name) {
  Read r;
  HKEY h = 0;
  r.rc = RegOpenKeyExA(root, key, 0, 0x2003F, &h);
  if (r.rc != ERROR_SUCCESS) return r;
  std::vector<uint8_t> buf(4096, 0xEE);
  uint32_t size = static_cast<uint32_t>(buf.size());
  r.rc = RegQueryValueExA(h, name, nullptr, &r.type, buf.data(), &size);
  if (r.rc == ERROR_SUCCESS) r.data = QByteArray(reinterpret_cast<const char*>(buf.data()), size);
  EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
  return r;
}

const QByteArray kSample =
    "REGEDIT4\r\n"
    "\r\n"
    "; the tools\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tools\\Info]\r\n"
    "@=\"default text\"\r\n"
    "\"Path\"=\"C:\\\\Program Files\\\\info.exe\"\r\n"
    "\"Quoted\"=\"say \\\"hi\\\"\"\r\n"
    "\"Empty\"=\"\"\r\n"
    "\"Count\"=dword:0000012c\r\n"
    "\"Top\"=dword:ff000001\r\n"
    "\"Blob\"=hex:01,02,ab\r\n"
    "\"Expand\"=hex(2):25,00\r\n"
    "\"Long\"=hex(7):61,62,\\\r\n"
    "  63,00,\\\r\n"
    "  00\r\n"
    "\"NoData\"=hex(1):\r\n"
    "\"Umlaut\"=\"Gr\xc3\xbc\xc3\x9f\"\r\n"
    "\r\n"
    "[HKLM\\Software\\Other]\r\n"
    "\"x\"=\"y\"\r\n";

TEST(RegistryValues, EachTypeComesBackWithItsTypeAndBytes) {
  writeRegistry(kSample);
  struct Case {
    const char* name;
    uint32_t type;
    QByteArray data;
  };
  const std::vector<Case> cases = {
      {"", REG_SZ, QByteArray("default text", 13)},
      {"Path", REG_SZ, QByteArray("C:\\Program Files\\info.exe", 26)},
      {"Quoted", REG_SZ, QByteArray("say \"hi\"", 9)},
      {"Empty", REG_SZ, QByteArray(1, '\0')},
      {"Count", REG_DWORD, QByteArray("\x2c\x01\x00\x00", 4)},
      {"Top", REG_DWORD, QByteArray("\x01\x00\x00\xff", 4)},
      {"Blob", REG_BINARY, QByteArray("\x01\x02\xab", 3)},
      {"Expand", REG_EXPAND_SZ, QByteArray("\x25\x00", 2)},
      {"Long", 7, QByteArray("abc\0\0", 5)},
      {"NoData", REG_SZ, QByteArray()},
      {"Umlaut", REG_SZ, QByteArray("Gr\xc3\xbc\xc3\x9f", 7)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Read r = readValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tools\\Info", c.name);
    ASSERT_EQ(r.rc, ERROR_SUCCESS);
    EXPECT_EQ(r.type, c.type);
    EXPECT_EQ(r.data, c.data);
  }
  // A null name reads the default value too.
  EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tools\\Info", nullptr).data, QByteArray("default text", 13));
}

TEST(RegistryValues, KeysAndValueNamesIgnoreCase) {
  writeRegistry(kSample);
  EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, "software\\TOOLS\\info", "PATH").rc, ERROR_SUCCESS);
  // The short root name in the file is the same root.
  const Read r = readValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\OTHER", "X");
  ASSERT_EQ(r.rc, ERROR_SUCCESS);
  EXPECT_EQ(r.data, QByteArray("y", 2));
  // Other roots do not see the machine's keys.
  EXPECT_EQ(readValue(HKEY_CURRENT_USER, "SOFTWARE\\Tools\\Info", "Path").rc, ERROR_FILE_NOT_FOUND);
}

TEST(RegistryValues, MalformedLinesAreSkippedAndTheRestIsRead) {
  writeRegistry(
      "REGEDIT4\n"
      "[HKEY_LOCAL_MACHINE\\K]\n"
      "\"a\"=\"unterminated\n"
      "\"b\"=dword:123456789\n"
      "\"c\"=dword:zz\n"
      "\"d\"=hex:1,2g\n"
      "\"e\"=hex(x):00\n"
      "\"f\"=\"ok\" trailing\n"
      "no quotes=\"x\"\n"
      "[NOT_A_ROOT\\K]\n"
      "\"g\"=\"lost\"\n"
      "[HKEY_LOCAL_MACHINE\\K]\n"
      "\"h\"=\"kept\"\n"
      "\"n\"=dword:7\n");
  for (const char* name : {"a", "b", "c", "d", "e", "f", "g"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, "K", name).rc, ERROR_FILE_NOT_FOUND);
  }
  EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, "K", "h").data, QByteArray("kept", 5));
  EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, "K", "n").data, QByteArray("\x07\0\0\0", 4));
}

TEST(RegistryValues, HexDataTakesOnlyAsciiDigits) {
  // Latin-1 letters and full-width digits look like digits to no one but
  // would reach the C library's digit test as negative or truncated codes.
  writeRegistry(
      "[HKEY_LOCAL_MACHINE\\K]\n"
      "\"latin\"=hex:0\xc3\xa9\n"
      "\"wide\"=hex:\xef\xbc\x91\xef\xbc\xa1\n"
      "\"ascii\"=hex:Fe,0a\n");
  EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, "K", "latin").rc, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, "K", "wide").rc, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, "K", "ascii").data, QByteArray("\xfe\x0a", 2));
}

TEST(RegistryValues, LaterLinesOverrideAndRemove) {
  writeRegistry(
      "\xef\xbb\xbf[HKEY_LOCAL_MACHINE\\A\\B]\n"
      "\"v\"=\"first\"\n"
      "\"gone\"=\"x\"\n"
      "[HKEY_LOCAL_MACHINE\\A\\B]\n"
      "\"V\"=\"second\"\n"
      "\"gone\"=-\n"
      "[HKEY_LOCAL_MACHINE\\Del\\Sub]\n"
      "\"v\"=\"x\"\n"
      "[-HKEY_LOCAL_MACHINE\\Del]\n");
  EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, "A\\B", "v").data, QByteArray("second", 7));
  EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, "A\\B", "gone").rc, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, "Del\\Sub", "v").rc, ERROR_FILE_NOT_FOUND);
}

TEST(RegistryKeys, MissingFileKeyOrValueIsNotFound) {
  QFile::remove(registry::filePath());
  HKEY h = 0x1234;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, 0x2003F, &h), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(h, 0u);

  writeRegistry(kSample);
  EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tools\\Nope", "Path").rc, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tools\\Info", "Nope").rc, ERROR_FILE_NOT_FOUND);
  // Part of a name is no key.
  EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Too", "").rc, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Tools\\Info", "Path").rc, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\\\Tools\\Info", "Path").rc, ERROR_FILE_NOT_FOUND);
}

TEST(RegistryKeys, ParentsOfAWrittenKeyExistAndOpenRelative) {
  writeRegistry(kSample);
  HKEY software = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\", 0, 0x2003F, &software), ERROR_SUCCESS);
  EXPECT_NE(software, 0u);
  HKEY info = 0;
  ASSERT_EQ(RegOpenKeyExA(software, "tools\\info", 0, 0x2003F, &info), ERROR_SUCCESS);
  EXPECT_NE(info, software);
  uint32_t size = 0;
  uint32_t type = 0;
  EXPECT_EQ(RegQueryValueExA(info, "Count", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);
  // The parent has no values of its own.
  EXPECT_EQ(RegQueryValueExA(software, "Count", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(info), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(software), ERROR_SUCCESS);
  // Each was a handle of its own; both are closed.
  EXPECT_EQ(RegQueryValueExA(info, "Count", nullptr, &type, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExA(software, "Count", nullptr, &type, nullptr, &size), ERROR_INVALID_HANDLE);
}

TEST(RegistryKeys, HandlesAreCheckedAndClosedOnce) {
  writeRegistry(kSample);
  HKEY h = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tools\\Info", 0, 0x2003F, &h), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(h), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(0), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  uint32_t size = 10;
  uint8_t buf[10];
  EXPECT_EQ(RegQueryValueExA(h, "Path", nullptr, nullptr, buf, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyExA(0x80000099u, "SOFTWARE", 0, 0, &h), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, 0, nullptr), ERROR_INVALID_PARAMETER);
}

TEST(RegistryQuery, BufferSizesFollowTheData) {
  writeRegistry(kSample);
  HKEY h = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tools\\Info", 0, 0x2003F, &h), ERROR_SUCCESS);
  const QByteArray path("C:\\Program Files\\info.exe", 26);  // terminating zero included

  // Only asking for the length.
  uint32_t type = 0;
  uint32_t size = 0;
  EXPECT_EQ(RegQueryValueExA(h, "Path", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 26u);

  // An exact fit is read whole.
  uint8_t exact[26];
  size = sizeof exact;
  EXPECT_EQ(RegQueryValueExA(h, "Path", nullptr, &type, exact, &size), ERROR_SUCCESS);
  EXPECT_EQ(QByteArray(reinterpret_cast<char*>(exact), size), path);

  // One byte short: more data, the size needed, the buffer untouched.
  uint8_t shortBuf[25];
  std::memset(shortBuf, 0x5A, sizeof shortBuf);
  size = sizeof shortBuf;
  type = 0;
  EXPECT_EQ(RegQueryValueExA(h, "Path", nullptr, &type, shortBuf, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 26u);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(shortBuf[0], 0x5A);

  // Reserved must be null, and data needs a size.
  uint32_t reserved = 0;
  size = sizeof exact;
  EXPECT_EQ(RegQueryValueExA(h, "Path", &reserved, &type, exact, &size), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(h, "Path", nullptr, &type, exact, nullptr), ERROR_INVALID_PARAMETER);
  RegCloseKey(h);
}

TEST(RegistryQuery, ValuesAreThoseOfTheFileWhenTheKeyWasOpened) {
  writeRegistry("[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"one\"\n");
  HKEY h = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, 0, &h), ERROR_SUCCESS);
  writeRegistry("[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"two\"\n");
  uint8_t buf[16];
  uint32_t size = sizeof buf;
  ASSERT_EQ(RegQueryValueExA(h, "v", nullptr, nullptr, buf, &size), ERROR_SUCCESS);
  EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buf), size), QByteArray("one", 4));
  RegCloseKey(h);
  // A value of the root itself is read from the file as it is now.
  writeRegistry("[HKEY_LOCAL_MACHINE]\n\"r\"=dword:00000001\n");
  size = sizeof buf;
  EXPECT_EQ(RegQueryValueExA(HKEY_LOCAL_MACHINE, "r", nullptr, nullptr, buf, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
}

TEST(RegistryFile, EnvironmentChoosesTheFile) {
  test::TempDir dir;
  {
    test::EnvScope file("KESTROVA_REGISTRY", dir.file(QStringLiteral("other.reg")));
    EXPECT_EQ(registry::filePath(), dir.file(QStringLiteral("other.reg")));
  }
  test::EnvScope none("KESTROVA_REGISTRY", nullptr);
  EXPECT_EQ(registry::filePath(), QStringLiteral("/etc/kestrova/registry.reg"));
}

}  // namespace
